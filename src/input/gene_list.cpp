#include "input/gene_list.h"

#include <cmath>
#include <memory>

#include "common/error.h"
#include "input/text.h"

gene_table read_list_bytes(file_bytes bytes, const run_options& o, read_counts& counts) {
    gene_table list;
    counts = read_counts{};
    std::string_view text = bytes.text;
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    std::string_view line;
    while (next_line(text, pos, line)) {
        ++counts.lines;
        trim_string(line);
        if (line.empty() || line[0] == '#') continue;
        split_fields(line, "\t", fields);
        if (fields.size() < 2 || fields[0].empty() || fields[1].empty())
            fail_quoting("wrong line: ", line, std::make_shared<file_bytes>(std::move(bytes)),
                         "line " + std::to_string(counts.lines) +
                             ": a gene, a tab and its score expected (both fields not empty)");
        bool number;
        double score = field_number(fields[1], number);
        if (!number && counts.non_numbers++ == 0) {
            counts.non_number_line = counts.lines;
            counts.non_number_text = std::string(fields[1]);
            counts.non_number_value = score;
        }
        ++counts.records;
        std::string_view gene = o.strip_versions ? without_version(fields[0]) : fields[0];
        // One walk down the tree: where the gene is, or where it goes.
        auto it = list.lower_bound(gene);
        if (it != list.end() && it->first == gene) {
            it->second = score;
            if (counts.duplicates++ < 5 && o.verbose) counts.duplicate_names.emplace_back(gene);
        } else
            list.emplace_hint(it, std::string(gene), score);
    }
    release_file(bytes);
    if (o.adj_method[1] == '2') vemo_list_abs(list);
    if (o.adj_method[1] == '3') vemo_list_rev(list);
    return list;
}

gene_table read_rank_data(const std::string& file_name, const run_options& o, read_counts& counts) {
    file_bytes bytes;
    read_file(file_name, o.thread_n, bytes);
    return read_list_bytes(std::move(bytes), o, counts);
}

void vemo_list_abs(gene_table& list) {
    for (auto& gene : list) gene.second = std::fabs(gene.second);
}

void vemo_list_rev(gene_table& list) {
    for (auto& gene : list) gene.second = -gene.second;
}
