// The cost of one permutation of the permutation test: a random ordering and
// the null statistic, at one PP value and at the five of -p.
#include <benchmark/benchmark.h>

#include <random>

#include "config/run_options.h"
#include "permutation/counter_rng.h"
#include "permutation/null_statistic.h"
#include "stats/tau_analysis.h"

static void permutation(benchmark::State& state, int pp_count) {
    int n = static_cast<int>(state.range(0));
    std::mt19937 rng(1);
    std::vector<double> x, y, pps;
    for (int i = 0; i < n; ++i) {
        x.push_back(10 + static_cast<int>(rng() % 1000) / 10.0);
        y.push_back(static_cast<int>(rng() % 8001) / 1000.0 - 4);
    }
    for (int j = 0; j < pp_count; ++j) pps.push_back(pp_count == 1 ? 0.5 : 0.8 - j * 0.15);
    set_ranks r;
    prepare_ranks(x, y, weighting::both, r);
    null_model m;
    make_null_model(r, pps, weighting::both, m);
    null_scratch s;
    std::vector<int> order(n);
    std::uint64_t key = set_key(1, "SET"), t = 0;
    for (auto _ : state) {
        draw_stream d = permutation_stream(key, t++);
        random_order(d, order);
        benchmark::DoNotOptimize(null_statistic(m, order, s));
    }
}

BENCHMARK_CAPTURE(permutation, pp0.5, 1)->Arg(50)->Arg(200)->Arg(1000);
BENCHMARK_CAPTURE(permutation, five, 5)->Arg(50)->Arg(200)->Arg(1000);
BENCHMARK_MAIN();
