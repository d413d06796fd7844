// Reads rendered frames back from GL. Where the context has pixel buffer
// objects, frame N is read into a buffer object while its copy goes on
// without us, and collected when frame N+1 has been drawn, so the frame
// loop does not wait for the copy; otherwise each frame is read at once.
// Frames come out in order, rows bottom first; through buffer objects 4
// bytes a pixel (BGRX), the layout GL copies fastest, else RGB.
#pragma once

#include "player/capture_sink.h"

#include <functional>

class cFrameReadback {
public:
    // overlapped: use buffer objects when the context has them.
    explicit cFrameReadback(bool overlapped);
    ~cFrameReadback(); // needs the same GL context current

    // Starts reading the current back buffer as frame `index`; hands over
    // the frame before it when that was still pending (or this one when
    // frames are read at once).
    void read(int width, int height, long long index, const std::function<void(sCaptureFrame&&)>& deliver);
    // Hands over the frame still pending, if any.
    void flush(const std::function<void(sCaptureFrame&&)>& deliver);

    double seconds = 0; // time spent reading and collecting

private:
    void collect(const std::function<void(sCaptureFrame&&)>& deliver);

    bool buffers = false; // pixel buffer objects in use
    unsigned ids[2] = {0, 0};
    size_t sizes[2] = {0, 0};
    int next = 0;     // buffer the next frame is read into
    bool pending = false;
    sCaptureFrame pendingFrame; // size and index of the frame in ids[1 - next]
};
