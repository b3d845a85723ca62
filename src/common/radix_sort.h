#pragma once
#include <cstdint>
#include <vector>

// A value with the number it is sorted by.
struct keyed_value {
    std::uint64_t key;
    std::uint64_t value;
};

// A stable sort by ascending key: one counting pass for each byte in which
// the keys differ, lowest byte first. No comparisons, so no mispredicted
// branches. `spare` is working space.
void radix_sort(std::vector<keyed_value>& items, std::vector<keyed_value>& spare);

// A stable sort of numbers by their upper half, which is at most `largest`:
// one read of the items counts the digits, then one counting pass for each
// digit in which the keys differ, as few as there are bytes in largest. No
// 16 KB of counts to clear as in radix_sort, which matters for the hundreds
// of entries of one gene set.
void radix_sort_upper(std::vector<std::uint64_t>& items, std::vector<std::uint64_t>& spare, std::uint32_t largest);
