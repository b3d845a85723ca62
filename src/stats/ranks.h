#pragma once
#include <cstddef>
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

// Whether a gene follows the set's direction: its two descending ranks lie
// in the same half of the n paired genes (direction +) or in opposite
// halves (direction -). Genes on the middle rank of either side follow
// neither way and count as not following.
bool follows_direction(int rank_x, int rank_y, std::size_t n, char cor_dir);

// Ranks through keys found once for many vectors. The keys of a vector of
// values are their places among its distinct values from the largest down:
// key 0 for the largest, equal values (-0 and +0 too) one key, a NaN
// nan_key. The ranks of any values drawn from the vector follow from their
// keys alone, with an integer sort: a ranking's scores are keyed once and
// each gene set's paired genes ranked from the keys of their rows.
constexpr std::uint32_t nan_key = ~0u;
void descending_keys(const double* values, std::size_t n, bool magnitudes, std::vector<std::uint32_t>& keys);
void descending_keys(const double* values, std::size_t n, bool magnitudes, std::uint32_t* keys);

// vec_rank_rev of the values whose keys these are, for keys without nan_key.
void ranks_of_keys(const std::vector<std::uint32_t>& keys, std::vector<int>& ranks);

// ranks_of_keys of both sides, and the order bubble_lexsort gives to the
// pairs of those ranks, with one integer sort of each side; for keys of
// equal number, without nan_key.
void keyed_pair_order(const std::vector<std::uint32_t>& x, const std::vector<std::uint32_t>& y,
                      std::vector<int>& rank_x, std::vector<int>& rank_y, std::vector<int>& order);
