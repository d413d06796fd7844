// The JPEG decoder: source, input buffer, markers and headers, the set-up of
// scans and the production of rows. The entropy decoding is in
// jpeg_entropy.cpp (with the Huffman decoder of jpeg_huffman.h), the inverse
// transforms in jpeg_idct*.cpp, the colour conversion in jpeg_color.cpp.
#include "common/media/jpeg/jpeg_decoder.h"

#include "common/media/jpeg/jpeg_internal.h"

#include <cstdlib>
#include <cstring>
#include <new>

const uint8_t kJPEGZigZag[64 + 16] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,
    6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
    39, 46, 53, 60, 61, 54, 47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63,
};

namespace {

enum : int {
    kSOF0 = 0xC0,
    kSOF1 = 0xC1,
    kSOF2 = 0xC2,
    kDHT = 0xC4,
    kJPG = 0xC8,
    kSOF9 = 0xC9,
    kDAC = 0xCC,
    kRST0 = 0xD0,
    kRST7 = 0xD7,
    kSOI = 0xD8,
    kEOI = 0xD9,
    kSOS = 0xDA,
    kDQT = 0xDB,
    kDRI = 0xDD,
    kTEM = 0x01,
};

// How far the start-of-image marker may be from the start of the file.
constexpr int kStartSearch = 512;
// How far a restart marker may be from where the data of an interval ended.
constexpr int kRestartSearch = 1536;

inline int roundUp(int v, int to) { return (v + to - 1) / to * to; }

} // namespace

// ---- cJPEGSource ------------------------------------------------------------------

cJPEGSource::cJPEGSource(const unsigned char* buffer, unsigned size) : buffer_(buffer), size_(buffer ? size : 0) { }

unsigned cJPEGSource::read(void* destination, unsigned length, bool& endReached)
{
    if (!buffer_) return unsigned(-1);
    if (end_) {
        endReached = true;
        return 0;
    }
    const unsigned remaining = size_ - position_;
    if (length < remaining) {
        std::memcpy(destination, buffer_ + position_, length);
        position_ += length;
        return length;
    }
    if (remaining) std::memcpy(destination, buffer_ + position_, remaining);
    end_ = true;
    position_ = size_;
    endReached = true;
    return remaining;
}

// ---- cJPEGMemory ------------------------------------------------------------------

void* cJPEGMemory::allocate(size_t bytes, int& error)
{
    if (count_ >= kLimit) {
        error = kJPEGTooManyBlocks;
        return nullptr;
    }
    void* block = bytes <= kLargest ? std::calloc(1, bytes ? bytes : 1) : nullptr;
    if (!block) {
        error = kJPEGOutOfMemory;
        return nullptr;
    }
    blocks_[count_++] = block;
    return block;
}

void cJPEGMemory::freeAll()
{
    while (count_ > 0) std::free(blocks_[--count_]);
}

// ---- errors, memory, input --------------------------------------------------------

void cJPEGDecoder::fail(int code)
{
    error_ = code;
    memory_.freeAll();
    huffman_ = nullptr;
    throw Failure{code};
}

void* cJPEGDecoder::allocate(size_t bytes)
{
    int error = 0;
    void* block = memory_.allocate(bytes, error);
    if (!block) fail(error);
    return block;
}

// Makes at least need bytes readable: keeps what is left, appends the next
// chunk of the source and, once the source is exhausted, end-of-image
// markers.
void cJPEGDecoder::refill(int need)
{
    if (inputLeft_ > 0) std::memmove(input_, inputPos_, size_t(inputLeft_));
    inputPos_ = input_;
    while (inputLeft_ < need) {
        if (!sourceEnded_) {
            const int room = int(sizeof(input_)) - kInputPadding - inputLeft_;
            const unsigned want = unsigned(room < kInputChunk ? room : kInputChunk);
            bool end = false;
            const unsigned got = source_->read(input_ + inputLeft_, want, end);
            if (got > want) fail(kJPEGSourceRead);
            inputLeft_ += int(got);
            if (!end && got == 0) end = true; // a source that stalls has ended
            if (!end) continue;
            sourceEnded_ = true;
        }
        for (int i = 0; i < kInputPadding; i += 2) {
            input_[inputLeft_ + i] = 0xFF;
            input_[inputLeft_ + i + 1] = kEOI;
        }
        inputLeft_ += kInputPadding;
    }
}

int cJPEGDecoder::readByte()
{
    if (inputLeft_ < 1) refill(1);
    inputLeft_--;
    return *inputPos_++;
}

int cJPEGDecoder::readWord()
{
    const int high = readByte();
    return high << 8 | readByte();
}

void cJPEGDecoder::skipBytes(int count)
{
    while (count > 0) {
        if (inputLeft_ < 1) refill(1);
        const int n = count < inputLeft_ ? count : inputLeft_;
        inputPos_ += n;
        inputLeft_ -= n;
        count -= n;
    }
}

// ---- construction -----------------------------------------------------------------

cJPEGDecoder::cJPEGDecoder(cJPEGSource* source, bool simd)
    // The processor check always finds the SIMD unit: SSE2 is part of x86-64,
    // and elsewhere the SIMD entry point is the scalar transform.
    : source_(source), simd_(simd)
{
    try {
        if (source_)
            source_->open();
        else
            fail(kJPEGSourceRead);
        huffman_ = static_cast<sJPEGHuffman*>(allocate(8 * sizeof(sJPEGHuffman)));
        for (int i = 0; i < 8; i++) new (&huffman_[i]) sJPEGHuffman();
        refill(1);
        colour_.build();
        findStartOfImage();
        for (;;) {
            const int marker = nextMarker();
            if (marker == kSOF0 || marker == kSOF1 || marker == kSOF2) {
                readFrame(marker);
                break;
            }
            if (marker == kSOF9) fail(kJPEGArithmetic);
            fail(kJPEGFrameType);
        }
    } catch (const Failure&) {
    }
}

cJPEGDecoder::~cJPEGDecoder()
{
    memory_.freeAll();
    if (source_) source_->close();
}

void cJPEGDecoder::findStartOfImage()
{
    int previous = readByte();
    for (int read = 1; read < kStartSearch; read++) {
        const int byte = readByte();
        if (previous == 0xFF && byte == kSOI) return;
        previous = byte;
    }
    fail(kJPEGNoStartOfImage);
}

// The next marker that the caller has to act on: SOI, EOI, SOS or a frame
// marker. Tables and the restart interval are read on the way, other
// segments skipped.
int cJPEGDecoder::nextMarker()
{
    for (;;) {
        int code = readByte();
        if (code != 0xFF) continue;
        do code = readByte();
        while (code == 0xFF);
        if (code == 0) continue; // a stuffed 0xFF of entropy-coded data
        switch (code) {
        case kDHT:
            readHuffmanTables();
            break;
        case kDQT:
            readQuantTables();
            break;
        case kDRI:
            readRestartInterval();
            break;
        case kDAC:
            fail(kJPEGArithmetic);
        case kTEM:
        case kJPG:
            fail(kJPEGUnexpectedMarker);
        case kSOI:
        case kEOI:
        case kSOS:
            return code;
        default:
            if (code >= kRST0 && code <= kRST7) fail(kJPEGUnexpectedMarker);
            if (code >= 0xC0 && code <= 0xCF) return code;
            skipSegment();
        }
    }
}

void cJPEGDecoder::skipSegment()
{
    const int length = readWord();
    if (length < 2) fail(kJPEGSegmentLength);
    skipBytes(length - 2);
}

void cJPEGDecoder::readHuffmanTables()
{
    int left = readWord() - 2;
    while (left > 0) {
        if (left < 17) fail(kJPEGHuffmanLength);
        const int classAndNumber = readByte();
        const int tableClass = classAndNumber >> 4, number = classAndNumber & 15;
        if (tableClass > 1 || number > 3) fail(kJPEGHuffmanNumber);
        sJPEGHuffman& table = huffman_[tableClass * 4 + number];
        int total = 0;
        for (int i = 0; i < 16; i++) {
            table.counts[i] = uint8_t(readByte());
            total += table.counts[i];
        }
        if (total > 255) fail(kJPEGHuffmanSymbols);
        left -= 17;
        if (left < total) fail(kJPEGHuffmanLength);
        for (int i = 0; i < total; i++) table.symbols[i] = uint8_t(readByte());
        left -= total;
        table.symbolCount = total;
        table.defined = true;
        table.built = false;
    }
}

// The SIMD transform is the accurate transform itself, so its tables take
// the plain values (a pre-scale factor of 1 at every position).
void cJPEGDecoder::readQuantTables()
{
    int left = readWord();
    if (left < 2) fail(kJPEGQuantLength);
    left -= 2;
    while (left > 0) {
        const int precisionAndNumber = readByte();
        const int sixteen = precisionAndNumber >> 4, number = precisionAndNumber & 15;
        if (number > 3) fail(kJPEGQuantNumber);
        const int need = 1 + 64 * (sixteen ? 2 : 1);
        if (left < need) fail(kJPEGQuantShort);
        for (int k = 0; k < 64; k++) quantTable_[number][kJPEGZigZag[k]] = uint16_t(sixteen ? readWord() : readByte());
        quantDefined_[number] = true;
        left -= need;
    }
}

void cJPEGDecoder::readRestartInterval()
{
    if (readWord() != 4) fail(kJPEGRestartLength);
    restartInterval_ = readWord();
}

void cJPEGDecoder::readFrame(int marker)
{
    progressive_ = marker == kSOF2;
    const int length = readWord();
    const int precision = readByte();
    height_ = readWord();
    width_ = readWord();
    const int count = readByte();
    if (precision != 8) fail(kJPEGPrecision);
    if (height_ == 0 || height_ > 8192) fail(kJPEGHeight);
    if (width_ == 0 || width_ > 8192) fail(kJPEGWidth);
    if (count > kMaxComponents) fail(kJPEGFrameComponents);
    if (length != 8 + 3 * count) fail(kJPEGFrameLength);
    componentCount_ = count;
    for (int i = 0; i < count; i++) {
        Component& c = component_[i];
        c.id = readByte();
        const int sampling = readByte();
        c.h = sampling >> 4;
        c.v = sampling & 15;
        c.quantTable = readByte();
    }
}

// ---- scans ------------------------------------------------------------------------

void cJPEGDecoder::readScan()
{
    const int length = readWord();
    const int count = readByte();
    if (count == 0 || count > kMaxComponents || length != 6 + 2 * count) fail(kJPEGScanHeader);
    scanCount_ = count;
    for (int i = 0; i < count; i++) {
        const int id = readByte();
        const int tables = readByte();
        int index = -1;
        for (int c = 0; c < componentCount_ && index < 0; c++)
            if (component_[c].id == id) index = c;
        if (index < 0) fail(kJPEGScanComponent);
        scanComponent_[i] = index;
        component_[index].dcTable = tables >> 4;
        component_[index].acTable = (tables & 15) + 4;
    }
    spectralStart_ = readByte();
    spectralEnd_ = readByte();
    const int approximation = readByte();
    approxHigh_ = approximation >> 4;
    approxLow_ = approximation & 15;
    if (!progressive_) {
        spectralStart_ = 0;
        spectralEnd_ = 63;
        approxHigh_ = approxLow_ = 0;
    }
}

void cJPEGDecoder::prepareScan()
{
    if (progressive_) {
        if (spectralEnd_ < spectralStart_ || spectralEnd_ > 63 || (spectralStart_ == 0 && spectralEnd_ != 0) ||
            (spectralStart_ > 0 && scanCount_ != 1))
            fail(kJPEGProgressiveScan);
        if (approxHigh_ != 0 && approxHigh_ != approxLow_ + 1) fail(kJPEGApproximation);
    }
    const bool needDC = spectralStart_ == 0, needAC = spectralEnd_ > 0;
    for (int i = 0; i < scanCount_; i++) {
        Component& c = component_[scanComponent_[i]];
        if (c.quantTable > 3 || !quantDefined_[c.quantTable]) fail(kJPEGQuantMissing);
        if (needDC && (c.dcTable > 3 || !huffman_[c.dcTable].defined)) fail(kJPEGHuffmanMissing);
        if (needAC && (c.acTable > 7 || !huffman_[c.acTable].defined)) fail(kJPEGHuffmanMissing);
        if (!c.quantLatched) {
            std::memcpy(c.quant, quantTable_[c.quantTable], sizeof(c.quant));
            c.quantLatched = true;
        }
    }
    for (int t = 0; t < 8; t++) {
        if (huffman_[t].defined && !huffman_[t].built) {
            huffman_[t].build();
            huffman_[t].built = true;
        }
    }

    // The blocks of one MCU: one for a single-component scan, else each
    // component's h x v blocks in scan order.
    blocksPerMCU_ = 0;
    for (int i = 0; i < scanCount_; i++) {
        const int index = scanComponent_[i];
        const Component& c = component_[index];
        const int h = scanCount_ == 1 ? 1 : c.h, v = scanCount_ == 1 ? 1 : c.v;
        for (int y = 0; y < v; y++) {
            for (int x = 0; x < h; x++) {
                blockComponent_[blocksPerMCU_] = index;
                blockX_[blocksPerMCU_] = x;
                blockY_[blocksPerMCU_] = y;
                blocksPerMCU_++;
            }
        }
    }

    for (int& p : dcPrediction_) p = 0;
    restartsLeft_ = restartInterval_;
    nextRestart_ = 0;
    endOfBandRun_ = 0;
    resetBits();
}

// Whether the scan holds every frame component once, so that the image can be
// decoded MCU row by MCU row as its rows are asked for.
bool cJPEGDecoder::scanCoversFrame() const
{
    if (scanCount_ != componentCount_) return false;
    bool seen[kMaxComponents] = {};
    for (int i = 0; i < scanCount_; i++) {
        if (seen[scanComponent_[i]]) return false;
        seen[scanComponent_[i]] = true;
    }
    return true;
}

void cJPEGDecoder::handleRestart()
{
    resetBits();
    int skipped = 0;
    while (readByte() != 0xFF)
        if (++skipped >= kRestartSearch) fail(kJPEGRestartMissing);
    int code;
    do code = readByte();
    while (code == 0xFF);
    if (code != kRST0 + nextRestart_) fail(kJPEGRestartMissing);
    nextRestart_ = (nextRestart_ + 1) & 7;
    restartsLeft_ = restartInterval_;
    for (int& p : dcPrediction_) p = 0;
    endOfBandRun_ = 0;
}

// Every remaining scan up to the end-of-image marker, into the coefficient
// buffers; the first one has been prepared already.
void cJPEGDecoder::decodeImageScans()
{
    for (;;) {
        decodeBufferedScan();
        const int marker = nextMarker();
        if (marker == kEOI) return;
        if (marker != kSOS) fail(kJPEGUnexpectedMarker);
        readScan();
        prepareScan();
    }
}

// ---- begin ------------------------------------------------------------------------

void cJPEGDecoder::chooseScanType()
{
    if (componentCount_ == 1) {
        // A single component is never interleaved: its MCU is one block.
        component_[0].h = component_[0].v = 1;
        scanType_ = 0;
    } else if (componentCount_ == 3) {
        for (int i = 1; i < 3; i++)
            if (component_[i].h != 1 || component_[i].v != 1) fail(kJPEGSampling);
        const int h = component_[0].h, v = component_[0].v;
        if (h == 1 && v == 1)
            scanType_ = 1;
        else if (h == 2 && v == 1)
            scanType_ = 2;
        else if (h == 1 && v == 2)
            scanType_ = 3;
        else if (h == 2 && v == 2)
            scanType_ = 4;
        else
            fail(kJPEGSampling);
    } else {
        fail(kJPEGComponentCount);
    }
    mcuWidth_ = component_[0].h * 8;
    mcuHeight_ = component_[0].v * 8;
    bytesPerPixel_ = scanType_ == 0 ? 1 : 4;
}

void cJPEGDecoder::setUpRows()
{
    mcusWide_ = (width_ + mcuWidth_ - 1) / mcuWidth_;
    mcusHigh_ = (height_ + mcuHeight_ - 1) / mcuHeight_;
    rowLength_ = width_ * bytesPerPixel_;
    // Room for whole 16-pixel groups of the SIMD colour conversion.
    const size_t rowBytes = size_t(roundUp(width_, 16)) * size_t(bytesPerPixel_);
    outputRow_[0] = static_cast<uint8_t*>(allocate(rowBytes));
    outputRow_[1] = static_cast<uint8_t*>(allocate(rowBytes));

    const int hMax = component_[0].h, vMax = component_[0].v;
    for (int i = 0; i < componentCount_; i++) {
        Component& c = component_[i];
        c.planeStride = roundUp(mcusWide_ * c.h * 8, 16);
        c.plane = static_cast<uint8_t*>(allocate(size_t(c.planeStride) * size_t(c.v) * 8));
        c.blocksWide = mcusWide_ * c.h;
        c.blocksHigh = mcusHigh_ * c.v;
        // A non-interleaved scan covers the component's own size only.
        const int w = (width_ * c.h + hMax - 1) / hMax, h = (height_ * c.v + vMax - 1) / vMax;
        c.scanBlocksWide = (w + 7) / 8;
        c.scanBlocksHigh = (h + 7) / 8;
    }
}

void cJPEGDecoder::allocateCoefficients()
{
    for (int i = 0; i < componentCount_; i++) {
        Component& c = component_[i];
        const size_t blocks = size_t(c.blocksWide) * size_t(c.blocksHigh);
        c.dcCoefficients = static_cast<int16_t*>(allocate(blocks * sizeof(int16_t)));
        c.acCoefficients = static_cast<int16_t*>(allocate(blocks * 64 * sizeof(int16_t)));
        if (progressive_) c.nonzero = static_cast<uint64_t*>(allocate(blocks * sizeof(uint64_t)));
    }
    buffered_ = true;
}

int cJPEGDecoder::begin()
{
    if (error_) return -1;
    if (begun_) return 0;
    try {
        // The instruction set is chosen once, here; without the SIMD option
        // the scalar transform and conversion run.
        kernels_ = jpegKernels(simd_ ? jpegSimdAvailable() : eJPEGSimd::scalar);
        chooseScanType();
        setUpRows();
        if (!progressive_) {
            if (nextMarker() != kSOS) fail(kJPEGUnexpectedMarker);
            readScan();
            prepareScan();
            if (scanCoversFrame()) {
                layOutMCURow();
            } else {
                // Components in scans of their own: keep every scan's
                // coefficients, as for a progressive image.
                allocateCoefficients();
                decodeImageScans();
            }
        } else {
            allocateCoefficients();
            const int marker = nextMarker();
            if (marker == kSOS) {
                readScan();
                prepareScan();
                decodeImageScans();
            } else if (marker != kEOI) {
                fail(kJPEGUnexpectedMarker);
            }
        }
        begun_ = true;
        return 0;
    } catch (const Failure&) {
        return -1;
    }
}

// ---- rows -------------------------------------------------------------------------

// Where each block of an MCU goes in the MCU row's blocks: component after
// component, each as its v rows of blocks across the whole MCU row.
void cJPEGDecoder::layOutMCURow()
{
    size_t componentStart[kMaxComponents] = {};
    size_t total = 0;
    for (int i = 0; i < componentCount_; i++) {
        componentStart[i] = total;
        total += size_t(component_[i].blocksWide) * size_t(component_[i].v) * 64;
    }
    for (int j = 0; j < blocksPerMCU_; j++) {
        const Component& c = component_[blockComponent_[j]];
        blockOffset_[j] =
            componentStart[blockComponent_[j]] + (size_t(blockY_[j]) * size_t(c.blocksWide) + size_t(blockX_[j])) * 64;
        blockStep_[j] = size_t(c.h) * 64;
    }
    mcuRowBlocks_ = static_cast<int16_t*>(allocate(total * sizeof(int16_t)));
}

// Inverse-transforms the blocks of the current MCU row into the planes, a
// row of blocks of a component at a time.
void cJPEGDecoder::transformMCURow()
{
    const tJPEGIdctRow idctRow = kernels_.idctRow;
    int16_t* blocks = mcuRowBlocks_;
    for (int i = 0; i < componentCount_; i++) {
        Component& c = component_[i];
        // Without the SIMD option, sequential blocks were dequantized as they
        // were decoded.
        const uint16_t* quant = simd_ || buffered_ ? c.quant : nullptr;
        for (int y = 0; y < c.v; y++) {
            uint8_t* out = c.plane + y * 8 * c.planeStride;
            if (!buffered_) {
                idctRow(blocks, c.blocksWide, quant, out, c.planeStride);
                blocks += size_t(c.blocksWide) * 64;
                continue;
            }
            // The DC terms are kept apart while the scans are decoded; the
            // coefficients are not needed after this.
            int16_t* dc;
            int16_t* ac = blockAt(c, 0, mcuRow_ * c.v + y, dc);
            for (int bx = 0; bx < c.blocksWide; bx++) ac[bx * 64] = dc[bx];
            idctRow(ac, c.blocksWide, quant, out, c.planeStride);
        }
    }
}

int cJPEGDecoder::decode(const unsigned char*& row, int& length)
{
    if (error_ || !begun_) return -1;
    if (secondRowReady_) {
        secondRowReady_ = false;
        row = outputRow_[1];
        length = rowLength_;
        rowsDelivered_++;
        return 0;
    }
    if (rowsDelivered_ >= height_) return 1;
    try {
        if (rowInMCU_ >= rowsInMCU_) {
            if (!buffered_) decodeMCURow();
            transformMCURow();
            rowsInMCU_ = height_ - mcuRow_ * mcuHeight_;
            if (rowsInMCU_ > mcuHeight_) rowsInMCU_ = mcuHeight_;
            rowInMCU_ = 0;
            mcuRow_++;
        }
        const int y = rowInMCU_;
        const Component& luma = component_[0];
        const uint8_t* y0 = luma.plane + y * luma.planeStride;
        if (scanType_ == 0) {
            std::memcpy(outputRow_[0], y0, size_t(width_));
            rowInMCU_++;
        } else {
            const bool pair = scanType_ >= 3;
            const int chromaRow = pair ? y / 2 : y;
            const uint8_t* cb = component_[1].plane + chromaRow * component_[1].planeStride;
            const uint8_t* cr = component_[2].plane + chromaRow * component_[2].planeStride;
            const bool second = pair && y + 1 < rowsInMCU_;
            const uint8_t* y1 = second ? y0 + luma.planeStride : nullptr;
            const int shift = scanType_ == 2 || scanType_ == 4 ? 1 : 0;
            kernels_.colourRow(colour_, y0, y1, cb, cr, outputRow_[0], outputRow_[1], width_, shift);
            secondRowReady_ = second;
            rowInMCU_ += pair ? 2 : 1;
        }
        row = outputRow_[0];
        length = rowLength_;
        rowsDelivered_++;
        return 0;
    } catch (const Failure& failure) {
        return failure.code;
    }
}

// ---- whole buffer -----------------------------------------------------------------

int jpegDecodeBuffer(const unsigned char* data, unsigned size, bool simd, sJPEGImage& image)
{
    image = sJPEGImage();
    cJPEGSource source(data, size);
    cJPEGDecoder decoder(&source, simd);
    image.width = decoder.width();
    image.height = decoder.height();
    image.components = decoder.components();
    if (decoder.errorCode()) return decoder.errorCode();
    if (decoder.begin() != 0) return decoder.errorCode() ? decoder.errorCode() : -1;
    image.bytesPerPixel = decoder.bytesPerPixel();
    image.pixels.resize(size_t(image.width) * size_t(image.height) * size_t(image.bytesPerPixel));
    for (;;) {
        const unsigned char* row = nullptr;
        int length = 0;
        const int result = decoder.decode(row, length);
        if (result == 1) return 0;
        if (result != 0) return result;
        if (image.rows >= image.height) return -1;
        std::memcpy(image.pixels.data() + size_t(image.rows) * size_t(length), row, size_t(length));
        image.rows++;
    }
}
