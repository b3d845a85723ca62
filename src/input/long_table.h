#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Gene sets as a long table (--net): one line per set and gene, tab- or
// comma-separated, with a header that names the columns, as decoupler,
// PROGENy, DoRothEA and CollecTRI networks come (source, target, weight).
// The columns are found by name in any case: set, source or term; gene,
// target or feature; score, weight, mor or value. Others are ignored; fields
// may be quoted as R and pandas quote them. Returns the same records as the
// gene-set file's text, line for line, so that the gene-set reader takes
// them by its rules and its messages name the table's own line numbers.
std::string long_table_text(std::string_view text, const std::string& file_name);

// A GMT file (set name, description, then genes) holds no score per gene:
// ends the run with the line that says so. Anything else passes. It is told
// by its first lines that are neither empty nor comments: up to ten, all
// GMT lines.
void refuse_gmt(std::string_view text, const std::string& file_name);

// The same look a piece of whole lines at a time, for a file that is not
// held whole: it ends at the tenth such line or at one that is not GMT.
struct gmt_look {
    std::size_t lines = 0;  // lines looked at
    std::size_t gmt = 0;    // GMT lines, before any other that counts
    std::size_t first = 0;  // the first GMT line, among the lines looked at
    bool other = false;     // a line that counts and is not GMT was met
};
bool gmt_look_done(const gmt_look& g);
void look_for_gmt(std::string_view lines, gmt_look& g);
[[noreturn]] void gmt_refused(const std::string& file_name, std::size_t line);
