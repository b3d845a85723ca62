#pragma once
#include <cstddef>
#include <vector>

// Positions of the values from the largest to the smallest; equal values keep
// their index order, and a NaN is never moved past (the exchange rule).
void bubble_asort_rev(const std::vector<double>& values, std::vector<int>& order);

// Descending ranks, 1 for the largest; ties share the rank of the first of their run.
void vec_rank_rev(const std::vector<double>& values, std::vector<int>& ranks);

// Positions of the pairs (first, second) in ascending lexicographic order;
// equal pairs keep their index order.
void bubble_lexsort(const std::vector<int>& first, const std::vector<int>& second, std::vector<int>& order);

// Whether a gene follows the set's direction: its two descending ranks lie
// in the same half of the n paired genes (direction +) or in opposite
// halves (direction -). Genes on the middle rank of either side follow
// neither way and count as not following.
bool follows_direction(int rank_x, int rank_y, std::size_t n, char cor_dir);
