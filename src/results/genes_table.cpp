#include "results/genes_table.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "common/out_file.h"
#include "common/output.h"
#include "stats/ranks.h"

// Ranking k's present scores, largest first: the rank of a score is one more
// than the number of scores above it.
static std::vector<double> descending_scores(const score_matrix& m, std::size_t k) {
    std::vector<double> scores;
    std::size_t genes = m.genes.size();
    for (std::size_t g = 0; g < genes; ++g)
        if (m.present[k * genes + g]) scores.push_back(m.values[k * genes + g]);
    std::sort(scores.begin(), scores.end(), std::greater<double>());
    return scores;
}

static long long list_rank(const std::vector<double>& descending, double score) {
    auto above = std::lower_bound(descending.begin(), descending.end(), score, std::greater<double>());
    return static_cast<long long>(above - descending.begin()) + 1;
}

void save_genes(const std::string& file_name, const std::vector<struct fstat>& records, const run_options& o,
                const score_matrix& rankings) {
    std::vector<std::vector<double>> descending(rankings.names.size());
    out_file out = open_output(file_name);
    write_output(out, [&](std::FILE* f) {
        write_line(f, std::string(o.many_lists ? "List\t" : "") +
                          "Gene-set\tGene\tSet score\tList score\tSet rank\tList rank\tWeight\tFollows");
        for (const struct fstat& s : records) {
            const fdata& d = s.data;
            if (descending[s.list].empty()) descending[s.list] = descending_scores(rankings, s.list);
            std::vector<int> rows;
            bubble_asort_rev(d.weights, rows);
            std::string head = (o.many_lists ? rankings.names[s.list] + '\t' : std::string()) + s.name + '\t';
            for (int k : rows)
                write_line(f, head + d.genes[k] + '\t' + num(d.vec_x[k], o.digits) + '\t' + num(d.vec_y[k], o.digits) +
                                  '\t' + std::to_string(d.rank_x[k]) + '\t' +
                                  std::to_string(list_rank(descending[s.list], d.vec_y[k])) + '\t' +
                                  num(d.weights[k], o.digits) + '\t' +
                                  (follows_direction(d.rank_x[k], d.rank_y[k], d.genes.size(), s.cor_dir) ? "yes" : "no"));
        }
    });
}
