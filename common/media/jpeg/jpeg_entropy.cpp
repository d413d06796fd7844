// The decoder's entropy-coded data: the bit reader, the sequential block
// decoder and the four progressive procedures (DC first and refinement, AC
// first with end-of-band runs and AC refinement), and the loops that run
// them over an MCU row or a whole scan.
#include "common/media/jpeg/jpeg_decoder.h"
#include "common/media/jpeg/jpeg_huffman.h"

#include <cstring>

// ---- bit reader -------------------------------------------------------------------

sJPEGBits cJPEGDecoder::loadBits() const
{
    return sJPEGBits{bitBuffer_, bitCount_, inputPos_, inputLeft_, markerReached_, markerIsEnd_, fillBits_};
}

void cJPEGDecoder::storeBits(const sJPEGBits& b)
{
    bitBuffer_ = b.buffer;
    bitCount_ = b.count;
    inputPos_ = b.pos;
    inputLeft_ = b.left;
    markerReached_ = b.marker;
    markerIsEnd_ = b.markerIsEnd;
    fillBits_ = b.fill;
}

void cJPEGDecoder::resetBits()
{
    bitBuffer_ = 0;
    bitCount_ = 0;
    markerReached_ = false;
    markerIsEnd_ = false;
    fillBits_ = 0;
}

void cJPEGDecoder::refillForBits(sJPEGBits& b)
{
    inputPos_ = b.pos;
    inputLeft_ = b.left;
    refill(2);
    b.pos = inputPos_;
    b.left = inputLeft_;
}

// Tops the buffer up to at least 57 bits. A stuffed 0xFF 0x00 is the data
// byte 0xFF; any other byte after 0xFF is a marker, which stays in the input
// while the reader feeds 0xFF from then on. Where the next eight bytes hold
// no 0xFF they go in as one word.
KX_INLINE void cJPEGDecoder::fillBits(sJPEGBits& b)
{
    if (!b.marker && b.left >= 8) {
        uint64_t word = 0;
        for (int i = 0; i < 8; i++) word = word << 8 | b.pos[i];
        // A byte of word is 0xFF where the same byte of ~word is zero.
        const uint64_t inverse = ~word;
        if (!((inverse - 0x0101010101010101ull) & ~inverse & 0x8080808080808080ull)) {
            const int take = (64 - b.count) >> 3;
            word &= ~uint64_t(0) << (64 - take * 8);
            b.buffer |= word >> b.count;
            b.count += take * 8;
            b.pos += take;
            b.left -= take;
            return;
        }
    }
    while (b.count <= 56) {
        uint64_t byte = 0xFF;
        if (b.marker) {
            b.fill += 8;
        } else {
            if (b.left < 2) refillForBits(b);
            byte = b.pos[0];
            if (byte != 0xFF) {
                b.pos++;
                b.left--;
            } else if (b.pos[1] == 0) {
                b.pos += 2;
                b.left -= 2;
            } else {
                b.marker = true;
                b.markerIsEnd = b.pos[1] == 0xD9;
                b.fill += 8;
            }
        }
        b.buffer |= byte << (56 - b.count);
        b.count += 8;
    }
}

namespace {

KX_INLINE int16_t times(int v, unsigned factor) { return int16_t(uint16_t(uint32_t(v) * factor)); }

// Bits first..last of a 64-bit mask (none when first > last); first <= 64,
// last <= 63.
KX_INLINE uint64_t bandBits(int first, int last)
{
    if (first > last) return 0;
    return (~uint64_t(0) << first) & (~uint64_t(0) >> (63 - last));
}

} // namespace

// ---- sequential ---------------------------------------------------------------------

// One block of a sequential scan into block (zeroed by the caller), natural
// order. With Dequantize each coefficient is multiplied by quant as it is
// stored.
template <bool Dequantize>
KX_INLINE void cJPEGDecoder::decodeBlock(sJPEGBits& b, int16_t* block, int component, const uint16_t* quant)
{
    const Component& comp = component_[component];
    const sJPEGHuffman& dcTable = huffman_[comp.dcTable];
    const sJPEGHuffman& acTable = huffman_[comp.acTable];
    auto store = [&](int pos, int v) { block[pos] = Dequantize ? times(v, quant[pos]) : int16_t(v); };

    // A code (16 bits at most) and its extra bits (15) fit in 32 bits.
    if (b.count < 32) fillBits(b);
    int s = jpegDecodeSymbol(b, dcTable);
    int diff = 0;
    if (s) {
        if (s > 15) s = 15;
        diff = jpegExtend(jpegTakeBits(b, s), s);
    }
    const int dc = int16_t(uint16_t(unsigned(dcPrediction_[component] + diff)));
    dcPrediction_[component] = dc;
    store(0, dc);

    for (int k = 1; k < 64; k++) {
        if (b.count < 32) fillBits(b);
        const uint32_t fast = acTable.fast[b.buffer >> (64 - sJPEGHuffman::kFastBits)];
        if (fast) {
            const int length = int(fast & 0xFF);
            b.buffer <<= length;
            b.count -= length;
            k += (fast >> 8) & 15;
            if (k > 63) fail(kJPEGCoefficientOverrun);
            store(kJPEGZigZag[k], int16_t(fast >> 16));
            continue;
        }
        const int rs = jpegDecodeSymbol(b, acTable);
        const int run = rs >> 4;
        s = rs & 15;
        if (s) {
            k += run;
            if (k > 63) fail(kJPEGCoefficientOverrun);
            store(kJPEGZigZag[k], jpegExtend(jpegTakeBits(b, s), s));
        } else {
            if (run != 15) break; // end of block
            k += 15;
            if (k > 63) fail(kJPEGCoefficientOverrun);
        }
    }
}

void cJPEGDecoder::decodeMCURow()
{
    sJPEGBits b = loadBits();
    const int blockCount = blocksPerMCU_;
    for (int mx = 0; mx < mcusWide_; mx++) {
        if (restartInterval_) {
            if (restartsLeft_ == 0) {
                storeBits(b);
                handleRestart();
                b = loadBits();
            }
            restartsLeft_--;
        }
        // Zeroed at allocation and after each inverse transform.
        auto block = [&](int j) { return mcuRowBlocks_ + blockOffset_[j] + size_t(mx) * blockStep_[j]; };
        if (jpegDataExhausted(b)) {
            // The data has run out: what follows would decode as DC
            // differences of 0 and empty blocks.
            for (int j = 0; j < blockCount; j++) {
                const int c = blockComponent_[j];
                *block(j) = simd_ ? int16_t(dcPrediction_[c]) : times(dcPrediction_[c], component_[c].quant[0]);
            }
            continue;
        }
        if (simd_) {
            for (int j = 0; j < blockCount; j++) decodeBlock<false>(b, block(j), blockComponent_[j], nullptr);
        } else {
            for (int j = 0; j < blockCount; j++) {
                const int c = blockComponent_[j];
                decodeBlock<true>(b, block(j), c, component_[c].quant);
            }
        }
    }
    storeBits(b);
}

// ---- progressive -------------------------------------------------------------------

KX_INLINE void cJPEGDecoder::decodeDCFirst(sJPEGBits& b, int16_t* dc, int component)
{
    if (b.count < 16) fillBits(b);
    int s = jpegDecodeSymbol(b, huffman_[component_[component].dcTable]);
    int diff = 0;
    if (s) {
        if (s > 15) s = 15;
        if (b.count < s) fillBits(b);
        diff = jpegExtend(jpegTakeBits(b, s), s);
    }
    const int pred = int16_t(uint16_t(unsigned(dcPrediction_[component] + diff)));
    dcPrediction_[component] = pred;
    *dc = times(pred, 1u << approxLow_);
}

KX_INLINE void cJPEGDecoder::decodeDCRefine(sJPEGBits& b, int16_t* dc)
{
    if (b.count < 1) fillBits(b);
    if (jpegTakeBits(b, 1)) *dc = int16_t(*dc | (1 << approxLow_));
}

void cJPEGDecoder::decodeACFirst(sJPEGBits& b, int16_t* ac, uint64_t& nonzero, int component)
{
    if (endOfBandRun_ > 0) {
        endOfBandRun_--;
        return;
    }
    const sJPEGHuffman& table = huffman_[component_[component].acTable];
    const unsigned scale = 1u << approxLow_;
    for (int k = spectralStart_; k <= spectralEnd_; k++) {
        if (b.count < 16) fillBits(b);
        const int rs = jpegDecodeSymbol(b, table);
        const int run = rs >> 4, s = rs & 15;
        if (s) {
            k += run;
            if (k > 63) fail(kJPEGCoefficientOverrun);
            if (b.count < s) fillBits(b);
            const int16_t v = times(jpegExtend(jpegTakeBits(b, s), s), scale);
            ac[kJPEGZigZag[k]] = v;
            // A product that wraps to 0 leaves a zero coefficient.
            nonzero = v ? nonzero | uint64_t(1) << k : nonzero & ~(uint64_t(1) << k);
        } else if (run == 15) {
            k += 15;
            if (k > 63) fail(kJPEGCoefficientOverrun);
        } else {
            // End of band, here and in the next (2^run + extra bits - 1) blocks.
            int eob = 1 << run;
            if (run) {
                if (b.count < run) fillBits(b);
                eob += jpegTakeBits(b, run);
            }
            endOfBandRun_ = eob - 1;
            break;
        }
    }
}

void cJPEGDecoder::decodeACRefine(sJPEGBits& b, int16_t* ac, uint64_t& nonzero, int component)
{
    const sJPEGHuffman& table = huffman_[component_[component].acTable];
    const int plus = 1 << approxLow_, minus = -plus;
    // A correction bit for a coefficient already nonzero: adds the new bit
    // to its magnitude.
    auto refine = [&](int16_t& coefficient) {
        if (b.count < 1) fillBits(b);
        if (jpegTakeBits(b, 1) && !(coefficient & plus))
            coefficient = int16_t(uint16_t(unsigned(coefficient + (coefficient >= 0 ? plus : minus))));
    };

    int k = spectralStart_;
    if (endOfBandRun_ == 0) {
        for (; k <= spectralEnd_; k++) {
            if (b.count < 16) fillBits(b);
            const int rs = jpegDecodeSymbol(b, table);
            int run = rs >> 4;
            const int s = rs & 15;
            int value = 0;
            if (s) {
                // A newly nonzero coefficient of magnitude 1 (at this bit).
                if (b.count < 1) fillBits(b);
                value = jpegTakeBits(b, 1) ? plus : minus;
            } else if (run != 15) {
                endOfBandRun_ = 1 << run;
                if (run) {
                    if (b.count < run) fillBits(b);
                    endOfBandRun_ += jpegTakeBits(b, run);
                }
                break;
            }
            // Skip run zero coefficients (correcting the nonzero ones met on
            // the way); the new value goes into the next zero one, or past
            // the band when there is none.
            const uint64_t band = bandBits(k, spectralEnd_);
            uint64_t zeros = ~nonzero & band;
            for (int r = 0; r < run && zeros; r++) zeros &= zeros - 1;
            const int next = zeros ? __builtin_ctzll(zeros) : spectralEnd_ + 1;
            for (uint64_t left = nonzero & band & ~bandBits(next, 63); left; left &= left - 1)
                refine(ac[kJPEGZigZag[__builtin_ctzll(left)]]);
            k = next;
            if (value) {
                if (k > 63) fail(kJPEGCoefficientOverrun);
                ac[kJPEGZigZag[k]] = int16_t(value);
                nonzero |= uint64_t(1) << k;
            }
        }
    }
    if (endOfBandRun_ > 0) {
        // Inside an end-of-band run only the nonzero coefficients get bits,
        // in zig-zag order. A refinement never makes a coefficient zero.
        for (uint64_t left = nonzero & bandBits(k, spectralEnd_); left; left &= left - 1)
            refine(ac[kJPEGZigZag[__builtin_ctzll(left)]]);
        endOfBandRun_--;
    }
}

int16_t* cJPEGDecoder::blockAt(Component& c, int bx, int by, int16_t*& dc, uint64_t** nonzero)
{
    if (bx < 0 || by < 0 || bx >= c.blocksWide || by >= c.blocksHigh) fail(kJPEGBlockPosition);
    const size_t index = size_t(by) * size_t(c.blocksWide) + size_t(bx);
    dc = c.dcCoefficients + index;
    // Sequential images keep no masks.
    if (nonzero) *nonzero = c.nonzero ? c.nonzero + index : nullptr;
    return c.acCoefficients + index * 64;
}

// One block of a buffered scan, with the procedure the scan calls for.
KX_INLINE void cJPEGDecoder::decodeBufferedBlock(sJPEGBits& b, int component, int bx, int by)
{
    int16_t* dc;
    uint64_t* nonzero;
    int16_t* ac = blockAt(component_[component], bx, by, dc, &nonzero);
    if (!progressive_) {
        std::memset(ac, 0, 64 * sizeof(int16_t));
        decodeBlock<false>(b, ac, component, nullptr);
        *dc = ac[0];
        ac[0] = 0;
    } else if (spectralStart_ == 0) {
        if (approxHigh_ == 0)
            decodeDCFirst(b, dc, component);
        else
            decodeDCRefine(b, dc);
    } else if (approxHigh_ == 0) {
        decodeACFirst(b, ac, *nonzero, component);
    } else {
        decodeACRefine(b, ac, *nonzero, component);
    }
}

// Decodes the scan just prepared into the coefficient buffers. A scan whose
// data ends at the end-of-image marker stops there.
void cJPEGDecoder::decodeBufferedScan()
{
    sJPEGBits b = loadBits();
    auto startUnit = [&]() -> bool {
        if (restartInterval_) {
            if (restartsLeft_ == 0) {
                storeBits(b);
                handleRestart();
                b = loadBits();
            }
            restartsLeft_--;
        }
        return !(jpegDataExhausted(b) && b.markerIsEnd);
    };

    if (scanCount_ == 1) {
        // Non-interleaved: one block per MCU over the component's own area.
        const int c = scanComponent_[0];
        const Component& comp = component_[c];
        for (int by = 0; by < comp.scanBlocksHigh; by++) {
            for (int bx = 0; bx < comp.scanBlocksWide; bx++) {
                if (!startUnit()) {
                    storeBits(b);
                    return;
                }
                decodeBufferedBlock(b, c, bx, by);
            }
        }
    } else {
        for (int my = 0; my < mcusHigh_; my++) {
            for (int mx = 0; mx < mcusWide_; mx++) {
                if (!startUnit()) {
                    storeBits(b);
                    return;
                }
                for (int j = 0; j < blocksPerMCU_; j++) {
                    const int c = blockComponent_[j];
                    const Component& comp = component_[c];
                    decodeBufferedBlock(b, c, mx * comp.h + blockX_[j], my * comp.v + blockY_[j]);
                }
            }
        }
    }
    storeBits(b);
}
