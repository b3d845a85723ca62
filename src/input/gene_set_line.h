#pragma once
#include <cstddef>
#include <string_view>

// One line of the gene-set file, already cut at its carriage return: a
// comment or empty line, a record below the cut-off tscore, a record (set,
// gene and score then hold its values; set and gene point into line), or a
// wrong line. A record below the cut-off is `below`, with set its set name.
enum class set_line_kind { skip, below, record, wrong };
// With `text`, a record or a record below the cut-off also gives its score's
// field as written and whether the whole field is a number (number_field),
// for the warning on scores that are not numbers.
struct score_text {
    std::string_view field;
    bool number;
};
set_line_kind parse_set_line(std::string_view line, double tscore, std::string_view& set, std::string_view& gene,
                             double& score, score_text* text = nullptr);

// The next line of text from pos on, as next_line gives it, cut at its
// first carriage return when `returns` (the text holds one), and read by
// parse_set_line, with the score's field as written; false at the end.
// Lines shorter than 64 bytes are read from the bits of their bytes, which
// is where reading a gene-set file spent its time.
bool next_set_line(std::string_view text, std::size_t& pos, bool returns, double tscore, std::string_view& line,
                   set_line_kind& kind, std::string_view& set, std::string_view& gene, double& score,
                   score_text& field);

// The shortest line that parse_set_line takes as a record: five tabs, a name
// field of at least "; |g" (a second "; " piece holding a "|" and a gene),
// and one byte after the fifth tab (a sixth tab, or the sixth field). A
// carriage return only shortens a line, so a line of the file shorter than
// this is never a record.
constexpr std::size_t shortest_record_line = 10;

// How many lines of text may be records: those of at least
// shortest_record_line bytes that are not comments. The reader reserves
// room for that many; room for each line whatever it holds would be 32
// bytes for every empty line of a file.
std::size_t record_line_bound(std::string_view text);
