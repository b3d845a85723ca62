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
