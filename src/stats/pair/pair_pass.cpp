// pair_sums: which pass adds the pairs of each weight vector. Every pass gives
// the sums of the straightforward pass bit for bit; they differ in speed and
// in what they can prove. The weights are rounded to floats in pair order,
// and the first row whose condition holds takes the vector:
//
//   condition on the floats f                pass (file)                  why
//   exact_shift(f) >= 0                      exact_pair_sums on `path`    all adds provably exact: whole
//                                            (pair_exact.cpp)             numbers in SIMD lanes, any order
//   !finite_products(f)                      literal_pair_sums            inf * 0 is NaN: no term of T
//                                            (pair_sequential.cpp)        may be skipped
//   path is avx512 and rowwise_applies(f)    rowwise_pair_sums            rows that stay in one binade add
//                                            (pair_rowwise.cpp)           at once, the rest term by term
//   otherwise                                sequential_pair_sums2        the straightforward adds in order,
//                                            (pair_sequential.cpp)        two vectors per loop
//
// An odd last sequential vector takes one or two exact vectors along in its
// loop (sequential_with_exact_pair_sums): its adds wait on each other, and
// the exact work fills those waits.
#include "stats/pair/pair_pass_internal.h"

void pair_sums(pair_path path, const pair_layout& l, const std::vector<const std::vector<double>*>& weights,
               std::vector<long double>& w_sums, std::vector<long double>& t_sums) {
    std::size_t m = weights.size(), n = l.order.size();
    w_sums.assign(m, 0);
    t_sums.assign(m, 0);
    if (n < 2) return;
    std::vector<std::vector<float>> f(m);
    std::vector<int> shift(m);
    std::vector<std::size_t> exact, chains;
    for (std::size_t v = 0; v < m; ++v) {
        f[v].resize(n);
        for (std::size_t k = 0; k < n; ++k) f[v][k] = static_cast<float>((*weights[v])[l.order[k]]);
        shift[v] = exact_shift(f[v]);
        if (shift[v] >= 0)
            exact.push_back(v);
        else if (!finite_products(f[v]))
            literal_pair_sums(f[v], l, w_sums[v], t_sums[v]);
        else if (path == path_avx512 && rowwise_applies(f[v]))
            rowwise_pair_sums(f[v], l, w_sums[v], t_sums[v]);
        else
            chains.push_back(v);
    }
    std::size_t k = 0;
    for (; k + 1 < chains.size(); k += 2) {
        std::size_t a = chains[k], b = chains[k + 1];
        sequential_pair_sums2(f[a], f[b], l, w_sums[a], t_sums[a], w_sums[b], t_sums[b]);
    }
    if (k < chains.size() && !exact.empty()) {
        // One or two exact passes ride along with the last chain; with one,
        // it is passed twice and its second totals are dropped.
        std::size_t a = chains[k], b = exact.back();
        exact.pop_back();
        std::size_t c = exact.empty() ? b : exact.back();
        if (c != b) exact.pop_back();
        long double wc, tc;
        sequential_with_exact_pair_sums(f[a], f[b], f[c], l, shift[b], shift[c], w_sums[a], t_sums[a], w_sums[b],
                                        t_sums[b], wc, tc);
        w_sums[c] = wc;
        t_sums[c] = tc;
    } else if (k < chains.size()) {
        sequential_pair_sums(f[chains[k]], l, w_sums[chains[k]], t_sums[chains[k]]);
    }
    for (std::size_t v : exact) exact_pair_sums(path, f[v], l, shift[v], w_sums[v], t_sums[v]);
}

void pair_sums(const pair_layout& l, const std::vector<const std::vector<double>*>& weights,
               std::vector<long double>& w_sums, std::vector<long double>& t_sums) {
    pair_sums(best_pair_path(), l, weights, w_sums, t_sums);
}
