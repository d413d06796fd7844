// The JPEG decoder: Huffman-coded baseline, extended sequential and
// progressive images with 8-bit samples, grey or three-component YCbCr with
// the chroma sampled 1x1 and the luma 1x1, 2x1, 1x2 or 2x2.
//
// The decoder reads the whole compressed file from a cJPEGSource and hands
// back one row of pixels per decode() call, top to bottom: one byte per grey
// pixel, four bytes per colour pixel (red, green, blue, 255).
//
// Every failure is an error code (the kJPEG* constants below); the decoder
// never prints and never reads outside its input. Missing data at the end of
// a file reads as end-of-image markers, so a truncated file either delivers
// all its rows (the lost part filled from what was decoded last) or stops
// with an error code.
#pragma once

#include "common/media/jpeg/jpeg_internal.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Error codes. 0 means all is well.
enum : int {
    kJPEGHuffmanSymbols = -200,     // a DHT table has more than 255 symbols
    kJPEGHuffmanNumber = -201,      // a DHT table number is out of range
    kJPEGHuffmanLength = -202,      // a DHT segment is too short for its contents
    kJPEGQuantLength = -203,        // a DQT segment length below 2
    kJPEGQuantNumber = -204,        // a DQT table number above 3
    kJPEGPrecision = -205,          // sample precision other than 8
    kJPEGHeight = -206,             // frame height 0 or above 8192
    kJPEGWidth = -207,              // frame width 0 or above 8192
    kJPEGFrameComponents = -208,    // more than 4 frame components
    kJPEGFrameLength = -209,        // frame header length is not 8 + 3 x components
    kJPEGSegmentLength = -210,      // a skipped segment's length below 2
    kJPEGRestartLength = -211,      // a DRI segment length other than 4
    kJPEGScanHeader = -212,         // 0 or more than 4 scan components, or a bad length
    kJPEGScanComponent = -213,      // a scan names a component the frame lacks
    kJPEGArithmetic = -215,         // arithmetic coding (DAC, SOF9)
    kJPEGUnexpectedMarker = -216,   // TEM, JPG, RSTn out of place, or no scan where one is needed
    kJPEGNoStartOfImage = -217,     // no SOI within the first 512 bytes
    kJPEGFrameType = -218,          // the first frame marker is not SOF0, SOF1, SOF2 or SOF9
    kJPEGQuantShort = -219,         // a DQT segment too short for its tables
    kJPEGTooManyBlocks = -221,      // more than 100 memory blocks
    kJPEGQuantMissing = -222,       // a scan component's quantization table was never defined
    kJPEGHuffmanMissing = -223,     // a scan needs a Huffman table that was never defined
    kJPEGComponentCount = -225,     // neither 1 nor 3 components
    kJPEGSampling = -226,           // unsupported sampling of a three-component frame
    kJPEGCoefficientOverrun = -227, // entropy-coded data runs past coefficient 63
    kJPEGRestartMissing = -228,     // the expected restart marker is not there
    kJPEGBlockPosition = -229,      // a block outside a progressive coefficient buffer
    kJPEGProgressiveScan = -230,    // invalid spectral selection in a progressive scan
    kJPEGApproximation = -231,      // a refinement scan whose Ah is not Al + 1
    kJPEGSourceRead = -232,         // the source reported a failure
    kJPEGOutOfMemory = -233,        // an allocation failed
};

// The decoder's input: a memory buffer, read front to back.
class cJPEGSource {
public:
    cJPEGSource(const unsigned char* buffer, unsigned size);
    virtual ~cJPEGSource() = default;

    // Copies up to length bytes to destination and returns how many. When the
    // rest of the buffer fits, it is copied, the end is flagged and
    // endReached set; every later call sets endReached and returns 0.
    // Without a buffer the result is unsigned(-1).
    virtual unsigned read(void* destination, unsigned length, bool& endReached);

    // The decoder calls open() when it takes the source and close() when it
    // is done with it; a memory buffer needs neither.
    virtual void open() { }
    virtual void close() { }

private:
    const unsigned char* buffer_;
    unsigned position_ = 0;
    unsigned size_;
    bool end_ = false;
};

class cJPEGDecoder {
public:
    // Reads the headers up to and including the frame header. Failures are
    // recorded in errorCode(). simd is the MMX option: it selects the SIMD
    // inverse transform, whose output is identical to the scalar one.
    cJPEGDecoder(cJPEGSource* source, bool simd);
    ~cJPEGDecoder();

    cJPEGDecoder(const cJPEGDecoder&) = delete;
    cJPEGDecoder& operator=(const cJPEGDecoder&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    int components() const { return componentCount_; }
    int errorCode() const { return error_; }
    bool progressive() const { return progressive_; }
    // 1 for grey, 4 for colour; known once begin() succeeded.
    int bytesPerPixel() const { return bytesPerPixel_; }
    int scanType() const { return scanType_; }

    // 0 when rows can be read, -1 on failure. Progressive images are decoded
    // whole here.
    int begin();

    // 0: row points at the next row (valid until the next call) of length
    // bytes; 1: no row left; -1: in error or not begun; another negative
    // value: the error that happened while decoding.
    int decode(const unsigned char*& row, int& length);

private:
    enum : int { kMaxComponents = 4, kMaxBlocksPerMCU = 16 };
    enum : int { kInputChunk = 4096, kInputPadding = 128 };

    struct Component {
        int id = 0;
        int h = 1, v = 1; // sampling factors (a lone grey component: 1x1)
        int quantTable = 0;
        int dcTable = 0, acTable = 4;
        int blocksWide = 0; // coefficient buffers, in blocks (whole MCUs)
        int blocksHigh = 0;
        int scanBlocksWide = 0; // what a scan of this component alone covers
        int scanBlocksHigh = 0;
        int16_t* dcCoefficients = nullptr; // buffered images: one per block
        int16_t* acCoefficients = nullptr; // buffered images: 64 per block, natural order
        // Progressive images: per block, bit k set where the coefficient k
        // (zig-zag order) is nonzero, so refinements skip the zero ones.
        uint64_t* nonzero = nullptr;
        uint8_t* plane = nullptr;          // the samples of the current MCU row
        int planeStride = 0;
        uint16_t quant[64] = {}; // taken from its table at the first scan
        bool quantLatched = false;
    };

    struct Failure {
        int code;
    };
    // Records the error, frees every block and unwinds to the interface call.
    [[noreturn]] void fail(int code);
    void* allocate(size_t bytes);

    // input
    void refill(int need);
    int readByte();
    int readWord();
    void skipBytes(int count);

    // markers and headers
    void findStartOfImage();
    int nextMarker();
    void skipSegment();
    void readHuffmanTables();
    void readQuantTables();
    void readRestartInterval();
    void readFrame(int marker);
    void readScan();
    void prepareScan();
    bool scanCoversFrame() const;
    void handleRestart();

    // entropy-coded data (jpeg_entropy.cpp)
    sJPEGBits loadBits() const;
    void storeBits(const sJPEGBits& b);
    void resetBits();
    void refillForBits(sJPEGBits& b);
    inline void fillBits(sJPEGBits& b);
    template <bool Dequantize>
    inline void decodeBlock(sJPEGBits& b, int16_t* block, int component, const uint16_t* quant);
    inline void decodeDCFirst(sJPEGBits& b, int16_t* dc, int component);
    inline void decodeDCRefine(sJPEGBits& b, int16_t* dc);
    void decodeACFirst(sJPEGBits& b, int16_t* ac, uint64_t& nonzero, int component);
    void decodeACRefine(sJPEGBits& b, int16_t* ac, uint64_t& nonzero, int component);
    inline void decodeBufferedBlock(sJPEGBits& b, int component, int bx, int by);
    // The block at (bx, by) of a coefficient buffer, its DC term and, where
    // asked for, its nonzero mask.
    int16_t* blockAt(Component& c, int bx, int by, int16_t*& dc, uint64_t** nonzero = nullptr);
    void decodeMCURow();
    void decodeBufferedScan();
    void decodeImageScans();

    // rows
    void chooseScanType();
    void setUpRows();
    void allocateCoefficients();
    void transformMCURow();
    void layOutMCURow();

    cJPEGSource* source_;
    bool simd_;
    int error_ = 0;
    cJPEGMemory memory_;

    // input: one chunk, the end-of-image padding and a few bytes kept from
    // the previous chunk
    uint8_t input_[kInputChunk + kInputPadding + 16];
    const uint8_t* inputPos_ = input_;
    int inputLeft_ = 0;
    bool sourceEnded_ = false;

    // bit reader (see sJPEGBits)
    uint64_t bitBuffer_ = 0;
    int bitCount_ = 0;
    bool markerReached_ = false;
    bool markerIsEnd_ = false;
    int fillBits_ = 0;

    // frame
    int width_ = 0, height_ = 0;
    int componentCount_ = 0;
    bool progressive_ = false;
    Component component_[kMaxComponents];
    uint16_t quantTable_[4][64] = {};
    bool quantDefined_[4] = {};
    sJPEGHuffman* huffman_ = nullptr; // 8 tables: 0-3 DC, 4-7 AC
    sJPEGColour colour_;

    // scan
    int scanCount_ = 0;
    int scanComponent_[kMaxComponents] = {};
    int spectralStart_ = 0, spectralEnd_ = 63;
    int approxHigh_ = 0, approxLow_ = 0;
    int restartInterval_ = 0;
    int restartsLeft_ = 0;
    int nextRestart_ = 0;
    int dcPrediction_[kMaxComponents] = {};
    int endOfBandRun_ = 0;
    // Every scan decoded into coefficient buffers before the first row
    // (progressive images, and sequential ones with a component per scan).
    bool buffered_ = false;

    // MCU geometry
    int scanType_ = -1;
    int bytesPerPixel_ = 0;
    int mcuWidth_ = 8, mcuHeight_ = 8;
    int mcusWide_ = 0, mcusHigh_ = 0;
    int blocksPerMCU_ = 0; // of the current scan
    int blockComponent_[kMaxBlocksPerMCU] = {};
    int blockX_[kMaxBlocksPerMCU] = {}; // position in the MCU, in blocks
    int blockY_[kMaxBlocksPerMCU] = {};
    // Sequential: one MCU row of blocks, each component's block rows one
    // after the other, so that a row of blocks is transformed in one call.
    int16_t* mcuRowBlocks_ = nullptr;
    size_t blockOffset_[kMaxBlocksPerMCU] = {}; // block j of the first MCU
    size_t blockStep_[kMaxBlocksPerMCU] = {};   // from one MCU to the next

    // the transform and the colour conversion, chosen in begin()
    sJPEGKernels kernels_ = {};

    // rows
    uint8_t* outputRow_[2] = {};
    int rowLength_ = 0;
    int mcuRow_ = 0;    // next MCU row to decode
    int rowInMCU_ = 0;  // next row inside the current MCU row
    int rowsInMCU_ = 0; // rows of the image in the current MCU row
    int rowsDelivered_ = 0;
    bool secondRowReady_ = false;
    bool begun_ = false;
};

// A whole image decoded at once, rows top to bottom, bytesPerPixel bytes per
// pixel (1 grey, 4 colour: red, green, blue, 255).
struct sJPEGImage {
    int width = 0;
    int height = 0;
    int components = 0;
    int bytesPerPixel = 0;
    int rows = 0; // rows delivered; below height when decoding failed midway
    std::vector<unsigned char> pixels;
};

// Decodes size bytes at data. Returns 0 when every row was decoded, else the
// error code (the rows decoded before it stay in image).
int jpegDecodeBuffer(const unsigned char* data, unsigned size, bool simd, sJPEGImage& image);
