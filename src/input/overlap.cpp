#include "input/overlap.h"

void make_list_index(const score_matrix& matrix, list_index& index) {
    index.rows.clear();
    index.rows.reserve(matrix.genes.size());
    for (std::size_t g = 0; g < matrix.genes.size(); ++g) index.rows.emplace(matrix.genes[g], static_cast<std::uint32_t>(g));
    index.matrix = &matrix;
}

void set_rows(const gene_table& set, const list_index& list, std::vector<std::uint32_t>& rows) {
    rows.clear();
    for (const auto& g : set) {
        auto row = list.rows.find(g.first);
        rows.push_back(row == list.rows.end() ? no_row : row->second);
    }
}

void overlap_rows(const gene_table& set, const std::vector<std::uint32_t>& rows, const score_matrix& m,
                  std::size_t ranking, std::vector<std::string>& genes, std::vector<double>& vec_x,
                  std::vector<double>& vec_y) {
    genes.clear();
    vec_x.clear();
    vec_y.clear();
    std::size_t column = ranking * m.genes.size(), k = 0;
    for (const auto& g : set) {
        std::uint32_t row = rows[k++];
        if (row == no_row) continue;
        std::size_t at = column + row;
        if (!m.present[at]) continue;
        genes.push_back(g.first);
        vec_x.push_back(g.second);
        vec_y.push_back(m.values[at]);
    }
}

void overlap_set(const gene_table& set, const list_index& list, std::size_t ranking, std::vector<std::string>& genes,
                 std::vector<double>& vec_x, std::vector<double>& vec_y) {
    std::vector<std::uint32_t> rows;
    set_rows(set, list, rows);
    overlap_rows(set, rows, *list.matrix, ranking, genes, vec_x, vec_y);
}
