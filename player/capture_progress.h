// Capture mode's sign of life on standard error: frame, total, percent,
// frames per second and time left. On a terminal one line is rewritten in
// place; otherwise (a file, a pipe) a line is written for the first frame
// and then every few seconds. A summary line ends the capture.
#pragma once

#include <string>

struct sCaptureProgress {
    long long frame = 0; // frames written so far
    long long total = 0; // frames the capture holds when it runs to its end
    double fps = 0;      // frames written per second of wall-clock time; 0 = not known yet
    double seconds = 0;  // wall-clock time the frames took
};

// "capture: frame 120/1800 (6%), 45.2 fps, 0:37 left"; without a rate yet
// the line ends after the percentage.
std::string formatCaptureProgress(const sCaptureProgress& p);

// "capture: 1800 of 1800 frames in 0:40 (45.0 fps)"
std::string formatCaptureSummary(const sCaptureProgress& p);

// Seconds as "m:ss", or "h:mm:ss" from an hour on; rounded up, so a
// countdown reaches 0:00 only at the end.
std::string formatDuration(double seconds);

// Called after every frame written; prints a line when one is due.
void reportCaptureProgress(long long written, long long total);

// Ends the display with the summary line. Does nothing when no frame was
// written.
void finishCaptureProgress();
