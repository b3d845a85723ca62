#pragma once
#include <cstdint>
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

// The number of name, given the next number when it is new; not_numbered
// when it is new and the table holds `limit` names already.
constexpr std::uint32_t not_numbered = ~0u;
std::uint32_t number_of(name_numbers& table, std::string_view name);

std::size_t name_count(const name_numbers& table);
std::string_view name_of(const name_numbers& table, std::uint32_t k);
