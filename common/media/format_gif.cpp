#include "common/media/format_gif.h"

#include "common/media/stream.h"
#include "platform/problem_report.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

// ---- reading the file --------------------------------------------------------

// The file from the signature on, as bytes in memory. Reads past the end
// deliver zeros and leave the reader at its end.
struct cFormatGIF::sReader {
    const unsigned char* at = nullptr;
    const unsigned char* end = nullptr;

    bool atEnd() const { return at >= end; }
    size_t left() const { return static_cast<size_t>(end - at); }

    // The next byte, or -1 at the end.
    int byte() { return at < end ? *at++ : -1; }

    // Copies up to n bytes to destination, zeros where the data ends.
    void take(void* destination, size_t n)
    {
        const size_t got = n < left() ? n : left();
        std::memcpy(destination, at, got);
        std::memset(static_cast<unsigned char*>(destination) + got, 0, n - got);
        at += got;
    }

    void skip(size_t n) { at += n < left() ? n : left(); }

    // Passes over data sub-blocks up to and with the zero-length block that
    // closes them.
    void skipSubBlocks()
    {
        for (int length = byte(); length > 0; length = byte()) skip(static_cast<size_t>(length));
    }
};

namespace {

const int kPadding = 16;
const unsigned kTableSize = 4096;
const unsigned kMaxCodeSize = 12;
// The 256 byte values, at the end of every index block (see sIndexBlock),
// followed by kPadding bytes for the 16-byte copies that read them.
const size_t kRootBytes = 256 + kPadding;
// The image data is decoded through a buffer of this many bytes, which
// stays in the first-level cache.
const size_t kChunk = 4096;

int le16(const unsigned char* p) { return p[0] | (p[1] << 8); }

// The data sub-blocks of an image, from the byte after the minimum code
// size, read a piece at a time. A sub-block that the file cuts short gives
// what the file holds.
struct sSubBlocks {
    const unsigned char* at;
    const unsigned char* end;
    size_t blockLeft = 0; // bytes of the current sub-block not yet read
    bool done = false;    // the closing zero-length block (or the file's end) is passed

    sSubBlocks(const unsigned char* from, const unsigned char* to) : at(from), end(to) { }

    // How many bytes of data the sub-blocks hold in all.
    size_t size() const
    {
        size_t total = blockLeft;
        for (const unsigned char* p = at + blockLeft; p < end && *p != 0;) {
            const size_t length = *p++;
            const size_t n = length < static_cast<size_t>(end - p) ? length : static_cast<size_t>(end - p);
            total += n;
            p += n;
        }
        return total;
    }

    // Copies up to room bytes of data to `to`; returns how many. Fewer than
    // room only once done.
    size_t read(unsigned char* to, size_t room)
    {
        size_t got = 0;
        while (got < room) {
            if (blockLeft == 0 && !nextBlock()) break;
            const size_t n = blockLeft < room - got ? blockLeft : room - got;
            std::memcpy(to + got, at, n);
            at += n;
            blockLeft -= n;
            got += n;
        }
        return got;
    }

    // Passes over the rest, up to and with the closing block.
    void finish()
    {
        do {
            at += blockLeft;
            blockLeft = 0;
        } while (nextBlock());
    }

private:
    // Starts the next sub-block; false (and done) at the closing block.
    bool nextBlock()
    {
        if (done) return false;
        if (at >= end || *at == 0) {
            if (at < end) ++at;
            done = true;
            return false;
        }
        const size_t length = *at++;
        blockLeft = length < static_cast<size_t>(end - at) ? length : static_cast<size_t>(end - at);
        return true;
    }
};

// The index block of a frame while it is decoded. It starts at a size the
// amount of data suggests and grows, doubling, as indices arrive, up to the
// image's width x height. So a header that declares a huge image costs only
// what its data really decodes to. It always has kPadding bytes of slack,
// and after them the byte values 0 to 255 (from roots() on), so that the
// decoder copies a one-byte string from the block like any other string.
struct sIndexBlock {
    unsigned char* data = nullptr;
    size_t capacity = 0;
    size_t limit = 0;

    size_t roots() const { return capacity + kPadding; }

    // Room for at least `needed` indices (within the limit), keeping the
    // first `kept`; false when there is no memory for it.
    bool grow(size_t kept, size_t needed)
    {
        size_t wanted = capacity * 2 > needed ? capacity * 2 : needed;
        if (wanted > limit) wanted = limit;
        unsigned char* bigger = new (std::nothrow) unsigned char[wanted + kPadding + kRootBytes];
        if (!bigger) return false;
        if (kept) std::memcpy(bigger, data, kept);
        delete[] data;
        data = bigger;
        capacity = wanted;
        for (unsigned v = 0; v < 256; ++v) data[roots() + v] = static_cast<unsigned char>(v);
        return true;
    }

    // Grows the block when it has no room for length more indices after
    // the first `written`; false when it still has none, at the limit or
    // out of memory.
    bool makeRoom(size_t written, size_t length)
    {
        if (length > capacity - written && capacity < limit) grow(written, written + length);
        return length <= capacity - written;
    }
};

// Copies length bytes from an earlier place of the output to its end, 16
// bytes at a time: it may write up to 15 bytes past the string and read up
// to 15 bytes past its source. The source string ends at or before the
// destination, so a 16-byte step only ever reads bytes already final when
// the string is longer than the step.
inline void copyString(unsigned char* destination, const unsigned char* source, size_t length)
{
    unsigned char chunk[16];
    std::memcpy(chunk, source, 16);
    std::memcpy(destination, chunk, 16);
    for (size_t done = 16; done < length; done += 16) {
        std::memcpy(chunk, source + done, 16);
        std::memcpy(destination + done, chunk, 16);
    }
}

// The data of an image as the decoder reads it: the sub-blocks' bytes
// through a buffer, followed by kPadding zero bytes once they are all
// there. Codes are read at a bit position in the buffer, 8 bytes at a time.
struct sCodeInput {
    explicit sCodeInput(sSubBlocks& from) : data(from) { }

    // Where reading stands after a refill: the bit position of the next
    // code, the position from which codes are read through refill() again,
    // and whether a whole code is there.
    struct sPlace {
        size_t pos;
        size_t fastEnd;
        bool whole;
    };

    // Keeps the bytes from bit position pos on, moved to the front, and
    // fills the rest from the sub-blocks while they last.
    sPlace refill(size_t pos, unsigned codeSize)
    {
        if (!data.done) {
            const size_t from = pos >> 3;
            const size_t kept = filled - from;
            std::memmove(bytes, bytes + from, kept);
            pos &= 7;
            filled = kept + data.read(bytes + kept, kChunk - kept);
            if (data.done) std::memset(bytes + filled, 0, kPadding);
        }
        // While more data comes, the 8 bytes read at a position all have to
        // be there; at the end, every code read must be whole.
        size_t fastEnd = 0;
        if (filled > kMaxCodeSize) fastEnd = data.done ? filled * 8 - (kMaxCodeSize - 1) : (filled - 8) * 8;
        return {pos, fastEnd, pos < fastEnd || filled * 8 - pos >= codeSize};
    }

    unsigned code(size_t pos, size_t mask) const
    {
        uint64_t word;
        std::memcpy(&word, bytes + (pos >> 3), 8);
        return static_cast<unsigned>(word >> (pos & 7) & mask);
    }

    sSubBlocks& data;
    size_t filled = 0;
    unsigned char bytes[kChunk + kPadding];
};

// The string table: entry k is the string of `length` indices at `offset`
// in the index block, the two side by side so that a look-up reads one
// place. Entry kTableSize takes what is written for the next entry while
// the table is full.
struct sStringTable {
    struct sEntry {
        uint32_t offset;
        uint32_t length;
    };
    sEntry entries[kTableSize + 1];

    // The roots, below the clear code, are the byte values behind the
    // block (codes past 255, for minimum code sizes past 7, are roots of
    // their low byte); the clear and end codes have length 0.
    void placeRoots(const sIndexBlock& block, unsigned clear)
    {
        const size_t roots = block.roots();
        for (unsigned code = 0; code < clear; ++code) entries[code] = {static_cast<uint32_t>(roots + (code & 255)), 1};
        entries[clear].length = 0;
        entries[clear + 1].length = 0;
    }

    // Room in the block for length more indices after the first
    // `written`, keeping the roots with the block; false when it is full.
    bool makeRoom(sIndexBlock& block, size_t written, size_t length, unsigned clear)
    {
        const unsigned char* before = block.data;
        const size_t capacity = block.capacity;
        const bool room = block.makeRoom(written, length);
        if (block.data != before || block.capacity != capacity) placeRoots(block, clear);
        return room;
    }
};

// Decodes GIF's variable-length LZW from the sub-blocks into the block,
// never past its limit. Returns how many indices were written.
//
// Every string the decoder meets is a run of bytes it has already written:
// a code's entry is the previous code's output plus the next byte, which is
// where that output sits followed by the first byte after it. So each entry
// is kept as (offset in the block, length) and a code is decoded by one
// copy, with no prefix chains and no stack. The roots are entries too, of
// length 1 at the byte values behind the block, so the loop does not branch
// on the kind of code. The table takes 32 KiB and the data buffer 4 KiB,
// so they stay in the first-level cache.
//
// What the loop keeps in variables is never handed out by reference (the
// slow paths take and return values), so that the compiler keeps it in
// registers across the byte stores.
size_t decodeLZW(sSubBlocks& data, int minCodeSize, sIndexBlock& block)
{
    if (block.capacity == 0) return 0;
    const unsigned clear = 1u << minCodeSize;
    const unsigned endCode = clear + 1;
    unsigned codeSize = static_cast<unsigned>(minCodeSize) + 1;
    size_t mask = (size_t(1) << codeSize) - 1;
    size_t next = clear + 2;

    sStringTable table;
    table.placeRoots(block, clear);
    sCodeInput input(data);
    size_t pos = 0;
    size_t fastEnd = 0;

    unsigned char* out = block.data;
    size_t capacity = block.capacity;
    size_t written = 0;

    // The next code, or -1 when the data has no whole code left.
    auto readCode = [&]() -> int {
        if (pos >= fastEnd) {
            const sCodeInput::sPlace place = input.refill(pos, codeSize);
            pos = place.pos;
            fastEnd = place.fastEnd;
            if (!place.whole) return -1;
        }
        const unsigned code = input.code(pos, mask);
        pos += codeSize;
        return static_cast<int>(code);
    };
    // Room for length more indices; false when the block is full.
    auto makeRoom = [&](size_t length) {
        const bool room = table.makeRoom(block, written, length, clear);
        out = block.data;
        capacity = block.capacity;
        return room;
    };
    // The count of indices at the end of the data, with room for one more
    // as after every string.
    auto done = [&]() {
        if (written == capacity) makeRoom(1);
        return written;
    };

    // The very first code counts as a clear code, whatever it is.
    if (readCode() < 0) return 0;
    for (;;) {
        // After a clear code: the first table, and one index from the next
        // code whatever it is (no entry is defined by it).
        codeSize = static_cast<unsigned>(minCodeSize) + 1;
        mask = (size_t(1) << codeSize) - 1;
        next = clear + 2;
        int first;
        do first = readCode();
        while (first == static_cast<int>(clear));
        if (first < 0 || first == static_cast<int>(endCode)) return done();
        if (written == capacity && !makeRoom(1)) return written;
        out[written] = static_cast<unsigned char>(first);
        size_t length = 1;

        // Up to the next clear code. Each turn starts with the entry the code
        // will define written down in advance: the previous string (of
        // `length` at written) and the first byte of what the code gives.
        // The code may name it (the previous string and its own first byte);
        // so may a code past it, which is corrupt data.
        for (;;) {
            table.entries[next] = {static_cast<uint32_t>(written), static_cast<uint32_t>(length + 1)};
            written += length;
            const int read = readCode();
            if (read < 0) return done();
            const size_t code = static_cast<size_t>(read);
            if (code < next && (length = table.entries[code].length) - 1 < capacity - written) {
                // A defined entry that fits: nearly every code.
                copyString(out + written, out + table.entries[code].offset, length);
            } else {
                // A clear or end code (their length is 0), the entry being
                // defined, or no room.
                if (code - clear < 2) {
                    if (code == clear) break;
                    return done();
                }
                const size_t entry = code < next ? code : next;
                length = table.entries[entry].length;
                if (length > capacity - written && !makeRoom(length)) {
                    // The image (or memory) is full: keep what fits.
                    std::memmove(out + written, out + table.entries[entry].offset, capacity - written);
                    return capacity;
                }
                const unsigned char* source = out + table.entries[entry].offset;
                copyString(out + written, source, length);
                // The entry being defined ends with its own first byte, which
                // the copy read before writing it when the string is short.
                out[written + length - 1] = source[length - 1];
            }

            // Once all 4096 entries are defined the table stays as it is
            // until the next clear code, and codes stay 12 bits long.
            if (next < mask) {
                ++next;
            } else if (next < kTableSize) {
                ++next;
                if (codeSize < kMaxCodeSize) {
                    ++codeSize;
                    mask = (size_t(1) << codeSize) - 1;
                }
            }
        }
    }
}

} // namespace

// ---- cFormatGIF ----------------------------------------------------------------

cFormatGIF::~cFormatGIF() { delete animation_; }

const unsigned char* cFormatGIF::globalPaletteEntry(int index) const
{
    static const unsigned char kNone[3] = {};
    return animation_ ? animation_->globalPalette[index & 255] : kNone;
}

unsigned char* cFormatGIF::pixels()
{
    if (bitsPerPixel_ != 32 || !animation_) return nullptr;
    const int shown = animation_->composedFrame();
    return animation_->compose(shown >= 0 ? shown : 0);
}

cGIFAnimation* cFormatGIF::takeAnimation()
{
    cGIFAnimation* taken = animation_;
    animation_ = nullptr;
    bitsPerPixel_ = 8;
    return taken;
}

int cFormatGIF::load(cStream* stream)
{
    if (!stream || stream->size() < 6) return -1;
    char signature[6] = {};
    stream->read(signature, 6);
    if (std::memcmp(signature, "GIF87a", 6) != 0 && std::memcmp(signature, "GIF89a", 6) != 0) return -1;
    if (!animation_) animation_ = new (std::nothrow) cGIFAnimation();
    if (!animation_) {
        platform::reportProblem("Warning cFormatGIF::load() out of memory\n");
        return -1;
    }
    stream_ = stream;

    // The rest of the file, straight from a memory stream's buffer, or read
    // whole from any other stream.
    std::vector<unsigned char> copy;
    sReader in;
    const long long position = stream->tell();
    const long long size = static_cast<long long>(stream->size());
    const size_t rest = position >= 0 && position < size ? static_cast<size_t>(size - position) : 0;
    cMemoryStream* memory = dynamic_cast<cMemoryStream*>(stream);
    if (memory && memory->data()) {
        in.at = memory->data() + (rest ? position : 0);
        in.end = in.at + rest;
    } else {
        // Streams deliver no bytes past their end, so what is missing stays 0.
        copy.resize(rest);
        if (rest) stream->read(copy.data(), static_cast<int>(rest));
        in.at = copy.data();
        in.end = in.at + rest;
    }
    if (memory) stream->seek(static_cast<int>(rest), 1);

    unsigned char screen[7];
    in.take(screen, sizeof screen);
    width_ = le16(screen);
    height_ = le16(screen + 2);
    animation_->setScreen(width_, height_);
    if (screen[4] & 0x80) {
        in.take(animation_->globalPalette, 3u << ((screen[4] & 7) + 1));
        animation_->hasGlobalPalette = true;
    }

    for (;;) {
        const int block = in.byte();
        if (block < 0 || block == 0x3B) break;
        if (block == 0x21)
            readExtension(in);
        else if (block == 0x2C)
            readImage(in);
        // Any other byte starts no block and is passed over.
    }

    bitsPerPixel_ = animation_->composable() ? 32 : 8;
    if (bitsPerPixel_ != 32)
        platform::reportProblem(
            "Warning cFormatGIF::load() a %i x %i screen cannot be shown (sides from 1, at most %lld "
            "pixels)\n",
            width_, height_, cGIFAnimation::kMaxScreenPixels);
    return 0;
}

// An extension: its label, a first sub-block and the sub-blocks that follow
// it up to the closing zero-length block. Only the graphic control extension
// is kept; comments, plain text and application data are passed over.
void cFormatGIF::readExtension(sReader& in)
{
    const int label = in.byte();
    const int size = in.byte();
    if (label < 0 || size < 0) return;
    if (label == 0xF9) {
        const size_t kept = size < 4 ? static_cast<size_t>(size) : 4;
        std::memset(graphicControl_, 0, sizeof graphicControl_);
        in.take(graphicControl_, kept);
        in.skip(static_cast<size_t>(size) - kept);
        graphicControlRead_ = true;
    } else {
        in.skip(static_cast<size_t>(size));
    }
    if (size > 0) in.skipSubBlocks();
}

void cFormatGIF::readImage(sReader& in)
{
    unsigned char descriptor[9];
    in.take(descriptor, sizeof descriptor);
    const int flags = descriptor[8];

    sGIFFrame* frame = nullptr;
    if (animation_->frameCount() < kMaxFrames) frame = new (std::nothrow) sGIFFrame();
    if (frame && !animation_->addFrame(frame)) {
        delete frame;
        frame = nullptr;
    }
    if (!frame) {
        // Past the frame table: the image is read over and not kept.
        if (flags & 0x80) in.skip(3u << ((flags & 7) + 1));
        in.byte();
        in.skipSubBlocks();
        graphicControlRead_ = false;
        return;
    }
    frame->left = le16(descriptor);
    frame->top = le16(descriptor + 2);
    frame->width = le16(descriptor + 4);
    frame->height = le16(descriptor + 6);
    frame->interlaced = (flags & 0x40) != 0;
    if (flags & 0x80) {
        in.take(frame->palette, 3u << ((flags & 7) + 1));
        frame->hasLocalPalette = true;
    }

    const int minCodeSize = in.byte();
    sSubBlocks data(in.at, in.end);
    const size_t dataBytes = data.size();

    // Minimum code sizes past 11 leave no room in the 4096-entry table for
    // the clear and end codes and any entry: such data decodes to nothing.
    if (minCodeSize >= 0 && minCodeSize < static_cast<int>(kMaxCodeSize)) {
        sIndexBlock block;
        block.limit = static_cast<size_t>(frame->width) * static_cast<size_t>(frame->height);
        // Enough for data that packs four indices or fewer in a byte; more
        // packed data makes the block grow.
        const size_t guess = dataBytes * 4 + 4096;
        if (block.limit > 0 && dataBytes > 0 && block.grow(0, guess < block.limit ? guess : block.limit)) {
            frame->decoded = decodeLZW(data, minCodeSize, block);
            frame->indices = block.data;
            frame->blockSize = block.capacity;
            std::memset(frame->indices + frame->decoded, 0, frame->blockSize - frame->decoded);
        }
    }
    data.finish();
    in.at = data.at;

    // The graphic control extension: packed fields (disposal in bits 2-4,
    // transparency in bit 0), the delay, the transparent index.
    if (graphicControlRead_) {
        if (graphicControl_[0] & 1) frame->transparent = graphicControl_[3];
        frame->disposal = (graphicControl_[0] >> 2) & 7;
        frame->delay = le16(graphicControl_ + 1);
    }
    graphicControlRead_ = false;
}
