// kestrelux: reads a script and plays every demo in it.
#include "audio/bass.h"
#include "common/media/stream.h"
#include "platform/headless.h"
#include "platform/message_box.h"
#include "player/capture.h"
#include "player/capture_audio.h"
#include "player/capture_progress.h"
#include "player/command_line.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/script_reader.h"
#include "player/stop_request.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
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

} // namespace

int main(int argc, char** argv)
{
    // First of all, so that no library installs a handler of its own.
    installStopHandlers();
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

    log->logf("Parsing Script [%s]", gScriptPath);
    cXmlTag root;
    if (loadFile(&root, gScriptPath) == 0) {
        log->logf("done.");
        buildDemos(&root);
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
