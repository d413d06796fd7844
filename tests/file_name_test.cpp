// Files by UTF-8 name: names outside any ANSI code page open, list, stat,
// load and are watched like any other, in a folder named the same way.
#include "audio/bass.h"
#include "common/media/stream.h"
#include "platform/file_changes.h"
#include "platform/file_name.h"
#include "player/file_watch.h"
#include "test_util.h"
#include "wav_builder.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(FileName, AFolderInANameIsASeparatorOrOnWindowsADrive)
{
    struct Case {
        const char* name;
        bool folder;
    };
    const Case cases[] = {
        {"lumafold.dll", false},
        {"plugins/lumafold.dll", true},
        {"./lumafold", true},
        {"Démo Ω.dll", false},
        {"", false},
#if defined(_WIN32)
        {"plugins\\lumafold.dll", true},
        {"C:lumafold.dll", true},
#else
        {"plugins\\lumafold.dll", false},
        {"C:lumafold.dll", false},
#endif
    };
    for (const Case& c : cases) EXPECT_EQ(platform::nameHasFolder(c.name), c.folder) << c.name;
}

// Writes `bytes` to a file by its UTF-8 name through the helper.
void writeNamed(const std::string& name, const std::string& bytes)
{
    std::FILE* f = platform::openFile(name.c_str(), "wb");
    ASSERT_NE(f, nullptr) << name;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

TEST(FileName, UnicodeNamesRoundTripThroughOpeningListingAndTheLocator)
{
    kxtest::TempDir dir;
    const std::string folder = "data/textures/Démo Ω";
    ASSERT_TRUE(fs::create_directories(platform::filePath(folder)));
    for (const std::string leaf : {"plain.tga", "Ωmega é.tga", "日本語 ñ.tga"}) {
        SCOPED_TRACE(leaf);
        const std::string name = folder + "/" + leaf;
        writeNamed(name, "bytes of " + leaf);

        // The system holds the name itself, not a code page's rendering of it.
        std::error_code error;
        EXPECT_TRUE(fs::is_regular_file(platform::filePath(name), error));
#if defined(_WIN32)
        const fs::path wide = fs::path(L"data\\textures\\D\u00e9mo \u03a9") / platform::systemName(leaf.c_str());
        std::FILE* direct = _wfopen(wide.c_str(), L"rb");
#else
        std::FILE* direct = std::fopen(name.c_str(), "rb");
#endif
        EXPECT_NE(direct, nullptr);
        if (direct) std::fclose(direct);

        bool listed = false;
        for (const fs::directory_entry& e : fs::directory_iterator(platform::filePath(folder)))
            listed = listed || platform::fileName(e.path().filename()) == leaf;
        EXPECT_TRUE(listed);

        testing::internal::CaptureStdout();
        cMemoryStream located(("Démo Ω/" + leaf).c_str());
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(console.find("not found"), std::string::npos) << console;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(located.data()), located.size()), "bytes of " + leaf);
    }
}

#if defined(_WIN32)
TEST(FileName, ANameThatIsNotUtf8IsReadInTheAnsiCodePageAsBefore)
{
    if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", not 1252";
    kxtest::TempDir dir;
    writeNamed("café.txt", "old script's picture"); // UTF-8
    // "caf\xE9.txt": the same name as an editor saving in Windows-1252 writes it.
    std::FILE* f = platform::openFile("caf\xE9.txt", "rb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    std::error_code error;
    EXPECT_TRUE(fs::is_regular_file(platform::filePath("caf\xE9.txt"), error));
    EXPECT_EQ(platform::systemName("caf\xE9.txt"), L"caf\u00e9.txt");
}
#endif

TEST(FileName, TheWatcherSeesAUnicodeNamedFileChange)
{
    kxtest::TempDir dir;
    const std::string name = "Démo Ω/Ωmega é.tga";
    ASSERT_TRUE(fs::create_directories(platform::filePath("Démo Ω")));
    writeNamed(name, "one");
    for (const bool notes : {false, true}) {
        SCOPED_TRACE(notes ? "with the system's change notes" : "polling alone");
        writeNamed(name, notes ? "one" : "one again");
        cFileWatch watch(notes);
        watch.watch({name});
        writeNamed(name, "two, longer");
        // Polling alone reports a change once the file held still over two
        // polls; a note that the writer closed the file reports it at once.
        // (Windows' notes say a file changed, not that its writer closed it.)
        bool reported = watch.poll();
        if (!notes) {
            EXPECT_FALSE(reported);
        }
        if (!reported) reported = watch.poll();
        ASSERT_TRUE(reported);
        EXPECT_EQ(watch.changed(), std::vector<std::string>{name});
    }
}

// The system's own notes name such a file as the program does, in UTF-8,
// whatever the ANSI code page: the watcher matches them by name.
TEST(FileName, ChangeNotesNameAUnicodeNamedFileInUtf8)
{
    kxtest::TempDir dir;
    const std::string name = "Démo Ω/Ωmega é.tga";
    ASSERT_TRUE(fs::create_directories(platform::filePath("Démo Ω")));
    platform::FileChanges* notes = platform::openFileChanges();
    ASSERT_NE(notes, nullptr);
    ASSERT_TRUE(platform::watchFolderOf(notes, name.c_str()));
    writeNamed(name, "one");
    std::vector<std::string> noted;
    char path[1024];
    bool done = false;
    for (int wait = 0; wait < 200 && noted.empty(); ++wait) {
        while (platform::nextFileChange(notes, path, sizeof path, &done)) noted.emplace_back(path);
        if (noted.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    platform::closeFileChanges(notes);
    ASSERT_FALSE(noted.empty());
    for (const std::string& n : noted) EXPECT_EQ(n, name);
}

TEST(FileName, TheAudioEngineLoadsAUnicodeNamedFile)
{
    kxtest::TempDir dir;
    ASSERT_TRUE(fs::create_directories(platform::filePath("Démo Ω")));
    const std::vector<unsigned char> wav = kxtest::makeWav(std::vector<int16_t>(2000, 1000), 2, 44100);
    const std::string name = "Démo Ω/Ωmega é.wav";
    writeNamed(name, std::string(wav.begin(), wav.end()));
    ASSERT_TRUE(BASS_SetOffline(TRUE));
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    EXPECT_NE(BASS_StreamCreateFile(FALSE, name.c_str(), 0, 0, 0), 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_StreamCreateFile(FALSE, "Démo Ω/missing é.wav", 0, 0, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    BASS_Free();
    BASS_SetOffline(FALSE);
}

} // namespace
