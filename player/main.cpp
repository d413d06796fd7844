// kestrelux: reads a script and plays every demo in it.
#include "audio/bass.h"
#include "common/media/stream.h"
#include "platform/console.h"
#include "platform/headless.h"
#include "platform/library.h"
#include "platform/message_box.h"
#include "player/capture.h"
#include "player/capture_audio.h"
#include "player/capture_progress.h"
#include "player/command_line.h"
#include "player/demo.h"
#include "player/installed_data.h"
#include "player/log.h"
#include "player/reload.h"
#include "player/script_reader.h"
#include "player/stop_request.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// The script file name; the first argument replaces the default.
char gScriptPath[256] = "script.txt";

void printBanner() { std::printf("kestrelux (Build: %s %s)\n", __TIME__, __DATE__); }

// Makes the folder and any missing parents; true when it is a folder then.
bool makeFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

// Capture mode: no person watching, no pacing, no dialogs, audio mixed offline.
bool setUpCapture(const sCommandLine& cl)
{
    if (!makeFolder(cl.captureFolder)) {
        std::fprintf(stderr, "kestrelux: cannot make the capture folder %s\n", cl.captureFolder.c_str());
        return false;
    }
    gCapture.enabled = true;
    gCapture.folder = cl.captureFolder;
    gCapture.fps = cl.fps;
    gCapture.maxFrames = cl.frames;
    platform::setInteractive(false);
    platform::useHeadlessDevices();
    BASS_SetOffline(TRUE);
    std::printf("capture: %lld frames at %d fps into %s\n", cl.frames, cl.fps, cl.captureFolder.c_str());
    return true;
}

bool isFile(const char* path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// "kestrelux data/script.txt" looks for data/data/script.txt. When the
// script was not found where names are looked up but the name given is a
// file as it stands, say how names are meant.
void hintAtDataFolder(const char* name)
{
    char located[512];
    if (!locateDataFile(name, located, sizeof located) || isFile(located) || !isFile(name)) return;
    std::fflush(stdout); // after the locator's own "file not found" line
    std::fprintf(stderr, "kestrelux: %s was looked for as %s: script names are looked up under data/", name, located);
    const char* rest = std::strncmp(name, "./", 2) == 0 ? name + 2 : name;
    char suggested[512];
    if (std::strncmp(rest, "data/", 5) == 0 && rest[5] && locateDataFile(rest + 5, suggested, sizeof suggested) &&
        isFile(suggested))
        std::fprintf(stderr, ", so give it as %s", rest + 5);
    std::fputs("\n", stderr);
}

// An installed player started in a folder without data/ plays the show
// installed with it: that folder becomes the working folder, so the player
// and every plug-in read their data files from there, while log.txt,
// keylog.txt and the capture stay in the folder the user started in, which
// is writable where the installed one is not.
void useInstalledDataWhenNoneHere()
{
    char located[512];
    if (!locateDataFile(gScriptPath, located, sizeof located)) return;
    const std::string home =
        installedDataHome(platform::programFolder(), KX_INSTALLED_PROGRAM_DIR, KX_DATA_HOME_FROM_PROGRAM, located);
    if (home.empty()) return;
    std::error_code error;
    const std::string userFolder = std::filesystem::current_path(error).string();
    if (error) return;

    cLog* log = cLog::get();
    const std::string logFile = userFolder + "/log.txt";
    log->setFileName(logFile.c_str());
    if (logFile != log->fileName()) {
        log->setFileName("log.txt");
        std::fprintf(stderr,
                     "kestrelux: no data/ folder here; the installed show in %s is not played, as this "
                     "folder's path is too long to keep log.txt here\n",
                     home.c_str());
        return;
    }
    std::filesystem::current_path(home, error);
    if (error) {
        log->setFileName("log.txt");
        std::fprintf(stderr, "kestrelux: no data/ folder here; cannot enter %s to play the installed show: %s\n",
                     home.c_str(), error.message().c_str());
        return;
    }
    setKeyLogFile(userFolder + "/keylog.txt");
    if (gCapture.enabled && gCapture.folder.compare(0, 1, "/") != 0)
        gCapture.folder = userFolder + "/" + gCapture.folder;
    std::fprintf(stderr,
                 "kestrelux: no data/ folder here: playing the installed show in %s/data; log.txt, keylog.txt "
                 "and captures stay here\n",
                 home.c_str());
    log->logf("Data folder: %s/data (installed; %s has no data folder)", home.c_str(), userFolder.c_str());
}

// The user's session is ending and the system may end the process at any
// moment: the capture's sound track is completed now. The show ends at its
// next step, as on Ctrl+C, if there is time.
void finishForSessionEnd()
{
    if (gCapture.enabled) {
        finishCaptureAudio();
        cLog::get()->logf("Session ending: the capture's sound track is complete.");
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    // First of all, so that no library installs a handler of its own.
    installStopHandlers();
    platform::setSessionEndHandler(&finishForSessionEnd);
    const sCommandLine cl = parseCommandLine(argc, argv);
    for (const std::string& warning : cl.warnings) std::fprintf(stderr, "kestrelux: %s\n", warning.c_str());
    if (cl.version) {
        printBanner();
        return 0;
    }
    if (cl.help || !cl.error.empty()) {
        if (!cl.error.empty()) std::fprintf(stderr, "kestrelux: %s\n", cl.error.c_str());
        std::fputs(usageText(), cl.help ? stdout : stderr);
        return 0;
    }

    const bool pathTooLong = cl.script.size() >= sizeof gScriptPath;
    if (!pathTooLong) std::snprintf(gScriptPath, sizeof gScriptPath, "%s", cl.script.c_str());

    printBanner();
    std::printf("kestrelux demo player, by the kestrelux developers\n\n");
    std::fflush(stdout);

    cLog* log = cLog::get();
    log->setFileName("log.txt");
    log->setOutput(cLog::outputFile);
    log->setEnabled(true);

    if (pathTooLong) {
        log->logf("Error: script path longer than %u characters", unsigned(sizeof gScriptPath - 1));
        return 0;
    }
    if (cl.capture && !setUpCapture(cl)) return 0;
    useInstalledDataWhenNoneHere();

    log->logf("Parsing Script [%s]", gScriptPath);
    // Reload on save is for a person at the show; a capture renders the
    // script as it was when it started.
    cReloader script(gScriptPath, !cl.capture && !cl.noReload);
    if (script.load() == 0) {
        log->logf("done.");
        buildDemos(script.root(), script.watching() ? &script : nullptr);
    } else {
        log->write(0, lastError());
        hintAtDataFolder(gScriptPath);
    }
    if (cl.capture) {
        finishCaptureProgress();
        finishCaptureAudio();
    }
    if (stopRequested()) {
        // Every demo is gone and the capture files are complete.
        std::fprintf(stderr, "kestrelux: stopped by %s\n", stopRequestName());
        log->logf("Stopped by %s.", stopRequestName());
        log->logf("done.");
    }
    std::fflush(stdout);
    return 0;
}
