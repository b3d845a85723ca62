#include "input/gene_sets.h"

#include <cmath>
#include <cstdlib>

#include "config/config.h"
#include "input/text.h"
#include "results/output.h"

// Consecutive lines usually name the same set, so the last set is kept at hand.
static gene_table& set_table(const std::string& name, gene_table*& last, std::string& last_name) {
    if (last == nullptr || name != last_name) {
        last = &vemo_set[name];
        last_name = name;
    }
    return *last;
}

void read_vemo_dataset_bed(std::string file_name) {
    vemo_set.clear();
    std::FILE* f = open_input(file_name);
    std::string line, last_name;
    gene_table* last = nullptr;
    while (read_line(f, file_name, line)) {
        trim_string(line);
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields = str_split(line, "\t");
        if (fields.size() < 6 || fields[3].empty()) fail("wrong line: " + line);
        double score = std::atof(fields[4].c_str());
        if (tscore > score) continue;
        std::vector<std::string> pieces = str_split(fields[3], "; ");
        if (pieces.size() < 2) fail("wrong line: " + line);
        std::vector<std::string> parts = str_split(pieces[1], "|");
        if (parts.size() < 2) fail("wrong line: " + line);
        set_table(pieces[0], last, last_name)[parts[1]] = score;
    }
    std::fclose(f);
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
