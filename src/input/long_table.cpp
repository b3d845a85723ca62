#include "input/long_table.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/error.h"
#include "common/output.h"
#include "input/read_file.h"
#include "input/text.h"

// One record of delimited text from pos on: its fields, unquoted ("" within
// quotes is one "), and the physical lines it spans (a quoted field may hold
// a line break). Carriage returns outside quotes are dropped. False at the end.
static bool next_record(std::string_view text, std::size_t& pos, char delim, std::vector<std::string>& fields,
                        std::size_t& lines) {
    if (pos >= text.size()) return false;
    fields.assign(1, std::string());
    lines = 1;
    bool quoted = false;
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        if (quoted) {
            if (c == '"' && pos + 1 < text.size() && text[pos + 1] == '"') {
                fields.back() += '"';
                ++pos;
            } else if (c == '"') {
                quoted = false;
            } else {
                lines += c == '\n';
                fields.back() += c;
            }
        } else if (c == '"' && fields.back().empty()) {
            quoted = true;
        } else if (c == delim) {
            fields.emplace_back();
        } else if (c == '\n') {
            ++pos;
            return true;
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return true;
}

static std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The first column whose name is one of `names`, taken in that order; npos if none.
static std::size_t column(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
    for (const char* name : names)
        for (std::size_t k = 0; k < header.size(); ++k)
            if (lower(header[k]) == name) return k;
    return std::string::npos;
}

[[noreturn]] static void table_error(const std::string& file, std::size_t line, const std::string& what) {
    fail("wrong line " + std::to_string(line) + " of " + shown_name(file) + ": " + what);
}

// A name or score that the gene-set line could not carry. A score may be
// empty: it is read as 0, with the warning on scores that are not numbers.
static void check_field(const std::string& file, std::size_t line, const char* what, const std::string& field,
                        const char* also_bad) {
    bool is_score = std::string(what) == "score";
    const char* why = field.empty() && !is_score                                 ? "is empty"
                      : field.find_first_of("\t\n\r") != std::string::npos        ? "holds a tab or a line break"
                      : also_bad && field.find(also_bad) != std::string::npos ? also_bad
                                                                              : nullptr;
    if (!why) return;
    std::string reason = why == also_bad ? std::string("holds \"") + also_bad + "\"" : why;
    table_error(file, line, std::string("the ") + what + " '" + field + "' " + reason);
}

// Whether the record from start on is an empty line or a comment.
static bool skipped(std::string_view text, std::size_t start) {
    return start >= text.size() || text[start] == '\n' || text[start] == '\r' || text[start] == '#';
}

static void comment_lines(std::string& out, std::size_t lines) {
    for (std::size_t k = 0; k < lines; ++k) out += "#\n";
}

std::string long_table_text(std::string_view text, const std::string& file_name) {
    std::size_t pos = 0, line = 0, lines = 0, start = 0;
    std::vector<std::string> header, fields;
    std::string out;
    // The header: the first line that is not empty or a comment.
    for (;;) {
        start = pos;
        if (!next_record(text, pos, '\t', header, lines))
            fail("wrong file " + shown_name(file_name) +
                 ": no header line (set or source, gene or target, score or weight)");
        line += lines;
        comment_lines(out, lines);
        if (!skipped(text, start)) break;
    }
    std::size_t header_line = line;
    char delim = text.substr(start, pos - start).find('\t') != std::string_view::npos ? '\t' : ',';
    if (delim == ',') next_record(text, start, ',', header, lines);
    std::size_t set = column(header, {"set", "source", "term"});
    std::size_t gene = column(header, {"gene", "target", "feature"});
    std::size_t score = column(header, {"score", "weight", "mor", "value"});
    if (set == std::string::npos || gene == std::string::npos || score == std::string::npos) {
        refuse_gmt(text, file_name);
        const char* missing = set == std::string::npos    ? "set column (set, source or term)"
                              : gene == std::string::npos ? "gene column (gene, target or feature)"
                                                          : "score column (score, weight, mor or value)";
        table_error(file_name, header_line, std::string("the header names no ") + missing);
    }
    // R's write.table leaves the row names' column unnamed: its data lines
    // then hold one field more than the header.
    std::size_t shift = 0, records = 0, width = header.size();
    for (;;) {
        start = pos;
        if (!next_record(text, pos, delim, fields, lines)) break;
        line += lines;
        if (skipped(text, start)) {
            comment_lines(out, lines);
            continue;
        }
        if (records++ == 0 && fields.size() == width + 1) shift = 1;
        if (fields.size() != width + shift)
            table_error(file_name, line, std::to_string(fields.size()) + " fields, " +
                                             std::to_string(width + shift) + " expected as in the header");
        const std::string& s = fields[set + shift];
        const std::string& g = fields[gene + shift];
        const std::string& v = fields[score + shift];
        check_field(file_name, line, "set name", s, "; ");
        check_field(file_name, line, "gene name", g, "|");
        check_field(file_name, line, "gene name", g, "; ");
        check_field(file_name, line, "score", v, nullptr);
        // The gene-set line: the name field "set; .|gene" and the score in the fifth field.
        out += ".\t0\t0\t" + s + "; .|" + g + '\t' + v + "\t.\n";
        comment_lines(out, lines - 1);
    }
    if (records == 0)
        fail("wrong file " + shown_name(file_name) + ": a header (line " + std::to_string(header_line) +
             ") and no records");
    return out;
}

// A line of a GMT file: a name, a description, then genes; not a gene-set
// line, whose second and third fields are positions and whose fourth is
// "SET; x|GENE".
static bool gmt_line(std::string_view line) {
    std::vector<std::string_view> f;
    split_fields(line, "\t", f);
    if (f.size() < 3 || f[0].empty()) return false;
    if (reads_as_number(f[1]) && reads_as_number(f[2])) return false;
    if (f.size() > 3) {
        std::size_t at = f[3].find("; ");
        if (at != std::string_view::npos && f[3].find('|', at) != std::string_view::npos) return false;
    }
    return true;
}

bool gmt_look_done(const gmt_look& g) { return g.other || g.gmt >= 10; }

void look_for_gmt(std::string_view lines, gmt_look& g) {
    std::size_t pos = 0;
    std::string_view line;
    while (!gmt_look_done(g) && next_line(lines, pos, line)) {
        ++g.lines;
        trim_string(line);
        if (line.empty() || line[0] == '#') continue;
        if (!gmt_line(line)) {
            g.other = true;
            return;
        }
        if (g.gmt++ == 0) g.first = g.lines;
    }
}

void gmt_refused(const std::string& file_name, std::size_t line) {
    fail("wrong file " + shown_name(file_name) + ": line " + std::to_string(line) +
         " is a GMT line (a set name, a description, then genes), which gives no score per gene; quorin "
         "correlates each set's gene scores with the list's, so it needs a score for every gene: see "
         "\"Making signed gene sets\" in the README");
}

void refuse_gmt(std::string_view text, const std::string& file_name) {
    gmt_look g;
    look_for_gmt(text, g);
    if (!g.other && g.gmt > 0) gmt_refused(file_name, g.first);
}
