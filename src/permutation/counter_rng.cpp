#include "permutation/counter_rng.h"

#include <numeric>
#include <utility>

static const std::uint64_t golden = 0x9e3779b97f4a7c15ull;

std::uint64_t mix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

std::uint64_t set_key(std::uint64_t seed, const std::string& name) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : name) h = (h ^ c) * 0x100000001b3ull;
    return mix64(mix64(seed) ^ h);
}

std::uint64_t draw_stream::next() {
    state += golden;
    return mix64(state);
}

std::uint32_t draw_stream::below(std::uint32_t bound) {
    std::uint64_t m = static_cast<std::uint64_t>(static_cast<std::uint32_t>(next() >> 32)) * bound;
    if (static_cast<std::uint32_t>(m) < bound) {
        std::uint32_t floor = static_cast<std::uint32_t>(-bound) % bound;
        while (static_cast<std::uint32_t>(m) < floor)
            m = static_cast<std::uint64_t>(static_cast<std::uint32_t>(next() >> 32)) * bound;
    }
    return static_cast<std::uint32_t>(m >> 32);
}

draw_stream permutation_stream(std::uint64_t key, std::uint64_t index) {
    return draw_stream{mix64(key + index * golden)};
}

void random_order(draw_stream& s, std::vector<int>& order) {
    std::iota(order.begin(), order.end(), 0);
    for (std::size_t k = order.size(); k > 1; --k) std::swap(order[k - 1], order[s.below(static_cast<std::uint32_t>(k))]);
}
