// The decoded content of a GIF file (logical screen, global palette, frames
// of palette indices) and the pictures it makes: each frame drawn over what
// the frames before it left, as their disposal methods say, into a 32-bit
// picture of the logical screen, and the frame to show at a moment of a
// looping playback.
//
// A plain object without virtual operations: a texture of the scene
// registry may own one that a plug-in made, and the player deletes it.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// One image of a GIF file: where it sits on the logical screen, its own
// palette when it has one, its palette indices, its transparent index, and
// from its graphic control extension how long it shows and what becomes of
// it when the next one comes.
struct sGIFFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool hasLocalPalette = false;
    bool interlaced = false;
    unsigned char palette[256][3] = {};
    // The indices in the order they are stored in the file (an interlaced
    // image keeps its stored row order). The block holds blockSize of the
    // width x height: all of them once the data has filled the image. The
    // block grows with what the data decodes to, so where the data ends
    // early it may hold fewer, and those past blockSize count as 0.
    unsigned char* indices = nullptr; // owned by the animation
    size_t blockSize = 0;
    // How many indices the data gave; the block is 0 from there on.
    size_t decoded = 0;
    int transparent = -1; // -1: none
    // Disposal method: 0 and 1 (and the undefined 4 to 7) leave the frame in
    // place, 2 clears its rectangle to transparent, 3 restores what was
    // there before it.
    int disposal = 0;
    int delay = 0; // hundredths of a second, as stored
};

class cGIFAnimation {
public:
    static constexpr int kMaxFrames = 256;
    // The largest logical screen composed into pictures: 4096 x 4096 pixels,
    // 64 MiB at 32 bits.
    static constexpr long long kMaxScreenPixels = 4096LL * 4096;
    // A frame whose delay is 0 shows this long, in hundredths of a second.
    static constexpr int kDefaultDelay = 10;

    cGIFAnimation() = default;
    ~cGIFAnimation();
    cGIFAnimation(const cGIFAnimation&) = delete;
    cGIFAnimation& operator=(const cGIFAnimation&) = delete;

    // The logical screen.
    void setScreen(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

    bool hasGlobalPalette = false;
    unsigned char globalPalette[256][3] = {}; // red, green, blue
    // The composed states kept for going back (see compose) together stay
    // within this many bytes, one canvas more at most.
    size_t keyBudget = size_t(64) << 20;

    // Takes the frame; false (and the frame not taken) when the table is full.
    bool addFrame(sGIFFrame* frame);
    int frameCount() const { return static_cast<int>(frames_.size()); }
    // Frame 0 to frameCount() - 1.
    const sGIFFrame& frame(int index) const { return *frames_[static_cast<size_t>(index)]; }

    // True when the logical screen can be composed: both sides from 1, at
    // most kMaxScreenPixels in all.
    bool composable() const;
    // The picture of frame index (clamped to the frames; a file without
    // frames gives a transparent picture): width x height pixels of blue,
    // green, red, alpha, bottom row first. Alpha is 255 where a frame drew
    // and 0 elsewhere. Valid until the next compose; null when the screen is
    // not composable or memory runs out. Pictures are composed on demand
    // from the nearest kept earlier state, so the result depends only on the
    // index, whatever was composed before.
    unsigned char* compose(int index);
    // The frame composed last, -1 before the first.
    int composedFrame() const { return composed_; }

    // How long a frame shows, in hundredths of a second.
    static int frameDelay(const sGIFFrame& frame);
    // The length of one pass through every frame, in hundredths.
    long long duration() const;
    // The frame that shows at this many seconds of a playback that starts
    // at 0 with the first frame and loops; 0 for times before the start.
    int frameAt(double seconds) const;

private:
    struct sRect {
        int x0, y0, x1, y1; // screen pixels, rows from the top, ends exclusive
        bool empty() const { return x0 >= x1 || y0 >= y1; }
    };
    sRect screenRect(const sGIFFrame& frame) const;
    void clearRect(const sRect& r);
    void copyRect(const sRect& r, unsigned char* to, bool toCanvas);
    void draw(int index);
    void dispose(int index);
    void forget();

    int width_ = 0;
    int height_ = 0;
    std::vector<sGIFFrame*> frames_; // owned
    std::unique_ptr<unsigned char[]> canvas_;
    // What the rectangle of the frame composed last covered before it was
    // drawn, for its disposal method 3.
    std::unique_ptr<unsigned char[]> saved_;
    int composed_ = -1;
    // The canvas as it is before frame k x keyInterval_ is drawn, kept the
    // first time composing passes there, so that going back costs at most
    // keyInterval_ frames. The interval is chosen so that the keys of every
    // frame stay within keyBudget.
    std::vector<std::unique_ptr<unsigned char[]>> keys_;
    int keyInterval_ = 1;
};
