#include "input/gene_list.h"

#include <cmath>

#include "common/output.h"
#include "config/config.h"
#include "input/text.h"

void read_rank_data(std::string file_name) {
    rank_data.clear();
    read_counts& counts = list_file_counts;
    counts = read_counts{};
    file_bytes bytes;
    read_file(file_name, bytes);
    std::string_view text = bytes.text;
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    std::string_view line;
    while (next_line(text, pos, line)) {
        ++counts.lines;
        trim_string(line);
        if (line.empty() || line[0] == '#') continue;
        split_fields(line, "\t", fields);
        if (fields.size() < 2 || fields[0].empty() || fields[1].empty()) fail_quoting("wrong line: ", line);
        double score = field_number(fields[1]);
        ++counts.records;
        auto it = rank_data.find(fields[0]);
        if (it != rank_data.end()) {
            it->second = score;
            if (counts.duplicates++ < 5 && verbose) counts.duplicate_names.emplace_back(fields[0]);
        } else
            rank_data.emplace(std::string(fields[0]), score);
    }
    release_file(bytes);
    if (adj_method[1] == '2') vemo_list_abs();
    if (adj_method[1] == '3') vemo_list_rev();
}

void vemo_list_abs() {
    for (auto& gene : rank_data) gene.second = std::fabs(gene.second);
}

void vemo_list_rev() {
    for (auto& gene : rank_data) gene.second = -gene.second;
}
