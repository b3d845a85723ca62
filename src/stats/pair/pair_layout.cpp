// The pair order every pass walks: ascending x rank, then y rank.
#include "stats/pair/pair_pass.h"

#include "stats/ranks.h"

void make_pair_layout(const std::vector<int>& rank_x, const std::vector<int>& rank_y, pair_layout& layout) {
    bubble_lexsort(rank_x, rank_y, layout.order);
    layout_in_order(rank_x, rank_y, layout);
}

void layout_in_order(const std::vector<int>& rank_x, const std::vector<int>& rank_y, pair_layout& layout) {
    std::size_t n = layout.order.size();
    layout.x.resize(n);
    layout.y.resize(n);
    layout.tie_start.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        layout.x[k] = rank_x[layout.order[k]];
        layout.y[k] = rank_y[layout.order[k]];
        bool same = k > 0 && layout.x[k] == layout.x[k - 1];
        layout.tie_start[k] = same ? layout.tie_start[k - 1] : static_cast<int>(k);
    }
}
