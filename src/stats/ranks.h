#pragma once
#include <vector>

// Positions of the values from the largest to the smallest; equal values keep
// their index order, and a NaN is never moved past (the exchange rule).
void bubble_asort_rev(const std::vector<double>& values, std::vector<int>& order);

// Descending ranks, 1 for the largest; ties share the rank of the first of their run.
void vec_rank_rev(const std::vector<double>& values, std::vector<int>& ranks);

// Positions of the pairs (first, second) in ascending lexicographic order;
// equal pairs keep their index order.
void bubble_lexsort(const std::vector<int>& first, const std::vector<int>& second, std::vector<int>& order);
