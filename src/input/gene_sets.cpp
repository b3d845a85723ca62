#include "input/gene_sets.h"

#include <algorithm>
#include <cmath>

#include "config/config.h"
#include "input/text.h"
#include "results/output.h"

// The accepted records of one set, in file order. Sorting them once and
// building the table from the sorted run is much faster than inserting each
// record into the tree as it comes.
struct pending_gene {
    std::string gene;
    double score;
};
using pending_set = std::vector<pending_gene>;

// Consecutive lines usually name the same set, so the last set is kept at hand.
struct last_set {
    pending_set* genes = nullptr;
    std::string name;
};

static pending_set& pending_of(std::map<std::string, pending_set, std::less<>>& sets, std::string_view name,
                               last_set& last) {
    if (last.genes == nullptr || name != last.name) {
        auto it = sets.find(name);
        if (it == sets.end()) it = sets.emplace(std::string(name), pending_set()).first;
        last.genes = &it->second;
        last.name.assign(name);
    }
    return *last.genes;
}

// The later record of a gene overwrites the earlier one.
static void build_table(pending_set& pending, gene_table& genes) {
    std::stable_sort(pending.begin(), pending.end(),
                     [](const pending_gene& a, const pending_gene& b) { return a.gene < b.gene; });
    for (std::size_t k = 0; k < pending.size(); ++k) {
        if (k + 1 < pending.size() && pending[k + 1].gene == pending[k].gene) continue;
        genes.emplace_hint(genes.end(), std::move(pending[k].gene), pending[k].score);
    }
    pending_set().swap(pending);
}

void read_vemo_dataset_bed(std::string file_name) {
    vemo_set.clear();
    std::FILE* f = open_input(file_name);
    std::string line;
    std::vector<std::string_view> fields, pieces, parts;
    std::map<std::string, pending_set, std::less<>> sets;
    last_set last;
    while (read_line(f, file_name, line)) {
        trim_string(line);
        if (line.empty() || line[0] == '#') continue;
        split_fields(line, "\t", fields);
        if (fields.size() < 6 || fields[3].empty()) fail("wrong line: " + line);
        double score = field_number(fields[4]);
        if (tscore > score) continue;
        split_fields(fields[3], "; ", pieces);
        if (pieces.size() < 2) fail("wrong line: " + line);
        split_fields(pieces[1], "|", parts);
        if (parts.size() < 2) fail("wrong line: " + line);
        pending_of(sets, pieces[0], last).push_back({std::string(parts[1]), score});
    }
    std::fclose(f);
    for (auto& set : sets) build_table(set.second, vemo_set.emplace_hint(vemo_set.end(), set.first, gene_table())->second);
    if (adj_method[0] == '2') vemo_set_abs();
    if (adj_method[0] == '3') vemo_set_rev();
}

void vemo_set_abs() {
    for (auto& set : vemo_set)
        for (auto& gene : set.second) gene.second = std::fabs(gene.second);
}

void vemo_set_rev() {
    for (auto& set : vemo_set)
        for (auto& gene : set.second) gene.second = -gene.second;
}
