#include "input/overlap.h"

void make_list_index(const gene_table& list, list_index& index) {
    index.clear();
    index.reserve(list.size());
    for (const auto& g : list) index.emplace(g.first, g.second);
}

void overlap_set(const gene_table& set, const list_index& list, std::vector<std::string>& genes,
                 std::vector<double>& vec_x, std::vector<double>& vec_y) {
    genes.clear();
    vec_x.clear();
    vec_y.clear();
    for (const auto& g : set) {
        auto l = list.find(g.first);
        if (l == list.end()) continue;
        genes.push_back(g.first);
        vec_x.push_back(g.second);
        vec_y.push_back(l->second);
    }
}
