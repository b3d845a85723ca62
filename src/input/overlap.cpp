#include "input/overlap.h"

void make_list_index(const score_matrix& matrix, list_index& index) {
    index.rows.clear();
    index.rows.reserve(matrix.genes.size());
    for (std::size_t g = 0; g < matrix.genes.size(); ++g) index.rows.emplace(matrix.genes[g], static_cast<std::uint32_t>(g));
    index.matrix = &matrix;
}

void overlap_set(const gene_table& set, const list_index& list, std::size_t ranking, std::vector<std::string>& genes,
                 std::vector<double>& vec_x, std::vector<double>& vec_y) {
    genes.clear();
    vec_x.clear();
    vec_y.clear();
    const score_matrix& m = *list.matrix;
    std::size_t width = m.names.size();
    for (const auto& g : set) {
        auto row = list.rows.find(g.first);
        if (row == list.rows.end()) continue;
        std::size_t at = row->second * width + ranking;
        if (!m.present[at]) continue;
        genes.push_back(g.first);
        vec_x.push_back(g.second);
        vec_y.push_back(m.values[at]);
    }
}
