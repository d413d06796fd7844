// kestrelux: reads a script and plays every demo in it.
#include "audio/bass.h"
#include "common/media/stream.h"
#include "platform/console.h"
#include "platform/file_name.h"
#include "platform/headless.h"
#include "platform/library.h"
#include "platform/message_box.h"
#include "platform/problem_report.h"
#include "platform/program_arguments.h"
#include "player/capture.h"
#include "player/capture_png_sink.h"
#include "player/capture_video_sink.h"
#include "player/command_line.h"
#include "player/controllers/midi_ports.h"
#include "player/controllers/osc_listener.h"
#include "player/demo.h"
#include "player/gl_census.h"
#include "player/installed_data.h"
#include "player/log.h"
#include "player/reload.h"
#include "player/script_check.h"
#include "player/script_reader.h"
#include "player/show_end.h"
#include "player/stop_request.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The script file name; the first argument replaces the default.
char gScriptPath[256] = "script.txt";

void printBanner() { std::printf("kestrelux (Build: %s %s)\n", __TIME__, __DATE__); }

// Makes the folder and any missing parents; true when it is a folder then.
bool makeFolder(const std::string& folder)
{
    std::error_code error;
    const std::filesystem::path path = platform::filePath(folder);
    std::filesystem::create_directories(path, error);
    return std::filesystem::is_directory(path, error);
}

// Whether setUpCapture made the capture folder (it did not exist before).
bool gMadeCaptureFolder = false;

// Capture mode: no person watching, no pacing, no dialogs, audio mixed
// offline. A video capture first finds an ffmpeg that will do, so that a
// capture that cannot succeed leaves no file behind. exitCode: non-zero when
// the capture cannot be made.
// A capture that cannot start says why on the console and in log.txt.
bool refuseCapture(const std::string& why, int& exitCode)
{
    std::fprintf(stderr, "kestrelux: %s\n", why.c_str());
    cLog::get()->logf("%s", why.c_str());
    exitCode = 1;
    return false;
}

bool setUpCapture(const sCommandLine& cl, sVideoCapture& video, int& exitCode)
{
    video.container = videoContainerOf(cl.captureFolder);
    if (video.container != eVideoContainer::none) {
        const char* environment = std::getenv("KESTRELUX_FFMPEG");
        const char* path = std::getenv("PATH");
        std::string problem;
        video.ffmpeg = locateFfmpeg(
            {cl.ffmpeg, environment ? environment : "", platform::programFolder(), path ? path : ""}, problem);
        if (problem.empty()) problem = checkFfmpeg(video.ffmpeg, video.container);
        if (!problem.empty()) return refuseCapture(problem, exitCode);
        // The working folder may change before the capture starts.
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(platform::filePath(video.ffmpeg), error);
        if (!error) video.ffmpeg = platform::fileName(absolute);
        video.fps = cl.fps;
        video.extraArgs = cl.ffmpegArgs;
        const std::string parent = platform::fileName(platform::filePath(cl.captureFolder).parent_path());
        if (!parent.empty() && !makeFolder(parent))
            return refuseCapture("cannot make the capture folder " + parent, exitCode);
    } else {
        std::error_code existing;
        gMadeCaptureFolder = !std::filesystem::exists(platform::filePath(cl.captureFolder), existing);
        if (!makeFolder(cl.captureFolder))
            return refuseCapture("cannot make the capture folder " + cl.captureFolder, exitCode);
    }
    gCapture.enabled = true;
    gCapture.folder = cl.captureFolder;
    gCapture.fps = cl.fps;
    gCapture.maxFrames = cl.frames;
    gCapture.serial = cl.captureSerial;
    platform::setInteractive(false);
    platform::useHeadlessDevices();
    BASS_SetOffline(TRUE);
    std::printf("capture: %lld frames at %d fps into %s\n", cl.frames, cl.fps, cl.captureFolder.c_str());
    return true;
}

// The sink for the capture, once the capture's name is final.
std::unique_ptr<cCaptureSink> makeCaptureSink(sVideoCapture& video)
{
    if (video.container != eVideoContainer::none) {
        video.output = gCapture.folder;
        return makeVideoSink(video);
    }
    // One encoder per core: the frame loop mostly waits for the GL driver
    // to finish drawing, so it takes little of a core itself.
    const unsigned cores = std::thread::hardware_concurrency();
    const unsigned workers = gCapture.serial ? 0 : (cores > 1 ? cores : 1);
    return makePngSink(gCapture.folder, workers);
}

bool isFile(const char* path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(platform::filePath(path), error);
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
    const std::string userFolder = platform::fileName(std::filesystem::current_path(error));
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
    std::filesystem::current_path(platform::filePath(home), error);
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

// Started in a folder without data/ (and no installed show taken instead):
// every name is looked up under data/, so say where the player looks.
void hintWithoutDataFolder()
{
    std::error_code error;
    if (std::filesystem::is_directory("data", error)) return;
    std::fflush(stdout);
    std::fprintf(stderr, "kestrelux: there is no data/ folder here: the script and every file it names are looked "
                         "for under data/ in the folder the player is started in\n");
}

// The reader's own line, then where the script is wrong and what was
// expected, on the console (`out`) and in the log.
void reportReadFailure(std::FILE* out)
{
    std::string error = lastError();
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r')) error.pop_back();
    cLog* log = cLog::get();
    log->write(0, lastError());
    std::fflush(stdout);
    std::fprintf(out, "kestrelux: %s\n", error.c_str());
    const std::string where = describeReadFault();
    for (size_t at = 0, end; at < where.size(); at = end + 1) {
        end = where.find('\n', at);
        if (end == std::string::npos) end = where.size();
        const std::string line = where.substr(at, end - at);
        std::fprintf(out, "%s\n", line.c_str());
        log->write(0, line.c_str());
    }
}

// Standard output goes nowhere while it lives: the locator's "load[...]"
// lines are not part of what --check prints.
class cQuietStandardOutput {
public:
    cQuietStandardOutput()
    {
        std::fflush(stdout);
#if defined(_WIN32)
        const int nothing = open("NUL", O_WRONLY);
#else
        const int nothing = open("/dev/null", O_WRONLY);
#endif
        if (nothing < 0) return;
        saved_ = dup(1);
        if (saved_ >= 0) dup2(nothing, 1);
        close(nothing);
    }
    ~cQuietStandardOutput()
    {
        std::fflush(stdout);
        if (saved_ < 0) return;
        dup2(saved_, 1);
        close(saved_);
    }
    cQuietStandardOutput(const cQuietStandardOutput&) = delete;
    cQuietStandardOutput& operator=(const cQuietStandardOutput&) = delete;

private:
    int saved_ = -1;
};

// --check: 0 clean, 1 warnings only, 2 errors. Nothing is played and
// log.txt is left as it is.
int checkOnly(const char* scriptPath)
{
    std::vector<std::string> filesRead;
    cXmlTag root;
    std::vector<sDiagnostic> found;
    int result;
    {
        cQuietStandardOutput quiet;
        recordFilesRead(&filesRead);
        result = loadFile(&root, scriptPath);
        recordFilesRead(nullptr);
        if (result == 0) found = checkScript(&root, filesRead, sCheckOptions{true, true});
    }
    if (result != 0) {
        reportReadFailure(stdout);
        hintAtDataFolder(scriptPath);
        hintWithoutDataFolder();
        std::printf("%s: cannot be read\n", scriptPath);
        return 2;
    }
    int errors = 0;
    for (const sDiagnostic& d : found) {
        std::printf("%s\n", d.line().c_str());
        errors += d.error ? 1 : 0;
    }
    const int warnings = int(found.size()) - errors;
    std::printf("%s: %d error%s, %d warning%s\n", scriptPath, errors, errors == 1 ? "" : "s", warnings,
                warnings == 1 ? "" : "s");
    return errors ? 2 : warnings ? 1 : 0;
}

void logToFile(const char* line) { cLog::get()->write(0, line); }

// The user's session is ending and the system may end the process at any
// moment: the capture's sound track is completed now. The show ends at its
// next step, as on Ctrl+C, if there is time.
void finishForSessionEnd()
{
    if (gCapture.enabled) {
        completeCaptureSound();
        cLog::get()->logf("Session ending: the capture's sound track is complete.");
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    // First of all, so that no library installs a handler of its own.
    installStopHandlers();
    startDeadline();
    platform::setSessionEndHandler(&finishForSessionEnd);
    // UTF-8 from here on, whatever the system's own form of the arguments.
    std::vector<std::string> args = platform::programArguments(argc, argv);
    std::vector<char*> argPointers;
    for (std::string& arg : args) argPointers.push_back(&arg[0]);
    argPointers.push_back(nullptr);
    const sCommandLine cl = parseCommandLine(int(args.size()), argPointers.data());
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

    if (cl.check) {
        if (pathTooLong) {
            std::fprintf(stderr, "kestrelux: script path longer than %u characters\n",
                         unsigned(sizeof gScriptPath - 1));
            return 2;
        }
        return checkOnly(gScriptPath);
    }

    printBanner();
    std::printf("kestrelux demo player, by the kestrelux developers\n\n");
    std::fflush(stdout);

    cLog* log = cLog::get();
    log->setFileName("log.txt");
    log->setOutput(cLog::outputFile);
    log->setEnabled(true);
    // Missing pictures, textures, fonts and tunes reach log.txt as well.
    platform::setProblemSink(logToFile);

    if (pathTooLong) {
        log->logf("Error: script path longer than %u characters", unsigned(sizeof gScriptPath - 1));
        // A capture asked for is not made: said as for any script that cannot be read.
        if (cl.capture) {
            std::fprintf(stderr, "capture: 0 frames written\n");
            log->logf("capture: 0 frames written");
        }
        log->logf("Show ended: the script could not be read.");
        return cl.capture ? 1 : 0;
    }
    int status = 0;
    sVideoCapture video;
    if (cl.capture && !setUpCapture(cl, video, status)) {
        log->logf("Show ended: the capture could not be started.");
        return status;
    }
    setGLCensusFile(cl.glCensusFile);
    controllers::setPortNameFromCommandLine(cl.midiPort);
    controllers::setOscCommandLinePort(cl.oscPort);
    useInstalledDataWhenNoneHere();
    if (cl.capture) startCapture(makeCaptureSink(video));

    log->logf("Parsing Script [%s]", gScriptPath);
    // Reload on save is for a person at the show; a capture renders the
    // script as it was when it started.
    cReloader script(gScriptPath, !cl.capture && !cl.noReload);
    const bool read = script.load() == 0;
    if (read) {
        log->logf("done.");
        // Warnings never stop a show. The errors the show meets are reported
        // when it meets them, after the lines of their own.
        std::vector<sDiagnostic> warnings = checkScript(script.root(), script.filesRead(), sCheckOptions());
        warnings.erase(std::remove_if(warnings.begin(), warnings.end(), [](const sDiagnostic& d) { return d.error; }),
                       warnings.end());
        reportDiagnostics(warnings);
        buildDemos(script.root(), script.watching() ? &script : nullptr);
    } else {
        reportReadFailure(stderr);
        hintAtDataFolder(gScriptPath);
        hintWithoutDataFolder();
    }
    // Every demo is over, however it ended: no more input.
    controllers::stopOsc();
    if (cl.capture) {
        if (!finishCapture()) {
            status = 1;
            noteShowEnd("the capture failed");
        }
        if (gCapture.written == 0) {
            // A failed capture leaves no empty folder behind to be taken for a result.
            std::fflush(stdout);
            std::fprintf(stderr, "capture: 0 frames written\n");
            log->logf("capture: 0 frames written");
            std::error_code error;
            if (gMadeCaptureFolder) std::filesystem::remove_all(platform::filePath(gCapture.folder), error);
            status = 1;
        }
    } else if (showEnd() == kShowEndNoWindow) {
        std::fflush(stdout);
        std::fprintf(stderr, "kestrelux: no window could be opened (is there a display?); to render the show "
                             "without one use --capture DIR --fps N --seconds S\n");
        status = 1;
    }
    if (stopRequested()) {
        // Every demo is gone and the capture files are complete.
        std::fprintf(stderr, "kestrelux: stopped by %s\n", stopRequestName());
        log->logf("Stopped by %s.", stopRequestName());
        log->logf("done.");
    }
    // The last line says how the show ended.
    if (stopRequested())
        log->logf("Show ended: stopped by %s.", stopRequestName());
    else if (!read)
        log->logf("Show ended: the script could not be read.");
    else
        log->logf("Show ended: %s.", showEnd() ? showEnd() : "the end of the script");
    std::fflush(stdout);
    return deadlinePassed() ? 124 : status;
}
