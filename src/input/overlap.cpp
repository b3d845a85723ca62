#include "input/overlap.h"

#include <algorithm>

#include "common/parallel.h"

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

void gene_rows(const set_table& sets, const score_matrix& m, std::vector<std::uint32_t>& rows, int threads) {
    // Each row's gene is looked up on the threads, a part of the rows each,
    // then written in row order, so that a name given in two rows has the
    // later one, as one thread gives it. Below a few thousand rows a thread
    // costs more than it saves.
    std::size_t count = m.genes.size();
    std::size_t parts = count < 8192 ? 1 : static_cast<std::size_t>(std::max(1, std::min(threads, 8)));
    std::vector<std::size_t> found(count);
    run_parallel(parts, static_cast<int>(parts), [&](std::size_t p) {
        for (std::size_t r = count * p / parts; r < count * (p + 1) / parts; ++r) found[r] = find_gene(sets, m.genes[r]);
    });
    rows.assign(gene_count(sets), no_row);
    for (std::size_t r = 0; r < count; ++r)
        if (found[r] < rows.size()) rows[found[r]] = static_cast<std::uint32_t>(r);
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
