#include "input/gene_matrix.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/error.h"
#include "common/output.h"
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

// A field as R and pandas quote it: "name" is name.
static std::string_view unquoted(std::string_view field) {
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') return field.substr(1, field.size() - 2);
    return field;
}

// The header: "gene", then the rankings, as quorin always read it; or as R
// and pandas write a matrix: any name, quoted or not, for the gene column
// (pandas leaves it empty), or no name for it at all, one field short of the
// data lines (R's write.table). data_fields: the first data line's fields, 0
// when there is none. Returns whether the header was written that other way,
// whose gene names may be quoted too.
static bool read_header(const std::string& file, std::size_t number, std::vector<std::string_view>& fields,
                        std::size_t data_fields, score_matrix& m) {
    bool plain = fields[0] == "gene";
    if (!plain)
        for (std::string_view& f : fields) f = unquoted(f);
    std::size_t first = !plain && data_fields == fields.size() + 1 ? 0 : 1;
    if (first >= fields.size())
        matrix_error(file, number, plain ? "the header names no ranking after gene"
                                         : "the header names no ranking after the gene column");
    if (!plain && std::all_of(fields.begin() + first, fields.end(), [](std::string_view f) { return reads_as_number(f); }))
        matrix_error(file, number, "the ranking names of the header are numbers: the first line must be the header, "
                                   "the gene column's name, then one name per ranking");
    std::set<std::string_view> seen;
    for (std::size_t k = first; k < fields.size(); ++k) {
        if (fields[k].empty()) matrix_error(file, number, "ranking " + std::to_string(k + 1 - first) + " has no name");
        if (!seen.insert(fields[k]).second)
            matrix_error(file, number, "the ranking name " + std::string(fields[k]) + " is given twice");
        m.names.emplace_back(fields[k]);
    }
    return !plain;
}

static void treat(const std::string& adj_method, double& score) {
    if (adj_method[1] == '2') score = std::fabs(score);
    if (adj_method[1] == '3') score = -score;
}

// Two passes over the text: the first checks the lines and numbers the genes,
// the second writes every score straight to its place ranking by ranking. The
// matrix is thus made once at its final size: grown row by row and then turned
// round, it took twice its size at its peak.
score_matrix read_matrix_bytes(file_bytes bytes, const std::string& file_name, const run_options& o,
                               read_counts& counts) {
    score_matrix list_matrix;
    counts = read_counts{};
    std::unordered_map<std::string_view, std::size_t> rows;
    std::vector<std::size_t> line_rows;  // the gene of every data line, in file order
    std::vector<std::string_view> fields, header;
    std::size_t pos = 0, number = 0, width = 0, header_end = 0, header_number = 0;
    bool quoted = false;  // a header as R or pandas write it: gene names may be quoted
    std::string_view line;
    while (next_line(bytes.text, pos, line)) {
        ++number;
        trim_string(line);
        if (line.empty() || line[0] == '#') continue;
        if (header_number == 0) {
            all_fields(line, header);
            header_number = number;
            header_end = pos;
            continue;
        }
        std::size_t field_count = std::count(line.begin(), line.end(), '\t') + 1;
        if (width == 0) {  // the header is read once the first data line tells its layout
            quoted = read_header(file_name, header_number, header, field_count, list_matrix);
            width = list_matrix.names.size();
        }
        if (field_count != width + 1)
            matrix_error(file_name, number,
                         std::to_string(field_count) + " fields, " + std::to_string(width + 1) + " expected");
        std::string_view gene = line.substr(0, line.find('\t'));
        if (quoted) gene = unquoted(gene);
        if (o.strip_versions) gene = without_version(gene);
        if (gene.empty()) matrix_error(file_name, number, "no gene name");
        ++counts.records;
        auto row = rows.emplace(gene, list_matrix.genes.size());
        if (row.second) {
            list_matrix.genes.emplace_back(gene);
        } else if (counts.duplicates++ < 5 && o.verbose) {
            counts.duplicate_names.emplace_back(gene);
        }
        line_rows.push_back(row.first->second);
    }
    counts.lines = number;
    if (header_number == 0)
        fail("wrong file " + shown_name(file_name) + ": no header line (gene, then one name per ranking)");
    if (width == 0) width = (read_header(file_name, header_number, header, 0, list_matrix), list_matrix.names.size());
    std::size_t genes = list_matrix.genes.size();
    list_matrix.values.assign(width * genes, 0.0);
    list_matrix.present.assign(width * genes, 0);
    pos = header_end;
    number = header_number;
    for (std::size_t g : line_rows) {
        do {
            next_line(bytes.text, pos, line);
            trim_string(line);
            ++number;
        } while (line.empty() || line[0] == '#');
        all_fields(line, fields);
        for (std::size_t k = 0; k < width; ++k) {
            std::string_view v = fields[k + 1];
            if (v.empty() || v == "NA") continue;  // not in this ranking; an earlier value stays
            double score = field_number(v);
            if (!number_field(v) && counts.non_numbers++ == 0) {
                counts.non_number_line = number;
                counts.non_number_text = std::string(v);
                counts.non_number_value = score;
            }
            list_matrix.values[k * genes + g] = score;
            list_matrix.present[k * genes + g] = 1;
        }
    }
    release_file(bytes);
    for (std::size_t k = 0; k < list_matrix.values.size(); ++k)
        if (list_matrix.present[k]) treat(o.adj_method, list_matrix.values[k]);
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
