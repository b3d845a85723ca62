#include "common/radix_sort.h"

#include <cstddef>
#include <cstring>
#include <utility>

void radix_sort(std::vector<keyed_value>& items, std::vector<keyed_value>& spare) {
    std::size_t n = items.size();
    if (n < 2) return;
    spare.resize(n);
    std::size_t count[8][256] = {};
    keyed_value* from = items.data();
    for (std::size_t k = 0; k < n; ++k)
        for (int b = 0; b < 8; ++b) ++count[b][from[k].key >> (8 * b) & 255];
    keyed_value* to = spare.data();
    for (int b = 0; b < 8; ++b) {
        std::size_t* c = count[b];
        if (c[from[0].key >> (8 * b) & 255] == n) continue;  // every key has the same byte here
        std::size_t at = 0;
        for (int v = 0; v < 256; ++v) at += std::exchange(c[v], at);
        for (std::size_t k = 0; k < n; ++k) to[c[from[k].key >> (8 * b) & 255]++] = from[k];
        std::swap(from, to);
    }
    if (from != items.data()) items.swap(spare);
}

void radix_sort_upper(std::vector<std::uint64_t>& items, std::vector<std::uint64_t>& spare, std::uint32_t largest) {
    std::size_t n = items.size();
    int bits = 0;
    while (bits < 32 && largest >> bits) ++bits;
    if (n < 2 || bits == 0) return;
    // As few passes as bytes, each over digits of equal width: keys below
    // 1024 take two passes over 32 counts, not over 256 and 4.
    int passes = (bits + 7) / 8, width = (bits + passes - 1) / passes;
    std::uint32_t mask = (1u << width) - 1;
    spare.resize(n);
    // The counts of every digit in one read of the items; a digit that all
    // share needs no pass.
    std::uint32_t count[4][256];
    for (int b = 0; b < passes; ++b) std::memset(count[b], 0, (mask + 1) * sizeof count[b][0]);
    for (std::size_t k = 0; k < n; ++k) {
        auto key = static_cast<std::uint32_t>(items[k] >> 32);
        for (int b = 0; b < passes; ++b) ++count[b][key >> width * b & mask];
    }
    std::uint64_t* from = items.data();
    std::uint64_t* to = spare.data();
    for (int b = 0; b < passes; ++b) {
        std::uint32_t* c = count[b];
        int shift = 32 + width * b;
        if (c[from[0] >> shift & mask] == n) continue;
        std::uint32_t at = 0;
        for (std::uint32_t v = 0; v <= mask; ++v) {
            std::uint32_t here = c[v];
            c[v] = at;
            at += here;
        }
        for (std::size_t k = 0; k < n; ++k) to[c[from[k] >> shift & mask]++] = from[k];
        std::swap(from, to);
    }
    if (from != items.data()) items.swap(spare);
}
