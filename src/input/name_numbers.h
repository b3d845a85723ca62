#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

// Names numbered in order of first appearance, found by hash: an open-address
// table of 8-byte slots, each the name's hash in its upper half and its number
// + 1 in its lower half (0: empty), so that a probe compares names only when
// their hashes agree. The views point into text that outlives the table.
struct name_numbers {
    std::vector<std::string_view> names;
    std::vector<std::uint64_t> slots;
};

// The number of name, given the next number when it is new.
std::uint32_t number_of(name_numbers& table, std::string_view name);
