#include "platform/file_name.h"
#include "player/capture_video_sink.h"

#include "platform/process.h"
#include "player/capture_audio.h"
#include "player/capture_queue.h"
#include "player/log.h"

#include <cstdio>
#include <fstream>

namespace {

// Frames queued for the pipe before the frame loop waits: enough to ride
// out the encoder's uneven pace, few enough to bound memory.
constexpr size_t kQueuedFrames = 6;
// Lines of ffmpeg's messages shown when it fails.
constexpr size_t kShownLines = 12;

// The last lines of ffmpeg's messages.
std::string messagesOf(const std::string& file)
{
    std::ifstream in(platform::filePath(file));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(line);
    std::string text;
    const size_t from = lines.size() > kShownLines ? lines.size() - kShownLines : 0;
    for (size_t i = from; i < lines.size(); ++i) text += "  " + lines[i] + "\n";
    return text;
}

class cVideoSink : public cFileCaptureSink {
public:
    explicit cVideoSink(const sVideoCapture& s)
        : cFileCaptureSink(s.output + ".audio.wav"), settings(s), videoFile(s.output + ".video.mkv"),
          messagesFile(s.output + ".ffmpeg.txt"), partFile(s.output + ".part")
    {
    }

    ~cVideoSink() override
    {
        writer.reset();
        if (encoder) platform::killProcess(encoder);
        removeTemporaries();
    }

    bool frame(sCaptureFrame&& f) override
    {
        if (failed) return false;
        if (!encoder && !start(f.width, f.height)) return false;
        queueFrame(*writer, std::move(f), [this](const sCaptureFrame& queued) { send(queued); });
        return !failed;
    }

    bool finish() override
    {
        if (writer) writer->drain();
        writer.reset();
        bool ok = !failed;
        if (encoder) {
            double cpu = 0;
            const int code = platform::finishProcess(encoder, &cpu);
            encoder = nullptr;
            addWork(cpu, 0);
            if (code != 0) {
                report("ffmpeg failed while encoding the picture (" + howItEnded(code) + ")");
                ok = false;
            } else if (failed) {
                report("ffmpeg stopped taking frames before the capture ended");
            }
        } else if (!failed) {
            // No frame was drawn: no video either.
            removeTemporaries();
            return true;
        }
        if (!finishSound()) ok = false;
        if (ok) ok = join();
        removeTemporaries();
        if (!ok) platform::removeFile(partFile.c_str());
        return ok;
    }

private:
    bool start(int frameWidth, int frameHeight)
    {
        width = evenSize(frameWidth);
        height = evenSize(frameHeight);
        std::string why;
        encoder = platform::startProcess(encodeCommand(settings.ffmpeg, settings.container, width, height,
                                                       settings.fps, settings.extraArgs, videoFile),
                                         messagesFile, why);
        if (!encoder) {
            reportCaptureProblem(why);
            failed = true;
            return false;
        }
        // One writer, so frames reach the pipe in order.
        writer.reset(new cCaptureQueue(1, kQueuedFrames));
        return true;
    }

    // On the writer thread: converts one frame and writes it to the pipe.
    void send(const sCaptureFrame& f)
    {
        if (failed) return;
        const double start = captureSeconds();
        rgb.resize(size_t(width) * size_t(height) * 3);
        frameToRgb(f, width, height, rgb.data());
        const double converted = captureSeconds();
        // A closed pipe means ffmpeg has ended: finish() tells why.
        if (!platform::writeToProcess(encoder, rgb.data(), rgb.size())) failed = true;
        addWork(converted - start, captureSeconds() - converted);
    }

    // Joins picture and sound into NAME.part and renames it to NAME.
    bool join()
    {
        std::string why;
        platform::sChildProcess* muxer = platform::startProcess(
            muxCommand(settings.ffmpeg, settings.container, videoFile, wavPath, partFile), messagesFile, why);
        if (!muxer) {
            reportCaptureProblem(why);
            return false;
        }
        double cpu = 0;
        const int code = platform::finishProcess(muxer, &cpu);
        addWork(cpu, 0);
        if (code != 0) {
            report("ffmpeg failed while joining picture and sound (" + howItEnded(code) + ")");
            return false;
        }
        if (!platform::replaceFile(partFile.c_str(), settings.output.c_str())) {
            reportCaptureProblem("cannot write " + settings.output);
            return false;
        }
        return true;
    }

    // A program that crashed or was killed has no exit status and often
    // nothing to say: the message says so rather than showing nothing.
    static std::string howItEnded(int code)
    {
        return code >= 0 ? "exit status " + std::to_string(code) : "it crashed or was ended from outside";
    }

    void report(const std::string& what)
    {
        const std::string said = messagesOf(messagesFile);
        std::fflush(stdout);
        if (said.empty()) std::fprintf(stderr, "kestrelux: %s; it said nothing\n", what.c_str());
        else std::fprintf(stderr, "kestrelux: %s; it said:\n%s", what.c_str(), said.c_str());
        std::fflush(stderr);
        // log.txt: the same, a line each.
        cLog* log = cLog::get();
        log->logf("%s; it said%s", what.c_str(), said.empty() ? " nothing" : ":");
        for (size_t at = 0; at < said.size();) {
            const size_t end = said.find('\n', at);
            log->logf("%s", said.substr(at, end - at).c_str());
            at = end == std::string::npos ? said.size() : end + 1;
        }
    }

    void removeTemporaries()
    {
        if (wavOpen) wav.finish();
        for (const std::string* f : {&videoFile, &wavPath, &messagesFile}) platform::removeFile(f->c_str());
    }

    sVideoCapture settings;
    std::string videoFile, messagesFile, partFile;
    int width = 0, height = 0; // of the video
    platform::sChildProcess* encoder = nullptr;
    std::vector<unsigned char> rgb; // the writer's conversion buffer
    std::unique_ptr<cCaptureQueue> writer;
};

} // namespace

std::unique_ptr<cCaptureSink> makeVideoSink(const sVideoCapture& settings)
{
    return std::unique_ptr<cCaptureSink>(new cVideoSink(settings));
}
