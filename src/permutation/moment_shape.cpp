#include "permutation/moment_shape.h"

#include <algorithm>
#include <array>
#include <map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Why the fourth cumulant is a sum of a few dozen ordered power sums.
//
// E[N^2] sums, over pairs of index pairs i_k < j_k, the product of
// c_i_k c_j_k times E[prod_k sgn(U_i_k - U_j_k)]; the fourth cumulant sums,
// over four index pairs, the product of c times the joint cumulant of the
// four signs, E[h1 h2 h3 h4] - E[h1 h2] E[h3 h4] - E[h1 h3] E[h2 h4] -
// E[h1 h4] E[h2 h3] (every mean being 0). Give a tuple's distinct indices
// x_1 < ... < x_m the labels 1 .. m: the pairs become a pattern of label
// pairs, the expectations depend on the pattern alone (the U are
// exchangeable), and the product of c is prod_r c_x_r ^ d_r with d_r the
// number of pairs that touch label r. So each sum is
//   sum over patterns P of k_P * O_d(P),
//   O_d = sum over x_1 < ... < x_m of prod_r c_x_r ^ d_r,
// and the patterns of one degree tuple d add up to one constant K(d):
// derive_terms finds them once per process (65 tuples for the cumulant),
// numerator_cumulants walks the genes once for all the O_d.
//
// The joint cumulant of signs that fall apart into two groups without a
// shared label is 0 (the groups are independent), so only connected patterns
// count: four pairs then touch at most five labels, two pairs at most three,
// which bounds the search. Summing cumulants, not moments, also keeps the
// sum free of the cancellation of E[N^4] against 3 E[N^2]^2.
//
// E over a pattern: a pair given twice gives sgn^2 = 1 and drops out; a pair
// whose labels touch no other pair is independent of the rest with mean 0,
// so the pattern gives 0; else it is the mean of the signs over the
// orderings of the labels left (edge_mean).

namespace {

struct shape_term {
    std::vector<int> degrees;
    double weight;
};

using label_pair = std::array<int, 2>;

// E[prod sgn(U_a - U_b)] over the pairs left after those given twice cancel.
double edge_mean(std::vector<label_pair> pairs, std::map<std::vector<label_pair>, double>& known) {
    std::sort(pairs.begin(), pairs.end());
    std::vector<label_pair> odd;
    for (std::size_t k = 0; k < pairs.size();) {
        std::size_t same = k;
        while (same < pairs.size() && pairs[same] == pairs[k]) ++same;
        if ((same - k) % 2) odd.push_back(pairs[k]);
        k = same;
    }
    if (odd.empty()) return 1.0;
    std::map<int, int> degree;
    for (const label_pair& p : odd) ++degree[p[0]], ++degree[p[1]];
    for (const label_pair& p : odd)
        if (degree[p[0]] == 1 && degree[p[1]] == 1) return 0.0;
    auto found = known.find(odd);
    if (found != known.end()) return found->second;
    std::vector<int> labels, place;
    for (const auto& d : degree) labels.push_back(d.first);
    for (std::size_t k = 0; k < labels.size(); ++k) place.push_back(static_cast<int>(k));
    std::map<int, int> index;
    for (std::size_t k = 0; k < labels.size(); ++k) index[labels[k]] = static_cast<int>(k);
    long total = 0, orderings = 0;
    do {
        int sign = 1;
        for (const label_pair& p : odd)
            if (place[index[p[0]]] < place[index[p[1]]]) sign = -sign;
        total += sign;
        ++orderings;
    } while (std::next_permutation(place.begin(), place.end()));
    double mean = static_cast<double>(total) / static_cast<double>(orderings);
    known[odd] = mean;
    return mean;
}

bool connected(const std::vector<label_pair>& pairs, int m) {
    std::vector<int> group(m);
    for (int k = 0; k < m; ++k) group[k] = k;
    auto root = [&](int k) {
        while (group[k] != k) k = group[k];
        return k;
    };
    for (const label_pair& p : pairs) group[root(p[0])] = root(p[1]);
    for (int k = 0; k < m; ++k)
        if (root(k) != root(0)) return false;
    return true;
}

// The joint cumulant of the signs of two or four pairs.
double sign_cumulant(const std::vector<label_pair>& pairs, std::map<std::vector<label_pair>, double>& known) {
    if (pairs.size() == 2) return edge_mean(pairs, known);
    auto mean = [&](int a, int b) { return edge_mean({pairs[a], pairs[b]}, known); };
    return edge_mean(pairs, known) - mean(0, 1) * mean(2, 3) - mean(0, 2) * mean(1, 3) - mean(0, 3) * mean(1, 2);
}

std::vector<shape_term> derive_terms(int q) {
    std::map<std::vector<int>, double> sums;
    std::map<std::vector<label_pair>, double> known;
    for (int m = 2; m <= q + 1; ++m) {
        std::vector<label_pair> choices;
        for (int a = 0; a < m; ++a)
            for (int b = a + 1; b < m; ++b) choices.push_back({a, b});
        std::vector<std::size_t> pick(q, 0);
        for (;;) {
            std::vector<label_pair> pairs;
            std::vector<int> degrees(m, 0);
            for (std::size_t k : pick) {
                pairs.push_back(choices[k]);
                ++degrees[choices[k][0]];
                ++degrees[choices[k][1]];
            }
            if (std::find(degrees.begin(), degrees.end(), 0) == degrees.end() && connected(pairs, m)) {
                double k = sign_cumulant(pairs, known);
                if (k != 0) sums[degrees] += k;
            }
            int k = 0;
            while (k < q && ++pick[k] == choices.size()) pick[k++] = 0;
            if (k == q) break;
        }
    }
    std::vector<shape_term> terms;
    for (const auto& s : sums)
        if (s.second != 0) terms.push_back({s.first, s.second});
    return terms;
}

// The degree tuples of both cumulants as a tree of prefixes: node k extends
// node parent[k] by one label of degree power[k]; its sum O_d over the genes
// so far grows, at each gene x, by its parent's sum before x times c_x^power.
// The sums live in slots: the root's (1) in slot 0, and the children of each
// node in a block of four, one per power (a power no tuple takes is a slot
// that nothing reads), so that a gene adds a node's sum times (c, c^2, c^3,
// c^4) to its block in one stroke. Blocks of deeper nodes come first: a node
// lends its sum to its children before its own parent adds to it.
struct prefix_tree {
    std::vector<int> parent, power;
    std::vector<std::pair<int, int>> blocks;             // (slot of a node, first slot of its children)
    std::vector<std::pair<int, double>> second, fourth;  // (slot of a tuple, K(d))
    std::size_t slots = 1;
};

int node_of(prefix_tree& t, const std::vector<int>& degrees) {
    int node = 0;
    for (int d : degrees) {
        int next = -1;
        for (std::size_t k = 1; k < t.parent.size(); ++k)
            if (t.parent[k] == node && t.power[k] == d) next = static_cast<int>(k);
        if (next < 0) {
            t.parent.push_back(node);
            t.power.push_back(d);
            next = static_cast<int>(t.parent.size()) - 1;
        }
        node = next;
    }
    return node;
}

// Children come after their parents in the node numbers.
void place_slots(prefix_tree& t) {
    std::size_t nodes = t.parent.size();
    std::vector<int> depth(nodes, 0), first(nodes, -1), slot(nodes, 0), order;
    for (std::size_t k = 1; k < nodes; ++k) {
        depth[k] = depth[t.parent[k]] + 1;
        if (first[t.parent[k]] < 0) {
            first[t.parent[k]] = static_cast<int>(t.slots);
            t.slots += 4;
            order.push_back(t.parent[k]);
        }
    }
    for (std::size_t k = 1; k < nodes; ++k) slot[k] = first[t.parent[k]] + t.power[k] - 1;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return depth[a] > depth[b]; });
    for (int k : order) t.blocks.emplace_back(slot[k], first[k]);
    for (auto* terms : {&t.second, &t.fourth})
        for (auto& term : *terms) term.first = slot[term.first];
}

const prefix_tree& moment_tree() {
    static const prefix_tree tree = [] {
        prefix_tree t;
        t.parent.push_back(-1);
        t.power.push_back(0);
        for (const shape_term& s : derive_terms(2)) t.second.emplace_back(node_of(t, s.degrees), s.weight);
        for (const shape_term& s : derive_terms(4)) t.fourth.emplace_back(node_of(t, s.degrees), s.weight);
        place_slots(t);
        return t;
    }();
    return tree;
}

}  // namespace

void numerator_cumulants(const std::vector<double>& c, double& second, double& fourth) {
    const prefix_tree& t = moment_tree();
    std::vector<double> sum(t.slots, 0.0);
    sum[0] = 1;
    for (double x : c) {
#if defined(__SSE2__)
        // Two lanes at a time, each the product then the sum as below.
        const __m128d low = _mm_set_pd(x * x, x), high = _mm_set_pd(x * x * x * x, x * x * x);
        for (const auto& block : t.blocks) {
            __m128d from = _mm_set1_pd(sum[block.first]);
            double* to = &sum[block.second];
            _mm_storeu_pd(to, _mm_add_pd(_mm_loadu_pd(to), _mm_mul_pd(from, low)));
            _mm_storeu_pd(to + 2, _mm_add_pd(_mm_loadu_pd(to + 2), _mm_mul_pd(from, high)));
        }
#else
        const double power[4] = {x, x * x, x * x * x, x * x * x * x};
        for (const auto& block : t.blocks) {
            double from = sum[block.first];
            double* to = &sum[block.second];
            for (int e = 0; e < 4; ++e) to[e] += from * power[e];
        }
#endif
    }
    second = fourth = 0;
    for (const auto& term : t.second) second += term.second * sum[term.first];
    for (const auto& term : t.fourth) fourth += term.second * sum[term.first];
}

tail_shape one_sided_shape(const std::vector<double>& c) {
    tail_shape s;
    double second, fourth, total = 0, squares = 0;
    numerator_cumulants(c, second, fourth);
    if (!(second > 0)) return s;
    for (double x : c) total += x, squares += x * x;
    s.variance = second;
    s.excess = fourth / (second * second);
    s.bound = (total * total - squares) / 2 / std::sqrt(second);
    return s;
}

double log_gamma(double x) {
    int sign;
    return lgamma_r(x, &sign);
}

// The regularized incomplete beta by its continued fraction (modified
// Lentz), which converges fast for x below the mean, here 1/2.
double symmetric_beta_lower(double a, double x) {
    if (!(x > 0)) return 0.0;
    const double tiny = 1e-300;
    double lead = a * std::log(x * (1 - x)) + log_gamma(2 * a) - 2 * log_gamma(a) - std::log(a);
    double c = 1, d = 1 - 2 * a * x / (a + 1);
    if (std::fabs(d) < tiny) d = tiny;
    d = 1 / d;
    double f = d;
    for (int m = 1; m < 100000; ++m) {
        double step[2] = {m * (a - m) * x / ((a + 2 * m - 1) * (a + 2 * m)),
                          -(a + m) * (2 * a + m) * x / ((a + 2 * m) * (a + 2 * m + 1))};
        double change = 1;
        for (double s : step) {
            d = 1 + s * d;
            c = 1 + s / c;
            if (std::fabs(d) < tiny) d = tiny;
            if (std::fabs(c) < tiny) c = tiny;
            d = 1 / d;
            change = d * c;
            f *= change;
        }
        if (std::fabs(change - 1) < 1e-15) break;
    }
    return std::exp(lead) * f;
}

// A symmetric beta on [-w, w] has variance w^2 / (2a + 1) and excess
// kurtosis -6 / (2a + 3): with variance 1, a from the kurtosis, widened to
// the bound where the kurtosis alone would cut the tail short of what the
// orderings reach.
double shaped_tail(double z, const tail_shape& s) {
    double normal = std::erfc(z / 1.4142135623730951);
    if (!(s.excess < 0) || !(z > 0)) return normal;
    double a = std::max((-6 / s.excess - 3) / 2, (s.bound * s.bound - 1) / 2);
    if (!(a > 0) || !std::isfinite(a)) return normal;
    double w = std::sqrt(2 * a + 1);
    if (z >= w) return 0.0;
    return std::min(1.0, 2 * symmetric_beta_lower(a, (1 - z / w) / 2));
}
