#pragma once
// Straightforward versions of the statistics, written as the definitions read:
// the quadratic exchange sorts and the pair pass over all pairs in pair order.
// The fast versions in the library are checked against these.
#include <vector>

namespace reference {

void bubble_asort_rev(const std::vector<double>& values, std::vector<int>& order);
void vec_rank_rev(const std::vector<double>& values, std::vector<int>& ranks);
void bubble_lexsort(const std::vector<int>& first, const std::vector<int>& second, std::vector<int>& order);
void cal_weights(const std::vector<double>& scores, double power, std::vector<double>& weights);
// W and T of the pair pass over every pair, through a pair order made beforehand.
void pair_sums(const std::vector<int>& x, const std::vector<int>& y, const std::vector<double>& weights,
               const std::vector<int>& order, long double& w_sum, long double& t_sum);
double wtau2(const std::vector<int>& x, const std::vector<int>& y, const std::vector<double>& weights);
// One whole test with the straightforward parts; method is "1", "2" or "3".
void one_tau_analysis(const std::vector<double>& vec_x, const std::vector<double>& vec_y, double pp,
                      const char* method, double& tau, double& estimate, double& p_value, char& cor_dir,
                      std::vector<int>& rank_x, std::vector<int>& rank_y, std::vector<double>& weights);

}  // namespace reference
