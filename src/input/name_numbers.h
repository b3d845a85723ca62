#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Names numbered in order of first appearance, found by hash: an open-address
// table of 8-byte slots, each the name's hash in its upper half and its number
// + 1 in its lower half (0: empty), so that a probe compares names only when
// their hashes agree. Each name is copied once into `text`: a probe then
// compares with bytes that stay in cache, not with its first line in the file.
struct name_numbers {
    std::string text;               // the names one after another, in order of number
    std::vector<std::size_t> from;  // name k is text[from[k], from[k + 1])
    std::vector<std::uint64_t> slots;
    std::size_t limit = ~std::size_t{0};  // the most names the table takes
};

// Whether the n bytes at a and at b are the same: a name of 4 to 16 bytes
// as two words that may overlap, both within the name, where memcmp would
// cost a call. The readers compare a name or two a line.
inline bool same_bytes(const char* a, const char* b, std::size_t n) {
    if (n >= 8 && n <= 16) {
        std::uint64_t a0, a1, b0, b1;
        std::memcpy(&a0, a, 8);
        std::memcpy(&b0, b, 8);
        std::memcpy(&a1, a + n - 8, 8);
        std::memcpy(&b1, b + n - 8, 8);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }
    if (n >= 4 && n < 8) {
        std::uint32_t a0, a1, b0, b1;
        std::memcpy(&a0, a, 4);
        std::memcpy(&b0, b, 4);
        std::memcpy(&a1, a + n - 4, 4);
        std::memcpy(&b1, b + n - 4, 4);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }
    return std::memcmp(a, b, n) == 0;
}

inline bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && same_bytes(a.data(), b.data(), a.size());
}

// The number of name, given the next number when it is new; not_numbered
// when it is new and the table holds `limit` names already.
constexpr std::uint32_t not_numbered = ~0u;
std::uint32_t number_of(name_numbers& table, std::string_view name);

std::size_t name_count(const name_numbers& table);
std::string_view name_of(const name_numbers& table, std::uint32_t k);
