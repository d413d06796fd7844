// The parts of reload on save that need no running show: the file watch,
// which attribute values name files, the media shelf and the timeline's
// catch-up.
#include "common/media/media_shelf.h"
#include "common/script/xml_tag.h"
#include "player/file_watch.h"
#include "player/reload.h"
#include "player/timeline.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using kxtest::TempDir;
using kxtest::writeFile;

// Sets a file's modification time a whole number of seconds from now, so a
// change never depends on the clock ticking between two writes.
void touch(const std::string& path, int seconds)
{
    std::filesystem::last_write_time(path,
                                     std::filesystem::file_time_type::clock::now() + std::chrono::seconds(seconds));
}

TEST(FileWatch, AChangeIsReportedOnceItHeldStillOverTwoPolls)
{
    TempDir dir;
    writeFile("a.txt", "one");
    writeFile("b.txt", "two");
    const struct {
        const char* what;
        void (*change)();
        std::vector<std::string> changed;
    } cases[] = {
        {"nothing", [] {}, {}},
        {"a new size", [] { writeFile("a.txt", "three"); }, {"a.txt"}},
        {"a new time only", [] { touch("b.txt", 5); }, {"b.txt"}},
        {"removed", [] { std::filesystem::remove("a.txt"); }, {"a.txt"}},
        {"made again", [] { writeFile("a.txt", "again"); }, {"a.txt"}},
        {"a missing file made", [] { writeFile("c.txt", "new"); }, {"c.txt"}},
        {"both", [] { writeFile("a.txt", "four!"), touch("b.txt", 9); }, {"a.txt", "b.txt"}},
    };
    cFileWatch watch(false); // by the files' times alone
    watch.watch({"a.txt", "b.txt", "c.txt"});
    for (const auto& c : cases) {
        c.change();
        if (c.changed.empty()) {
            EXPECT_FALSE(watch.poll()) << c.what;
            continue;
        }
        EXPECT_FALSE(watch.poll()) << c.what << ": still settling";
        ASSERT_TRUE(watch.poll()) << c.what;
        EXPECT_EQ(watch.changed(), c.changed) << c.what;
        EXPECT_FALSE(watch.poll()) << c.what << ": reported once";
        watch.accept();
    }
    // A file still being written is not reported until it holds still.
    writeFile("a.txt", "x");
    EXPECT_FALSE(watch.poll());
    writeFile("a.txt", "xy");
    EXPECT_FALSE(watch.poll());
    EXPECT_TRUE(watch.poll());
    watch.accept();
    // A forced look takes what differs without waiting.
    touch("b.txt", 20);
    watch.takeChanges();
    EXPECT_EQ(watch.changed(), std::vector<std::string>{"b.txt"});
    EXPECT_FALSE(watch.poll());
}

TEST(FileWatch, WhatChangedStaysChangedUntilAReloadSucceeds)
{
    TempDir dir;
    writeFile("script.txt", "one");
    writeFile("pic.tga", "one");
    for (const bool notes : {false, true}) {
        SCOPED_TRACE(notes ? "with notes" : "by times");
        cFileWatch watch(notes);
        watch.watch({"script.txt", "pic.tga"});
        writeFile("script.txt", "broken");
        touch("script.txt", notes ? 30 : 20);
        ASSERT_TRUE(watch.poll() || watch.poll());
        // The reload fails: the picture changes meanwhile.
        writeFile("pic.tga", "two");
        touch("pic.tga", notes ? 30 : 20);
        ASSERT_TRUE(watch.poll() || watch.poll());
        EXPECT_EQ(watch.changed(), (std::vector<std::string>{"script.txt", "pic.tga"}));
        // Mended: the picture is still among the changes, also for F5.
        writeFile("script.txt", "mended");
        watch.takeChanges();
        EXPECT_EQ(watch.changed(), (std::vector<std::string>{"script.txt", "pic.tga"}));
        watch.accept();
        watch.takeChanges();
        EXPECT_TRUE(watch.changed().empty());
    }
}

TEST(FileWatch, NotesSeeASaveThatKeepsSizeAndTimeAndTheEndOfAWrite)
{
    TempDir dir;
    writeFile("script.txt", "colour 204060");
    cFileWatch watch;
    watch.watch({"script.txt"});
    if (!watch.notified()) GTEST_SKIP() << "no change notes on this system";
    // Closed by its writer: reported at the first poll.
    writeFile("script.txt", "colour 806040");
    EXPECT_TRUE(watch.writerDone());
    ASSERT_TRUE(watch.poll());
    EXPECT_EQ(watch.changed(), std::vector<std::string>{"script.txt"});
    watch.accept();
    // The same size and time stamp as before: seen all the same.
    const auto stamp = std::filesystem::last_write_time("script.txt");
    writeFile("script.txt", "colour 204060");
    std::filesystem::last_write_time("script.txt", stamp);
    ASSERT_TRUE(watch.poll() || watch.poll());
    EXPECT_EQ(watch.changed(), std::vector<std::string>{"script.txt"});
    watch.accept();
    // A write still open is not reported until its writer closes the file.
    {
        std::ofstream out("script.txt", std::ios::binary | std::ios::trunc);
        out << "half";
        out.flush();
        EXPECT_FALSE(watch.poll());
        out << " written";
    }
    ASSERT_TRUE(watch.poll());
    EXPECT_EQ(kxtest::readFile("script.txt"), "half written");
}

TEST(Reloader, WatchesTheFilesTheScriptReadAndNames)
{
    const struct {
        const char* value;
        bool file;
    } values[] = {
        {"badge.tga", true},
        {"intro/logo.JPG", true},
        {"kestrel.mod", true},
        {"song.final.mp3", true},
        {"a.b", true},
        {"0.45", false},
        {"0.45,0.45,1", false},
        {"ff0a0c1e", false},
        {"DejaVu Sans.ttf", true},
        {"my wall.tga", true},
        {" wall.tga", false},
        {"wall.tga ", false},
        {"a\tb.tga", false},
        {".tga", false},
        {"x.", false},
        {"name.toolong", false},
        {"", false},
        {"1.5e3", true}, // an odd name, but one a file could have
    };
    for (const auto& v : values) EXPECT_EQ(cReloader::looksLikeFileName(v.value), v.file) << v.value;

    cXmlTag root;
    cXmlTag* demo = root.addChild("demo");
    demo->addParam("name", "show.txt");
    cXmlTag* pic = demo->addChild("pic");
    pic->addParam("filename", "Badge.TGA");
    pic->addParam("sca", "0.5,0.5,1");
    demo->addChild("event")->addChild("tune")->addParam("filename", "kestrel.mod");
    demo->addChild("pulse")->addParam("filename", "pulse.frag"); // the shader effect reloads it itself
    demo->addChild("midifile")->addParam("filename", "sync.MID"); // read from data/music/ or data/
    const std::vector<std::string> files = cReloader::filesOf(&root, {"script.txt", "more.txt", "script.txt"});
    EXPECT_EQ(files, (std::vector<std::string>{"data/script.txt", "data/more.txt", "data/show.txt",
                                               "data/textures/Badge.TGA", "data/music/kestrel.mod",
                                               "data/music/sync.MID", "data/sync.MID"}));
}

int gReleased = 0;
void release(void* item) { gReleased += *static_cast<int*>(item); }
void stopUntaken(void* flag) { *static_cast<bool*>(flag) = true; }

TEST(MediaShelf, KeepsWhatTheOldShowLoadedForTheNewOneToTake)
{
    int one = 1, ten = 10, hundred = 100, thousand = 1000;
    gReleased = 0;
    cMediaShelf shelf;
    EXPECT_FALSE(shelf.put("picture", "a.tga", &one, &release)) << "closed";
    shelf.open = true;
    EXPECT_TRUE(shelf.put("picture", "a.tga", &one, &release));
    EXPECT_TRUE(shelf.put("texture", "a.tga", &ten, &release));
    EXPECT_TRUE(shelf.put("music", "b.mod", &hundred, &release));
    EXPECT_TRUE(shelf.put("picture", "c.tga", &thousand, &release));
    EXPECT_FALSE(shelf.put("picture", "", &one, &release)) << "no name";
    shelf.open = false;

    shelf.discardPath("data/music/b.mod"); // the file changed
    EXPECT_EQ(gReleased, 100);
    EXPECT_EQ(shelf.take("music", "b.mod"), nullptr);
    EXPECT_EQ(shelf.take("picture", "A.tga"), nullptr) << "another file";
    EXPECT_EQ(shelf.take("texture", "a.tga"), &ten);
    EXPECT_EQ(shelf.take("texture", "a.tga"), nullptr) << "taken once";
    bool settled = false;
    shelf.afterRebuild(&stopUntaken, &settled);
    shelf.settle(); // what was not taken goes
    EXPECT_TRUE(settled);
    EXPECT_EQ(gReleased, 1101);
    EXPECT_EQ(shelf.count(), 0);
}

TEST(Timeline, CatchUpRunsEachEventUpToTheClockOnceWithTheTimeBetweenAndGoesOnAfterThem)
{
    cXmlTag root;
    cTimeline timeline;
    for (const char* time : {"2", "0.5", "1", "1"}) root.addChild("event")->addParam("time", time);
    root.addChild("event")->addParam("key", "A");
    for (cXmlTag* tag : root.children()) timeline.declare(tag);
    timeline.sort();
    std::vector<float> ran;
    const cTimeline::Runner run = [&](cEvent& e, bool again) {
        EXPECT_FALSE(again);
        ran.push_back(e.time);
    };
    // Between the events the show moves on by the time that passed.
    std::vector<float> passed;
    timeline.catchUp(1.5f, run, [&](float step, float time) {
        passed.push_back(step);
        passed.push_back(time);
    });
    EXPECT_EQ(ran, (std::vector<float>{0.5f, 1.0f, 1.0f}));
    EXPECT_EQ(passed, (std::vector<float>{50.0f, 0.5f, 50.0f, 1.0f, 50.0f, 1.5f}));
    EXPECT_FALSE(timeline.scrubbed);
    // Playing on from 1.5 s runs only what falls due after it.
    ran.clear();
    timeline.frameTime = 2.0f;
    timeline.fireDue(run);
    EXPECT_EQ(ran, std::vector<float>{2.0f});
}

TEST(Timeline, CatchUpLetsAnEventAFragmentDeclaredWaitBehindTheEventsStillAhead)
{
    // <event time="0.3"><event time="0.5"/></event>, then events at 2 and 5.
    cXmlTag root;
    cXmlTag* outer = root.addChild("event");
    outer->addParam("time", "0.3");
    outer->addChild("event")->addParam("time", "0.5");
    for (const char* time : {"2", "5"}) root.addChild("event")->addParam("time", time);
    cTimeline timeline;
    for (cXmlTag* tag : root.children()) timeline.declare(tag);
    timeline.sort();
    std::vector<float> ran;
    const cTimeline::Runner run = [&](cEvent& e, bool) {
        ran.push_back(e.time);
        for (cXmlTag* inner : e.fragment->children()) timeline.declare(inner);
    };
    timeline.catchUp(3.0f, run, [](float, float) {});
    EXPECT_EQ(ran, (std::vector<float>{0.3f, 2.0f}));
    // Playing on, the event at 5 fires when due, the declared one after it.
    for (const float time : {4.0f, 5.0f, 6.0f}) {
        timeline.frameTime = time;
        timeline.fireDue(run);
    }
    EXPECT_EQ(ran, (std::vector<float>{0.3f, 2.0f, 5.0f, 0.5f}));
}

} // namespace
