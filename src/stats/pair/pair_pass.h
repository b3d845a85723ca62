#pragma once
#include <vector>

// The elements of one test in pair order (ascending x rank, then y rank),
// with, for each, the first position of its run of equal x ranks.
struct pair_layout {
    std::vector<int> order;
    std::vector<int> x;
    std::vector<int> y;
    std::vector<int> tie_start;
};

void make_pair_layout(const std::vector<int>& rank_x, const std::vector<int>& rank_y, pair_layout& layout);
// The same where layout.order already holds the pair order (keyed_pair_order).
void layout_in_order(const std::vector<int>& rank_x, const std::vector<int>& rank_y, pair_layout& layout);

// W (sum of pair weights) and T (signed sum) of the weighted tau for each of
// several weight vectors over the same elements, each bit-identical to the
// straightforward pass over all pairs in pair order.
void pair_sums(const pair_layout& layout, const std::vector<const std::vector<double>*>& weights,
               std::vector<long double>& w_sums, std::vector<long double>& t_sums);

// The vector instructions the exact paths use: the best this processor has,
// or, for tests and benchmarks, a path forced as on a processor whose best it
// is (the row-by-row pass then runs only on path_avx512).
enum pair_path { path_sse2, path_avx2, path_avx512 };
bool pair_path_supported(pair_path path);
pair_path best_pair_path();
void pair_sums(pair_path path, const pair_layout& layout, const std::vector<const std::vector<double>*>& weights,
               std::vector<long double>& w_sums, std::vector<long double>& t_sums);
