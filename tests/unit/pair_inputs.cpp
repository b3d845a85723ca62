#include "pair_inputs.h"

#include <cmath>

#include "stats/weights.h"

ints random_ranks(std::mt19937& rng, int n, int spread) {
    ints r;
    for (int i = 0; i < n; ++i) r.push_back(1 + static_cast<int>(rng() % spread));
    return r;
}

pair_layout random_layout(std::mt19937& rng, int n) {
    int spread = 1 + static_cast<int>(rng() % n);
    pair_layout layout;
    make_pair_layout(random_ranks(rng, n, spread), random_ranks(rng, n, spread), layout);
    return layout;
}

doubles rank_made_weights(std::mt19937& rng, int n) {
    double pp = 0.8 - (rng() % 5) * 0.15;
    doubles scores;
    for (int i = 0; i < n; ++i) scores.push_back(static_cast<double>(rng() % (2 * n + 1)) - n);
    doubles w;
    cal_weights(scores, -0.6931471805599453 / std::log(pp), w);
    if (rng() % 2) {
        doubles other, merged;
        for (double& s : scores) s = static_cast<double>(rng() % 97);
        cal_weights(scores, -0.6931471805599453 / std::log(pp), other);
        merge_weights(w, other, merged);
        return merged;
    }
    return w;
}

doubles adversarial_weights(std::mt19937& rng, int n) {
    doubles w;
    std::uniform_real_distribution<double> unit(0, 1);
    int kind = static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
        double u = unit(rng);
        switch (kind) {
        case 0: w.push_back(std::ldexp(u + 0.5, -static_cast<int>(rng() % 60))); break;  // wide spread
        case 1: w.push_back(i == 0 ? 1e-30 : u); break;                                 // one tiny weight
        case 2: w.push_back(u * 1e20); break;                                           // big weights
        case 3: w.push_back(i % 7 == 0 ? 0.0 : u); break;                                // zeros
        case 4: w.push_back(i % 5 == 0 ? -u : u); break;                                // negative weights
        default: w.push_back(i == 1 ? (rng() % 2 ? NAN : INFINITY) : u); break;        // NaN, inf
        }
    }
    return w;
}

doubles coarse_weights(std::mt19937& rng, int n) {
    doubles w;
    for (int i = 0; i < n; ++i) w.push_back(std::ldexp(1 + static_cast<double>(rng() % 8), -static_cast<int>(rng() % 40)));
    return w;
}

// A weight of (1 + u) 2^-e, e uniform in [low, high].
static double binade_weight(std::mt19937& rng, int low, int high) {
    double u = std::uniform_real_distribution<double>(0, 1)(rng);
    return std::ldexp(1 + u, -(low + static_cast<int>(rng() % (high - low + 1))));
}

doubles tiny_weights(std::mt19937& rng, int n) {
    doubles w;
    int kind = static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
        switch (kind) {
        case 0: w.push_back(binade_weight(rng, 55, 65)); break;  // some products subnormal
        case 1: w.push_back(binade_weight(rng, 62, 75)); break;  // most products subnormal
        case 2:
        case 5: w.push_back(binade_weight(rng, 60, 63)); break;  // products at the edge of the normal range
        case 3: w.push_back(rng() % 4 ? binade_weight(rng, 0, 20) : binade_weight(rng, 120, 140)); break;  // subnormal weights
        case 4: w.push_back(rng() % 2 ? binade_weight(rng, 0, 4) : binade_weight(rng, 60, 70)); break;  // big sums, tiny terms
        }
    }
    if (n >= 2 && kind == 2) {
        // The smallest product is exactly the smallest normal float.
        w[0] = w[n - 1] = 0x1p-63;
    }
    if (n >= 2 && kind == 5) {
        // 2^-63 (1 - 2^-24) 2^-63 lies halfway between two subnormals and
        // rounds up to the smallest normal float: a float product that is
        // normal although the exact one is not.
        w[0] = 0x1p-63;
        w[n - 1] = 0x1.fffffep-64;
    }
    return w;
}

floats in_pair_order(const doubles& w, const pair_layout& layout) {
    floats f;
    for (int k : layout.order) f.push_back(static_cast<float>(w[k]));
    return f;
}
