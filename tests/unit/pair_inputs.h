#pragma once
// Inputs for the pair-pass tests: ranks, and weights as the program makes
// them or chosen to probe the exactness conditions of the fast passes.
#include <random>
#include <vector>

#include "stats/pair/pair_pass_internal.h"

using doubles = std::vector<double>;
using ints = std::vector<int>;
using floats = std::vector<float>;

ints random_ranks(std::mt19937& rng, int n, int spread);
// A layout of n elements over random ranks with ties.
pair_layout random_layout(std::mt19937& rng, int n);
// From magnitude ranks at one of the five PP values.
doubles rank_made_weights(std::mt19937& rng, int n);
// Spread wide, tiny, huge, zero, negative, NaN or infinite.
doubles adversarial_weights(std::mt19937& rng, int n);
// Few significant bits, so that many products fall exactly halfway between
// the multiples the row method adds.
doubles coarse_weights(std::mt19937& rng, int n);
// Products in, at the edge of, or below the subnormal range of floats.
doubles tiny_weights(std::mt19937& rng, int n);
// Weights rounded to floats in pair order, as the passes take them.
floats in_pair_order(const doubles& w, const pair_layout& layout);
