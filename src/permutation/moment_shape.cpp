#include "permutation/moment_shape.h"

#include <algorithm>
#include <array>
#include <map>

// Why the fourth moment is a sum of a few dozen ordered power sums.
//
// E[N^q] sums, over q-tuples of pairs i_k < j_k, the product of
// c_i_k c_j_k times E[prod_k sgn(U_i_k - U_j_k)]. Give a tuple's distinct
// indices x_1 < ... < x_m the labels 1 .. m: the pairs become a pattern of
// label pairs, the expectation depends on the pattern alone (the U are
// exchangeable), and the product of c is prod_r c_x_r ^ d_r with d_r the
// number of pairs that touch label r. So
//   E[N^q] = sum over patterns P of E_P * O_d(P),
//   O_d = sum over x_1 < ... < x_m of prod_r c_x_r ^ d_r,
// and the patterns of one degree tuple d add up to one constant K_q(d):
// derive_terms finds them once per process (for q = 4, 78 tuples of at most
// six labels), ordered_sums walks the genes once for all the O_d.
//
// E_P: a pair given twice gives sgn^2 = 1 and drops out; a pair whose labels
// touch no other pair is independent of the rest with mean 0, so the pattern
// gives 0; else E_P is the mean of the signs over the orderings of the labels
// left (edge_mean). Every component of a pattern that gives more than 0 has
// at least two pairs and so at most one label more than it has pairs: m is at
// most 3q / 2, which bounds the search.

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

std::vector<shape_term> derive_terms(int q) {
    std::map<std::vector<int>, double> sums;
    std::map<std::vector<label_pair>, double> known;
    for (int m = 2; m <= 3 * q / 2; ++m) {
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
            if (std::find(degrees.begin(), degrees.end(), 0) == degrees.end()) {
                double e = edge_mean(pairs, known);
                if (e != 0) sums[degrees] += e;
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

// The degree tuples of both moments as a tree of prefixes: node k extends
// node parent[k] by one label of degree power[k]; its sum O_d over the genes
// so far grows, at each gene x, by its parent's sum before x times c_x^power.
struct prefix_tree {
    std::vector<int> parent, power;
    std::vector<std::pair<int, double>> second, fourth;  // (node, K(d))
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

// Children come after their parents, so a walk from the last node to the
// first reads every parent before it takes the current gene.
const prefix_tree& moment_tree() {
    static const prefix_tree tree = [] {
        prefix_tree t;
        t.parent.push_back(-1);
        t.power.push_back(0);
        for (const shape_term& s : derive_terms(2)) t.second.emplace_back(node_of(t, s.degrees), s.weight);
        for (const shape_term& s : derive_terms(4)) t.fourth.emplace_back(node_of(t, s.degrees), s.weight);
        return t;
    }();
    return tree;
}

}  // namespace

void numerator_power_moments(const std::vector<double>& c, long double& second, long double& fourth) {
    const prefix_tree& t = moment_tree();
    std::vector<long double> sum(t.parent.size(), 0.0L);
    sum[0] = 1;
    for (double x : c) {
        long double power[5] = {1, x, static_cast<long double>(x) * x, 0, 0};
        power[3] = power[2] * x;
        power[4] = power[2] * power[2];
        for (std::size_t k = t.parent.size() - 1; k > 0; --k) sum[k] += sum[t.parent[k]] * power[t.power[k]];
    }
    second = fourth = 0;
    for (const auto& term : t.second) second += term.second * sum[term.first];
    for (const auto& term : t.fourth) fourth += term.second * sum[term.first];
}

tail_shape one_sided_shape(const std::vector<double>& c) {
    tail_shape s;
    long double second, fourth, total = 0, squares = 0;
    numerator_power_moments(c, second, fourth);
    if (!(second > 0)) return s;
    for (double x : c) total += x, squares += static_cast<long double>(x) * x;
    s.variance = static_cast<double>(second);
    s.excess = static_cast<double>(fourth / (second * second) - 3);
    s.bound = static_cast<double>((total * total - squares) / 2 / std::sqrt(second));
    return s;
}

// The regularized incomplete beta by its continued fraction (modified
// Lentz), which converges fast for x below the mean, here 1/2.
double symmetric_beta_lower(double a, double x) {
    if (!(x > 0)) return 0.0;
    const double tiny = 1e-300;
    double lead = a * std::log(x * (1 - x)) + std::lgamma(2 * a) - 2 * std::lgamma(a) - std::log(a);
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
