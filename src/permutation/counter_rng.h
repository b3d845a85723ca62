#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Random permutations that depend only on the seed, the set and the
// permutation's number: permutation t of set S is the same whichever thread
// draws it, in whatever order, and whatever other sets the file holds.
//
// The generator is a counter-based splitmix64: the stream of permutation t
// starts from mix(key(seed, S) + t * 2^64 / phi) and steps by the same odd
// constant; every draw is mix(state). splitmix64's mix is a bijection of
// 64-bit words with full avalanche, so nearby counters give unrelated draws.

std::uint64_t mix64(std::uint64_t z);

// The key of one set: the seed and the bytes of the set's name (FNV-1a), mixed.
std::uint64_t set_key(std::uint64_t seed, const std::string& name);

struct draw_stream {
    std::uint64_t state;
    std::uint64_t next();
    // Uniform on 0 .. bound - 1, without modulo bias (Lemire's method).
    std::uint32_t below(std::uint32_t bound);
};

draw_stream permutation_stream(std::uint64_t key, std::uint64_t index);

// A uniformly random order of 0 .. n - 1 (Fisher-Yates), into `order`.
void random_order(draw_stream& s, std::vector<int>& order);
