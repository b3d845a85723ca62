#include "input/gene_matrix.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <iterator>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/byte_buffer.h"
#include "common/error.h"
#include "common/output.h"
#include "input/line_blocks.h"
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

// A matrix being read, in two passes over its lines: the first checks the
// lines and numbers the genes, the second writes every score straight to its
// place, ranking by ranking. The matrix is thus made once at its final size
// (grown row by row and then turned round, it took twice its size at its
// peak), and the lines need not be held between the passes: a file is read
// again (line_blocks.h). Gene names are kept in a deque, whose strings never
// move, so that the keys of rows can point into them; the header is kept as
// a copy until the first data line tells its layout.
struct matrix_reading {
    matrix_reading(const std::string& file_name, const run_options& options, read_counts& read)
        : file(file_name), o(options), counts(read) {}
    const std::string& file;
    const run_options& o;
    read_counts& counts;
    score_matrix m;
    std::deque<std::string> genes;
    std::unordered_map<std::string_view, std::size_t> rows;
    std::vector<std::size_t> line_rows;  // the gene of every data line, in file order
    std::string header_line;
    std::vector<std::string_view> header, fields;
    std::size_t number = 0, header_number = 0, width = 0;
    bool quoted = false;    // a header as R or pandas write it: gene names may be quoted
    std::size_t taken = 0;  // data lines of the second pass
};

// The gene of a data line from its first field.
static std::string_view gene_of(const matrix_reading& r, std::string_view gene) {
    if (r.quoted) gene = unquoted(gene);
    if (r.o.strip_versions) gene = without_version(gene);
    return gene;
}

static void check_line(matrix_reading& r, std::string_view line) {
    ++r.number;
    trim_string(line);
    if (line.empty() || line[0] == '#') return;
    if (r.header_number == 0) {
        r.header_line.assign(line);
        all_fields(r.header_line, r.header);
        r.header_number = r.number;
        return;
    }
    std::size_t field_count = std::count(line.begin(), line.end(), '\t') + 1;
    if (r.width == 0) {  // the header is read once the first data line tells its layout
        r.quoted = read_header(r.file, r.header_number, r.header, field_count, r.m);
        r.width = r.m.names.size();
    }
    if (field_count != r.width + 1)
        matrix_error(r.file, r.number,
                     std::to_string(field_count) + " fields, " + std::to_string(r.width + 1) + " expected");
    std::string_view gene = gene_of(r, line.substr(0, line.find('\t')));
    if (gene.empty()) matrix_error(r.file, r.number, "no gene name");
    ++r.counts.records;
    auto row = r.rows.find(gene);
    if (row == r.rows.end()) {
        std::size_t next = r.genes.size();
        row = r.rows.emplace(r.genes.emplace_back(gene), next).first;
    } else if (r.counts.duplicates++ < 5 && r.o.verbose) {
        r.counts.duplicate_names.emplace_back(gene);
    }
    r.line_rows.push_back(row->second);
}

// Once the first pass has read every line: the matrix at its final size, no
// score in it yet.
static void lay_out(matrix_reading& r) {
    r.counts.lines = r.number;
    if (r.header_number == 0)
        fail("wrong file " + shown_name(r.file) + ": no header line (gene, then one name per ranking)");
    if (r.width == 0) r.width = (read_header(r.file, r.header_number, r.header, 0, r.m), r.m.names.size());
    r.rows.clear();
    r.m.genes.assign(std::make_move_iterator(r.genes.begin()), std::make_move_iterator(r.genes.end()));
    r.genes.clear();
    std::size_t cells = r.width * r.m.genes.size();
    r.m.values.reserve(cells);
    r.m.present.reserve(cells);
    advise_huge_pages(r.m.values.data(), cells * sizeof(double));
    advise_huge_pages(r.m.present.data(), cells);
    r.m.values.assign(cells, 0.0);
    r.m.present.assign(cells, 0);
    r.number = 0;
}

static void treat(const std::string& adj_method, double& score) {
    if (adj_method[1] == '2') score = std::fabs(score);
    if (adj_method[1] == '3') score = -score;
}

// False when the line is not the one the first pass checked: a file read
// again has changed.
static bool take_line(matrix_reading& r, std::string_view line) {
    ++r.number;
    trim_string(line);
    if (r.number <= r.header_number || line.empty() || line[0] == '#') return true;
    all_fields(line, r.fields);
    if (r.taken == r.line_rows.size() || r.fields.size() != r.width + 1) return false;
    std::size_t g = r.line_rows[r.taken++], genes = r.m.genes.size();
    if (gene_of(r, r.fields[0]) != r.m.genes[g]) return false;
    for (std::size_t k = 0; k < r.width; ++k) {
        std::string_view v = r.fields[k + 1];
        if (v.empty() || v == "NA") continue;  // not in this ranking; an earlier value stays
        double score = field_number(v);
        if (!number_field(v) && r.counts.non_numbers++ == 0) {
            r.counts.non_number_line = r.number;
            r.counts.non_number_text = std::string(v);
            r.counts.non_number_value = score;
        }
        treat(r.o.adj_method, score);
        r.m.values[k * genes + g] = score;
        r.m.present[k * genes + g] = 1;
    }
    return true;
}

template <typename Each>
static void each_line(std::string_view text, Each each) {
    std::string_view line;
    for (std::size_t pos = 0; next_line(text, pos, line);) each(line);
}

score_matrix read_matrix_bytes(file_bytes bytes, const std::string& file_name, const run_options& o,
                               read_counts& counts) {
    counts = read_counts{};
    matrix_reading r(file_name, o, counts);
    each_line(bytes.text, [&](std::string_view line) { check_line(r, line); });
    lay_out(r);
    each_line(bytes.text, [&](std::string_view line) { take_line(r, line); });
    return std::move(r.m);
}

score_matrix read_list_matrix(const std::string& file_name, const run_options& o, read_counts& counts) {
    counts = read_counts{};
    matrix_reading r(file_name, o, counts);
    line_blocks in;
    open_lines(file_name, o.thread_n, in);
    for (std::string_view lines; next_lines(in, lines);) {
        try {
            each_line(lines, [&](std::string_view line) { check_line(r, line); });
        } catch (const fatal_error&) {
            read_to_end(in);
            throw;
        }
    }
    lay_out(r);
    rewind_lines(in);
    for (std::string_view lines; next_lines(in, lines);)
        each_line(lines, [&](std::string_view line) {
            if (!take_line(r, line)) input_changed(in);
        });
    if (r.taken != r.line_rows.size()) input_changed(in);
    return std::move(r.m);
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
