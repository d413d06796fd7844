// The Huffman decode tables: built from a table's code-length counts and
// symbols (the decoding itself is inline, in jpeg_huffman.h).
#include "common/media/jpeg/jpeg_huffman.h"

#include <cstring>

// ---- decode tables --------------------------------------------------------------

void sJPEGHuffman::build()
{
    std::memset(lookup, 0, sizeof(lookup));
    std::memset(fast, 0, sizeof(fast));
    nodeCount = 1; // node 0 stands for "no code"

    auto newNode = [this]() -> int {
        if (nodeCount >= kMaxNodes) return 0;
        tree[nodeCount][0] = tree[nodeCount][1] = kNone;
        return nodeCount++;
    };

    unsigned code = 0;
    int k = 0;
    for (int length = 1; length <= 16; length++, code <<= 1) {
        for (int i = 0; i < counts[length - 1] && k < symbolCount; i++, code++) {
            if (code >= (1u << length)) return; // over-full: no room for the rest
            const uint8_t symbol = symbols[k++];
            if (length <= 8) {
                const unsigned first = code << (8 - length), n = 1u << (8 - length);
                for (unsigned j = 0; j < n; j++) lookup[first + j] = symbol | unsigned(length) << 8;
            }
            if (length <= kFastBits) {
                // The code followed by every possible string of extra bits.
                const int run = symbol >> 4, size = symbol & 15;
                if (size && length + size <= kFastBits) {
                    const unsigned first = code << (kFastBits - length), n = 1u << (kFastBits - length);
                    for (unsigned j = 0; j < n; j++) {
                        const int bits = int(j >> (kFastBits - length - size));
                        const int value = bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
                        fast[first + j] = uint32_t(value) << 16 | unsigned(run) << 8 | unsigned(length + size);
                    }
                }
            }
            if (length <= 8) continue;
            const unsigned prefix = code >> (length - 8);
            if (lookup[prefix] & 0xF00) continue; // a shorter code owns the prefix
            int node = int(lookup[prefix] >> 16);
            if (!node) {
                node = newNode();
                if (!node) return;
                lookup[prefix] = unsigned(node) << 16;
            }
            // Bits after the first 8, high to low; the last one ends in the leaf.
            for (int bit = length - 9; bit >= 0; bit--) {
                const int b = (code >> bit) & 1;
                uint16_t& child = tree[node][b];
                if (bit == 0) {
                    if (child == kNone) child = uint16_t(kLeaf | symbol);
                    break;
                }
                if (child == kNone) {
                    const int made = newNode();
                    if (!made) return;
                    child = uint16_t(made);
                } else if (child & kLeaf) {
                    break; // passes through a shorter code: not a prefix code
                }
                node = child;
            }
        }
    }
}
