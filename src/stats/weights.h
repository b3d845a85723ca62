#pragma once
#include <vector>

// The weight curve (1 - x^power)^(1/power), falling from 1 at x = 0 to 0 at x = 1.
double weigher(double x, double power);

// The power of the curve at a PP value: -ln 2 / ln(PP), so that the middle
// rank weighs PP.
double pp_power(double pp);

void abs_vec(const std::vector<double>& scores, std::vector<double>& magnitudes);

// Weights from the descending ranks of the magnitudes: the largest magnitude
// weighs most, equal magnitudes weigh the same. The run makes the same weights
// with rank_weights, from ranks it shares across PP values (tau_tests).
void cal_weights(const std::vector<double>& scores, double power, std::vector<double>& weights);

// As cal_weights, and the descending ranks of the signed scores (the run:
// rank_weights and vec_rank_rev, in prepare_ranks and tau_tests).
void cal_weight_ranks(const std::vector<double>& scores, double power, std::vector<double>& weights,
                      std::vector<int>& ranks);

// Element-wise geometric mean.
void merge_weights(const std::vector<double>& first, const std::vector<double>& second,
                   std::vector<double>& merged);

// Mean weight over root-mean-square weight.
double calculate_limit(const std::vector<double>& weights);

// The weights of magnitude ranks r (1..n) among n: weigher((r - 0.5) / n, power).
// Each distinct rank's weight is computed once.
void rank_weights(const std::vector<int>& magnitude_ranks, double power, std::vector<double>& weights);
// The same, keeping the weight of each rank in by_rank (NaN where not yet
// known) for further vectors of the same length and power.
void rank_weights(const std::vector<int>& magnitude_ranks, double power, std::vector<double>& by_rank,
                  std::vector<double>& weights);

// The weights of every rank 1..n among n at a power, as rank_weights makes
// them, in table[1..n] (table[0] NaN).
void fill_rank_table(std::size_t n, double power, std::vector<double>& table);

// merge_weights of the two sides' rank weights, read from a filled table in
// one loop: the same products and powers, without the two vectors between.
// For rank vectors of equal length n, with ranks in 1..n.
void merged_rank_weights(const std::vector<int>& ranks_x, const std::vector<int>& ranks_y,
                         const std::vector<double>& table, std::vector<double>& weights);

// The weights of magnitude ranks (1..n) read from a filled table of n.
void table_rank_weights(const std::vector<int>& magnitude_ranks, const std::vector<double>& table,
                        std::vector<double>& weights);
