// Rebuilding a running show from its script (reload on save).
#include "audio/bass.h"
#include "common/effect/effect.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "platform/clock.h"
#include "platform/window_system.h"
#include "player/controllers/osc_listener.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/reload.h"
#include "player/script_places.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <string>

namespace {

// How long the window title shows a failed reload.
constexpr uint32_t kTitleNoteMs = 4000;

cXmlTag* demoElement(cXmlTag* root, int index)
{
    for (cXmlTag* child : root->children())
        if (child->nameIs("demo") && index-- == 0) return child;
    return nullptr;
}

cXmlTag* firstRun(cXmlTag* demo)
{
    for (cXmlTag* child : demo->children())
        if (child->nameIs("run")) return child;
    return nullptr;
}

} // namespace

bool cDemo::reloadShow()
{
    cLog* log = cLog::get();
    const double started = platform::preciseMilliseconds();
    const std::vector<std::string>& changed = reloader->changed();
    if (changed.empty())
        log->logf("reload: asked for");
    else
        log->logf("reload: %s changed%s", changed[0].c_str(), changed.size() > 1 ? " (and more)" : "");

    std::string error;
    std::unique_ptr<cXmlTag> tree = reloader->readAgain(error);
    cXmlTag* element = tree ? demoElement(tree.get(), demoIndex) : nullptr;
    if (!tree) {
        reportReload(true, error.c_str());
        // Where the script is wrong and what was expected, as at the start.
        const std::string where = describeReadFault();
        for (size_t at = 0, end; at < where.size(); at = end + 1) {
            end = where.find('\n', at);
            if (end == std::string::npos) end = where.size();
            const std::string line = where.substr(at, end - at);
            log->logf("%s", line.c_str());
            std::printf("%s\n", line.c_str());
        }
        std::fflush(stdout);
        return false;
    }
    char why[96];
    cXmlTag* const runTag = element ? firstRun(element) : nullptr;
    if (!runTag) {
        std::snprintf(why, sizeof why, element ? "demo %d of the script has no run" : "the script has no demo %d",
                      demoIndex + 1);
        reportReload(true, why);
        return false;
    }

    // The old show goes, but for its window, context, audio and libraries.
    const float showTime = timeline.clock;
    shelf_.open = true;
    releaseShow(true);
    shelf_.open = false;
    // What was loaded from a file that changed is loaded again.
    for (const std::string& path : changed) shelf_.discardPath(path.c_str());
    // A plug-in's own window (the webcam's) posts the quit message as it
    // closes; the show is not ending.
    platform::discardQuit();
    // The demo element's attributes start from the defaults again.
    gSwitches = switchesAtStart_;
    pacing = ePacing::spin;
    timeline.source = cTimeline::eSource::frames;
    settings.setTitle(cWindowSettings().title);
    registry = newRegistry();
    bank = 0;
    rerun = sSceneRerun();
    // Nothing points into the old tree any more: its events and effects
    // are gone, and the demo element's walk goes on in the new one.
    reloader->adopt(std::move(tree));
    demoTag = element;
    // The listener plays on; the log says when the new script asks otherwise.
    controllers::oscForShow(demoTag->getString("osc"), demoTag->getString("oscbind"));

    // The new demo element, up to its run, builds the show; its key
    // presses were made before and are not logged again.
    quietKeyLog_ = true;
    // What the old script cued goes; the new one cues its calls again while
    // it catches up, and they are placed once it stands at the show time.
    KXAUDIO_ForgetCues(std::numeric_limits<double>::infinity(), TRUE);
    const bool music = followsMusic();
    if (music) musicClock.beginReplay();
    rehearsingSound_ = true;
    KXAUDIO_SetCue(0.0, reinterpret_cast<uintptr_t>(element), KXAUDIO_CUE_REHEARSE);
    rebuilding_ = true;
    rebuildRun_ = runTag;
    doXML(element);
    rebuilding_ = false;
    rebuildRun_ = nullptr;
    // However the walk ended, the demo element's own walk goes on after
    // this run: the old tree is gone.
    resumeAt_ = runTag;

    // The events up to the show time run again, as scrubbing runs them,
    // and the clock goes on from there.
    timeline.clock = timeline.frameTime = showTime;
    timeline.catchUp(showTime, eventRunner(), [this](float step, float time) { passShow(step, time); });
    quietKeyLog_ = false;
    rehearsingSound_ = false;
    KXAUDIO_SetCue(double(showTime), 0, music ? KXAUDIO_CUE_REHEARSE : 0);
    // The old show's media that the new one did not take go, before the
    // libraries that made them.
    shelf_.settle();
    releaseSparePlugins();
    // The sound goes where the new show has it. With the clock on the
    // music, the next frame places it at the clock; with the frame clock,
    // now, at the show time that is playing while the show was rebuilt (the
    // next frames count that time in).
    if (!music)
        KXAUDIO_PlaceChannels(double(showTime) +
                              (platform::preciseMilliseconds() - timer->lastFrameEndPrecise) * 0.001);

    // The ports stay open for the performer; the rebuilt show's <midi>
    // elements and midi attribute say which it listens to now.
    followMidiPorts();

    std::snprintf(why, sizeof why, "show rebuilt at %.3f s in %.0f ms", double(showTime),
                  platform::preciseMilliseconds() - started);
    reportReload(false, why);
    return true;
}

void cDemo::passShow(float step, float time)
{
    // What a frame does but for the events and the drawing: flashes run
    // their course, pictures and texts move on, cameras fly on.
    timeline.frameTime = time;
    registry->setShowTime(time);
    registry->advanceCameras(step);
    for (int i = 0; i < drawCount; ++i) {
        cEffect* e = drawOrder[i].kind == 0 ? drawOrder[i].effect : nullptr;
        if (e && e->active) e->update(step);
    }
}

void cDemo::reportReload(bool failed, const char* text)
{
    const char* what = failed ? "reload failed" : "reload";
    cLog::get()->logf("%s: %s", what, text);
    std::printf("%s: %s\n", what, text);
    std::fflush(stdout);
    if (!failed || !window) return;
    // The title says it for a few seconds, where the performer looks.
    char title[256];
    std::snprintf(title, sizeof title, "%s - reload failed: %s", settings.title, text);
    platform::setWindowTitle(window, title);
    titleNoteUntil_ = platform::ticks() + kTitleNoteMs;
    if (titleNoteUntil_ == 0) titleNoteUntil_ = 1;
}

void cDemo::restoreTitle()
{
    if (titleNoteUntil_ == 0 || static_cast<int32_t>(platform::ticks() - titleNoteUntil_) < 0) return;
    titleNoteUntil_ = 0;
    if (window) platform::setWindowTitle(window, settings.title);
}
