#include "input/gene_matrix.h"

#include <cmath>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/error.h"
#include "input/text.h"

// Every field of a line, an empty last one included: a trailing tab is a
// missing value in the last ranking, not the end of the line.
static void all_fields(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string_view::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
}

[[noreturn]] static void matrix_error(const std::string& file, std::size_t line, const std::string& what) {
    fail("wrong line " + std::to_string(line) + " of " + shown_name(file) + ": " + what);
}

static void read_header(const std::string& file, std::size_t number, const std::vector<std::string_view>& fields,
                        score_matrix& m) {
    if (fields[0] != "gene") matrix_error(file, number, "the header must begin with the word gene");
    if (fields.size() < 2) matrix_error(file, number, "the header names no ranking after gene");
    std::set<std::string_view> seen;
    for (std::size_t k = 1; k < fields.size(); ++k) {
        if (fields[k].empty()) matrix_error(file, number, "ranking " + std::to_string(k) + " has no name");
        if (!seen.insert(fields[k]).second)
            matrix_error(file, number, "the ranking name " + std::string(fields[k]) + " is given twice");
        m.names.emplace_back(fields[k]);
    }
}

static void treat(const std::string& adj_method, double& score) {
    if (adj_method[1] == '2') score = std::fabs(score);
    if (adj_method[1] == '3') score = -score;
}

// Read row by row, held ranking by ranking.
static void by_ranking(score_matrix& m) {
    std::size_t width = m.names.size(), genes = m.genes.size();
    std::vector<double> values(m.values.size());
    std::vector<std::uint8_t> present(m.present.size());
    for (std::size_t g = 0; g < genes; ++g)
        for (std::size_t k = 0; k < width; ++k) {
            values[k * genes + g] = m.values[g * width + k];
            present[k * genes + g] = m.present[g * width + k];
        }
    m.values.swap(values);
    m.present.swap(present);
}

score_matrix read_matrix_bytes(file_bytes bytes, const std::string& file_name, const run_options& o,
                               read_counts& counts) {
    score_matrix list_matrix;
    counts = read_counts{};
    std::unordered_map<std::string_view, std::size_t> rows;
    std::vector<std::string_view> fields;
    std::size_t pos = 0, number = 0, width = 0;
    std::string_view line;
    while (next_line(bytes.text, pos, line)) {
        ++number;
        trim_string(line);
        if (line.empty() || line[0] == '#') continue;
        all_fields(line, fields);
        if (width == 0) {
            read_header(file_name, number, fields, list_matrix);
            width = list_matrix.names.size();
            continue;
        }
        if (fields.size() != width + 1)
            matrix_error(file_name, number,
                         std::to_string(fields.size()) + " fields, " + std::to_string(width + 1) + " expected");
        if (fields[0].empty()) matrix_error(file_name, number, "no gene name");
        ++counts.records;
        auto row = rows.emplace(fields[0], list_matrix.genes.size());
        if (row.second) {
            list_matrix.genes.emplace_back(fields[0]);
            list_matrix.values.resize(list_matrix.values.size() + width, 0.0);
            list_matrix.present.resize(list_matrix.present.size() + width, 0);
        } else if (counts.duplicates++ < 5 && o.verbose) {
            counts.duplicate_names.emplace_back(fields[0]);
        }
        std::size_t at = row.first->second * width;
        for (std::size_t k = 0; k < width; ++k) {
            std::string_view v = fields[k + 1];
            if (v.empty() || v == "NA") continue;  // not in this ranking; an earlier value stays
            list_matrix.values[at + k] = field_number(v);
            list_matrix.present[at + k] = 1;
        }
    }
    counts.lines = number;
    if (width == 0) fail("wrong file " + shown_name(file_name) + ": no header line (gene, then one name per ranking)");
    release_file(bytes);
    for (std::size_t k = 0; k < list_matrix.values.size(); ++k)
        if (list_matrix.present[k]) treat(o.adj_method, list_matrix.values[k]);
    by_ranking(list_matrix);
    return list_matrix;
}

score_matrix read_list_matrix(const std::string& file_name, const run_options& o, read_counts& counts) {
    file_bytes bytes;
    read_file(file_name, o.thread_n, bytes);
    return read_matrix_bytes(std::move(bytes), file_name, o, counts);
}

score_matrix matrix_from_list(const gene_table& rank_data) {
    score_matrix list_matrix;
    list_matrix.names.emplace_back();
    for (const auto& gene : rank_data) {
        list_matrix.genes.push_back(gene.first);
        list_matrix.values.push_back(gene.second);
        list_matrix.present.push_back(1);
    }
    return list_matrix;
}
