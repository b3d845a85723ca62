// The moment p-value of one set against the tau test itself: z from the
// exact permutation moments (moments.h), then the tail of the maximum
// (normal_max.h), beside tau_tests at the same PP values.
#include <benchmark/benchmark.h>

#include <random>

#include "config/run_options.h"
#include "permutation/moments.h"
#include "permutation/normal_max.h"
#include "stats/tau_analysis.h"

static void scores(int n, std::vector<double>& x, std::vector<double>& y) {
    std::mt19937 rng(1);
    x.clear();
    y.clear();
    for (int i = 0; i < n; ++i) {
        x.push_back(10 + static_cast<int>(rng() % 1000) / 10.0);
        y.push_back(static_cast<int>(rng() % 8001) / 1000.0 - 4);
    }
}

static std::vector<double> pps_of(int count) {
    std::vector<double> pps;
    for (int j = 0; j < count; ++j) pps.push_back(count == 1 ? 0.5 : 0.8 - j * 0.15);
    return pps;
}

static void moments_z(benchmark::State& state, int pp_count) {
    std::vector<double> x, y, pps = pps_of(pp_count);
    scores(static_cast<int>(state.range(0)), x, y);
    for (auto _ : state) benchmark::DoNotOptimize(tau_moments(x, y, pps, weighting::both).z);
}

static void moments_p(benchmark::State& state, int pp_count) {
    std::vector<double> x, y, pps = pps_of(pp_count);
    scores(static_cast<int>(state.range(0)), x, y);
    for (auto _ : state) {
        numerator_moments m = tau_moments(x, y, pps, weighting::both);
        benchmark::DoNotOptimize(normal_max_p_value(m.z, m.covariance));
    }
}

// The run's own test: ranks, weights, the pair pass.
static void tau_test_now(benchmark::State& state, int pp_count) {
    std::vector<double> x, y, pps = pps_of(pp_count);
    scores(static_cast<int>(state.range(0)), x, y);
    for (auto _ : state) {
        set_ranks r;
        prepare_ranks(x, y, weighting::both, r);
        std::vector<tau_test> tests;
        std::vector<std::vector<double>> weights;
        tau_tests(r, pps, tests, weights);
        benchmark::DoNotOptimize(tests);
    }
}

BENCHMARK_CAPTURE(moments_z, pp0.5, 1)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(moments_z, five, 5)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(moments_p, pp0.5, 1)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(moments_p, five, 5)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(tau_test_now, pp0.5, 1)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(tau_test_now, five, 5)->Arg(200)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
