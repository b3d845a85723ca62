#include "input/overlap.h"

// The number of the set gene named `name`, or gene_count(sets) when no set
// gene has that name: numbers are in byte order of name.
static std::size_t find_gene(const set_table& sets, std::string_view name) {
    std::size_t low = 0, high = gene_count(sets);
    while (low < high) {
        std::size_t mid = low + (high - low) / 2;
        if (gene_name(sets, static_cast<std::uint32_t>(mid)) < name)
            low = mid + 1;
        else
            high = mid;
    }
    bool found = low < gene_count(sets) && gene_name(sets, static_cast<std::uint32_t>(low)) == name;
    return found ? low : gene_count(sets);
}

void gene_rows(const set_table& sets, const score_matrix& m, std::vector<std::uint32_t>& rows) {
    rows.assign(gene_count(sets), no_row);
    for (std::size_t r = 0; r < m.genes.size(); ++r) {
        std::size_t g = find_gene(sets, m.genes[r]);
        if (g < rows.size()) rows[g] = static_cast<std::uint32_t>(r);
    }
}

void overlap_set(const set_table& sets, std::size_t k, const std::vector<std::uint32_t>& rows,
                 const score_matrix& m, std::size_t ranking, std::vector<std::uint32_t>& genes,
                 std::vector<double>& vec_x, std::vector<double>& vec_y) {
    // Gathered where the room stays from set to set, then copied out at
    // their size: no growing, and no allocation for a set that pairs nothing.
    thread_local std::vector<double> xs, ys;
    genes.clear();
    xs.clear();
    ys.clear();
    std::size_t column = ranking * m.genes.size();
    for (std::size_t i = sets.from[k]; i < sets.from[k + 1]; ++i) {
        std::uint32_t row = rows[sets.genes[i]];
        if (row == no_row) continue;
        std::size_t at = column + row;
        if (!m.present[at]) continue;
        genes.push_back(sets.genes[i]);
        xs.push_back(sets.scores[i]);
        ys.push_back(m.values[at]);
    }
    vec_x.assign(xs.begin(), xs.end());
    vec_y.assign(ys.begin(), ys.end());
}

void gene_names(const set_table& sets, const std::vector<std::uint32_t>& genes, std::vector<std::string>& names) {
    names.clear();
    names.reserve(genes.size());
    for (std::uint32_t g : genes) names.emplace_back(gene_name(sets, g));
}
