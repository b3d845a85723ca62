#pragma once
#include <cstddef>
#include <string_view>

// One line of the gene-set file, already cut at its carriage return: a
// comment or empty line, a record below the cut-off tscore, a record (set,
// gene and score then hold its values; set and gene point into line), or a
// wrong line. A record below the cut-off is `below`, with set its set name.
enum class set_line_kind { skip, below, record, wrong };
// With score_field, a record or a record below the cut-off also gives its
// score's field as written, for the warning on scores that are not numbers.
set_line_kind parse_set_line(std::string_view line, double tscore, std::string_view& set, std::string_view& gene,
                             double& score, std::string_view* score_field = nullptr);

// The shortest line that parse_set_line takes as a record: five tabs, a name
// field of at least "; |g" (a second "; " piece holding a "|" and a gene),
// and one byte after the fifth tab (a sixth tab, or the sixth field). A
// carriage return only shortens a line, so a line of the file shorter than
// this is never a record.
constexpr std::size_t shortest_record_line = 10;
