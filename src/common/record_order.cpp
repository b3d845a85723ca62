#include "common/record_order.h"

#include <utility>

void apply_order(std::vector<struct fstat>::iterator first, std::vector<std::size_t>& order) {
    const std::size_t done = order.size();
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start] == done || order[start] == start) continue;
        struct fstat held = std::move(first[start]);
        std::size_t at = start;
        while (order[at] != start) {
            std::size_t from = order[at];
            first[at] = std::move(first[from]);
            order[at] = done;
            at = from;
        }
        first[at] = std::move(held);
        order[at] = done;
    }
}
