#include "input/name_numbers.h"

#include <functional>

static void grow(name_numbers& t) {
    std::vector<std::uint64_t> old(t.slots.empty() ? 1024 : 2 * t.slots.size(), 0);
    old.swap(t.slots);
    std::size_t mask = t.slots.size() - 1;
    for (std::uint64_t slot : old) {
        if (slot == 0) continue;
        std::size_t at = (slot >> 32) & mask;
        while (t.slots[at] != 0) at = (at + 1) & mask;
        t.slots[at] = slot;
    }
}

std::uint32_t number_of(name_numbers& t, std::string_view name) {
    // Kept at most half full, so that probes stay short.
    if (2 * (t.names.size() + 1) > t.slots.size()) grow(t);
    std::uint64_t hash = std::hash<std::string_view>()(name) >> 32;
    std::size_t mask = t.slots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        std::uint64_t slot = t.slots[at];
        if (slot == 0) {
            t.names.push_back(name);
            t.slots[at] = hash << 32 | t.names.size();
            return static_cast<std::uint32_t>(t.names.size() - 1);
        }
        if (slot >> 32 == hash && t.names[(slot & 0xffffffffu) - 1] == name)
            return static_cast<std::uint32_t>((slot & 0xffffffffu) - 1);
    }
}
