#pragma once
#include <cstdint>
#include <vector>

// Positions of the values from the largest to the smallest; equal values keep
// their index order, and a NaN is never moved past (the exchange rule).
void bubble_asort_rev(const std::vector<double>& values, std::vector<int>& order);

// Descending ranks, 1 for the largest; ties share the rank of the first of their run.
void vec_rank_rev(const std::vector<double>& values, std::vector<int>& ranks);

// Positions of the pairs (first, second) in ascending lexicographic order;
// equal pairs keep their index order.
void bubble_lexsort(const std::vector<int>& first, const std::vector<int>& second, std::vector<int>& order);

// A value with the number it is sorted by.
struct keyed_value {
    std::uint64_t key;
    std::uint64_t value;
};

// A stable sort by ascending key: one counting pass for each byte in which
// the keys differ, lowest byte first. No comparisons, so no mispredicted
// branches. `spare` is working space.
void radix_sort(std::vector<keyed_value>& items, std::vector<keyed_value>& spare);
