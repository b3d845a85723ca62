#include "common/radix_sort.h"

#include <cstddef>
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

void radix_sort_upper(std::vector<std::uint64_t>& items, std::vector<std::uint64_t>& spare, int bytes) {
    std::size_t n = items.size();
    spare.resize(n);
    std::uint64_t* from = items.data();
    std::uint64_t* to = spare.data();
    for (int b = 0; b < bytes; ++b) {
        int shift = 32 + 8 * b;
        std::uint32_t count[256] = {};
        for (std::size_t k = 0; k < n; ++k) ++count[from[k] >> shift & 255];
        std::uint32_t at = 0;
        for (int v = 0; v < 256; ++v) at += std::exchange(count[v], at);
        for (std::size_t k = 0; k < n; ++k) to[count[from[k] >> shift & 255]++] = from[k];
        std::swap(from, to);
    }
    if (from != items.data()) items.swap(spare);
}
