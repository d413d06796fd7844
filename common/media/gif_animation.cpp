#include "common/media/gif_animation.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

// The picture row of stored row k of an interlaced image of the given
// height: rows 0, 8, 16 ... first, then 4, 12 ..., then 2, 6 ..., then the
// odd rows.
int interlacedRow(int k, int height)
{
    const int pass1 = (height + 7) / 8;
    const int pass2 = (height + 3) / 8;
    const int pass3 = (height + 1) / 4;
    if (k < pass1) return k * 8;
    k -= pass1;
    if (k < pass2) return k * 8 + 4;
    k -= pass2;
    if (k < pass3) return k * 4 + 2;
    return (k - pass3) * 2 + 1;
}

} // namespace

cGIFAnimation::~cGIFAnimation()
{
    for (sGIFFrame* frame : frames_) {
        delete[] frame->indices;
        delete frame;
    }
}

bool cGIFAnimation::addFrame(sGIFFrame* frame)
{
    if (!frame || frameCount() >= kMaxFrames) return false;
    frames_.push_back(frame);
    forget();
    return true;
}

void cGIFAnimation::setScreen(int width, int height)
{
    width_ = width;
    height_ = height;
    forget();
    canvas_.reset();
}

void cGIFAnimation::forget()
{
    composed_ = -1;
    keys_.clear();
    saved_.reset();
}

bool cGIFAnimation::composable() const
{
    return width_ > 0 && height_ > 0 && static_cast<long long>(width_) * height_ <= kMaxScreenPixels;
}

int cGIFAnimation::frameDelay(const sGIFFrame& frame) { return frame.delay > 0 ? frame.delay : kDefaultDelay; }

long long cGIFAnimation::duration() const
{
    long long total = 0;
    for (const sGIFFrame* frame : frames_) total += frameDelay(*frame);
    return total;
}

int cGIFAnimation::frameAt(double seconds) const
{
    const long long total = duration();
    const double hundredths = seconds * 100.0;
    // Also false for NaN.
    if (frameCount() < 2 || !(hundredths > 0)) return 0;
    long long t = static_cast<long long>(std::fmod(hundredths, static_cast<double>(total)));
    for (int i = 0; i < frameCount(); ++i) {
        t -= frameDelay(*frames_[static_cast<size_t>(i)]);
        if (t < 0) return i;
    }
    return frameCount() - 1;
}

// ---- composing ----------------------------------------------------------------

cGIFAnimation::sRect cGIFAnimation::screenRect(const sGIFFrame& frame) const
{
    sRect r{frame.left, frame.top, frame.left + frame.width, frame.top + frame.height};
    if (r.x1 > width_) r.x1 = width_;
    if (r.y1 > height_) r.y1 = height_;
    return r;
}

void cGIFAnimation::clearRect(const sRect& r)
{
    if (r.empty()) return;
    const size_t rowBytes = static_cast<size_t>(r.x1 - r.x0) * 4;
    for (int y = r.y0; y < r.y1; ++y) {
        const size_t row = static_cast<size_t>(height_ - 1 - y) * static_cast<size_t>(width_);
        std::memset(canvas_.get() + (row + static_cast<size_t>(r.x0)) * 4, 0, rowBytes);
    }
}

// Copies the rectangle of the canvas to a packed block, or back.
void cGIFAnimation::copyRect(const sRect& r, unsigned char* block, bool toCanvas)
{
    if (r.empty()) return;
    const size_t rowBytes = static_cast<size_t>(r.x1 - r.x0) * 4;
    for (int y = r.y0; y < r.y1; ++y) {
        const size_t row = static_cast<size_t>(height_ - 1 - y) * static_cast<size_t>(width_);
        unsigned char* onCanvas = canvas_.get() + (row + static_cast<size_t>(r.x0)) * 4;
        unsigned char* packed = block + static_cast<size_t>(y - r.y0) * rowBytes;
        if (toCanvas)
            std::memcpy(onCanvas, packed, rowBytes);
        else
            std::memcpy(packed, onCanvas, rowBytes);
    }
}

// Draws frame index over the canvas: every decoded index but the
// transparent one, inside the screen. A frame about to be restored keeps
// what its rectangle covered first.
//
// The palette is turned into whole pixels first, so that drawing a pixel is
// one look-up and one 4-byte store. Under a transparent index the canvas
// stays as it is: that pixel's colour is 0 and its mask keeps the canvas,
// every other mask clears it, which needs no branch per pixel.
void cGIFAnimation::draw(int index)
{
    const sGIFFrame& f = *frames_[static_cast<size_t>(index)];
    const sRect r = screenRect(f);
    if (r.empty()) return;
    if (f.disposal == 3) {
        saved_.reset(
            new (std::nothrow) unsigned char[static_cast<size_t>(r.x1 - r.x0) * static_cast<size_t>(r.y1 - r.y0) * 4]);
        if (saved_) copyRect(r, saved_.get(), false);
    }
    const unsigned char(*palette)[3] = f.hasLocalPalette ? f.palette : globalPalette;
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) {
        const unsigned char pixel[4] = {palette[i][2], palette[i][1], palette[i][0], 255};
        std::memcpy(&colours[i], pixel, 4);
    }
    uint32_t keep[256] = {};
    const bool transparent = f.transparent >= 0 && f.transparent < 256;
    if (transparent) {
        colours[f.transparent] = 0;
        keep[f.transparent] = ~uint32_t(0);
    }

    const size_t frameWidth = static_cast<size_t>(f.width);
    for (int k = 0; k < f.height; ++k) {
        const size_t first = static_cast<size_t>(k) * frameWidth;
        if (first >= f.decoded) break;
        const int y = f.top + (f.interlaced ? interlacedRow(k, f.height) : k);
        if (y >= height_) continue;
        unsigned char* out =
            canvas_.get() +
            (static_cast<size_t>(height_ - 1 - y) * static_cast<size_t>(width_) + static_cast<size_t>(r.x0)) * 4;
        const unsigned char* in = f.indices + first;
        const size_t count = f.decoded - first < frameWidth ? f.decoded - first : frameWidth;
        const size_t across = static_cast<size_t>(r.x1 - r.x0) < count ? static_cast<size_t>(r.x1 - r.x0) : count;
        if (!transparent) {
            for (size_t x = 0; x < across; ++x) std::memcpy(out + x * 4, &colours[in[x]], 4);
        } else {
            for (size_t x = 0; x < across; ++x) {
                uint32_t pixel;
                std::memcpy(&pixel, out + x * 4, 4);
                pixel = (pixel & keep[in[x]]) | colours[in[x]];
                std::memcpy(out + x * 4, &pixel, 4);
            }
        }
    }
}

// What becomes of frame index's rectangle before the next frame is drawn.
void cGIFAnimation::dispose(int index)
{
    const sGIFFrame& f = *frames_[static_cast<size_t>(index)];
    if (f.disposal == 2) {
        clearRect(screenRect(f));
    } else if (f.disposal == 3) {
        // Without the copy (memory ran out) the frame stays in place.
        if (saved_) copyRect(screenRect(f), saved_.get(), true);
    }
    saved_.reset();
}

unsigned char* cGIFAnimation::compose(int index)
{
    if (!composable()) return nullptr;
    const size_t bytes = static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4;
    if (!canvas_) {
        canvas_.reset(new (std::nothrow) unsigned char[bytes]);
        if (!canvas_) return nullptr;
        composed_ = -1;
    }
    if (frames_.empty()) {
        std::memset(canvas_.get(), 0, bytes);
        return canvas_.get();
    }
    if (index < 0) index = 0;
    if (index >= frameCount()) index = frameCount() - 1;
    if (keys_.empty()) {
        const size_t all = bytes * frames_.size();
        const size_t budget = keyBudget > 0 ? keyBudget : 1;
        const size_t interval = all <= budget ? 1 : (all + budget - 1) / budget;
        keyInterval_ = interval < frames_.size() ? static_cast<int>(interval) : frameCount();
        keys_.resize((frames_.size() + static_cast<size_t>(keyInterval_) - 1) / static_cast<size_t>(keyInterval_));
    }

    // Goes on from the frame composed last when that lies between the key
    // at or before the wanted frame and the wanted frame; otherwise starts
    // again from that key (the one before frame 0 is an empty canvas).
    int key = index / keyInterval_;
    while (key > 0 && !keys_[static_cast<size_t>(key)]) --key;
    const int start = key * keyInterval_;
    if (composed_ < start || composed_ > index) {
        if (key > 0)
            std::memcpy(canvas_.get(), keys_[static_cast<size_t>(key)].get(), bytes);
        else
            std::memset(canvas_.get(), 0, bytes);
        saved_.reset();
        draw(start);
        composed_ = start;
    }
    while (composed_ < index) {
        dispose(composed_);
        ++composed_;
        if (composed_ % keyInterval_ == 0) {
            std::unique_ptr<unsigned char[]>& slot = keys_[static_cast<size_t>(composed_ / keyInterval_)];
            if (!slot) {
                slot.reset(new (std::nothrow) unsigned char[bytes]);
                if (slot) std::memcpy(slot.get(), canvas_.get(), bytes);
            }
        }
        draw(composed_);
    }
    return canvas_.get();
}
