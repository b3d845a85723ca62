#include "report/rankings.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "stats/ranks.h"

std::vector<int> list_positions(const score_matrix& m, std::size_t ranking, std::size_t& length) {
    std::size_t genes = m.genes.size();
    std::vector<double> values;
    std::vector<std::size_t> rows;
    for (std::size_t g = 0; g < genes; ++g) {
        if (!m.present[ranking * genes + g]) continue;
        values.push_back(m.values[ranking * genes + g]);
        rows.push_back(g);
    }
    std::vector<int> ranks;
    vec_rank_rev(values, ranks);
    std::vector<int> position(genes, 0);
    for (std::size_t k = 0; k < rows.size(); ++k) position[rows[k]] = ranks[k];
    length = rows.size();
    return position;
}

heatmap_layout lay_out_heatmap(const std::vector<struct fstat>& records, std::size_t rankings) {
    heatmap_layout h;
    h.rankings = std::min(rankings, heatmap_max_rankings);
    // Per set: its smallest FDR anywhere, and its records in the columns shown.
    struct seen {
        double best_fdr = 2;
        std::vector<long long> cells;
    };
    std::map<std::string, seen> by_name;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const struct fstat& s = records[k];
        if (!(s.fdr < 0.05) && by_name.find(s.name) == by_name.end()) continue;
        seen& e = by_name[s.name];
        if (s.fdr < e.best_fdr) e.best_fdr = s.fdr;
    }
    // by_name now holds every set significant somewhere (a set is entered at
    // its first significant record; the pass below fills its cells).
    for (auto& [name, e] : by_name) e.cells.assign(h.rankings, -1);
    for (std::size_t k = 0; k < records.size(); ++k) {
        auto it = by_name.find(records[k].name);
        if (it != by_name.end() && records[k].list < h.rankings) it->second.cells[records[k].list] = static_cast<long long>(k);
    }
    h.candidates = by_name.size();
    std::vector<std::map<std::string, seen>::iterator> chosen;
    for (auto it = by_name.begin(); it != by_name.end(); ++it) chosen.push_back(it);
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const auto& a, const auto& b) { return a->second.best_fdr < b->second.best_fdr; });
    if (chosen.size() > heatmap_max_sets) chosen.resize(heatmap_max_sets);
    auto mean = [&](const seen& e) {
        double sum = 0;
        std::size_t n = 0;
        for (long long k : e.cells)
            if (k >= 0 && std::isfinite(records[k].estimate)) sum += records[k].estimate, ++n;
        return n ? sum / n : 0.0;
    };
    std::vector<std::pair<double, std::map<std::string, seen>::iterator>> ordered;
    for (auto it : chosen) ordered.push_back({mean(it->second), it});
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return a.first > b.first || (a.first == b.first && a.second->first < b.second->first);
    });
    for (auto& [m, it] : ordered) {
        h.sets.push_back(it->first);
        h.cells.insert(h.cells.end(), it->second.cells.begin(), it->second.cells.end());
    }
    return h;
}
