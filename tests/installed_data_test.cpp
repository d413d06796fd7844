// Where an installed player finds its bundled show: only from its installed
// folder, only when the working folder has no data/, only when the installed
// show holds the script.
#include "player/installed_data.h"
#include "test_util.h"

#include <filesystem>

namespace fs = std::filesystem;

TEST(InstalledData, TakenOnlyByAnInstalledPlayerFromAFolderWithoutData)
{
    struct Case {
        const char* what;
        const char* programFolder; // relative to the temporary folder
        const char* here;          // what the working folder holds: "", "data/" or "data" (a file)
        const char* scriptPath;
        bool installedShow;
    };
    const Case cases[] = {
        {"installed player, empty folder", "usr/lib/kestrelux", "", "data/script.txt", true},
        {"installed player, a file named data", "usr/lib/kestrelux", "data", "data/script.txt", true},
        {"installed player, folder with data/", "usr/lib/kestrelux", "data/", "data/script.txt", false},
        {"a script the installed show lacks", "usr/lib/kestrelux", "", "data/other.txt", false},
        {"a build tree's player", "usr/build/bin", "", "data/script.txt", false},
        {"a folder only named like the installed one", "usr/xlib/kestrelux", "", "data/script.txt", false},
    };
    kxtest::TempDir temp;
    const fs::path root = temp.path();
    kxtest::writeFile(root / "usr/share/kestrelux/data/script.txt", "<demo/>");
    for (const char* program : {"usr/lib/kestrelux", "usr/build/bin", "usr/xlib/kestrelux"})
        fs::create_directories(root / program);
    const std::string installedHome = fs::canonical(root / "usr/share/kestrelux").string();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path work = root / "work";
        fs::remove_all(work);
        fs::create_directories(work);
        if (std::string(c.here) == "data/") fs::create_directories(work / "data");
        if (std::string(c.here) == "data") kxtest::writeFile(work / "data", "not a folder");
        fs::current_path(work);
        const std::string home = installedDataHome((root / c.programFolder).string(), "lib/kestrelux",
                                                   "../../share/kestrelux", c.scriptPath);
        EXPECT_EQ(home, c.installedShow ? installedHome : "");
        fs::current_path(root);
    }
}
