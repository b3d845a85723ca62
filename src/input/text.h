#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Fields of text between every occurrence of delim. An empty field before a
// delimiter is kept; the empty rest after a trailing delimiter is not.
// The readers split in place with split_fields and parse_set_line instead.
std::vector<std::string> str_split(const std::string& text, const std::string& delim);

// The same fields as views into text, into a vector the caller reuses.
void split_fields(std::string_view text, std::string_view delim, std::vector<std::string_view>& fields);

// Cuts the line at its first carriage return.
void trim_string(std::string& line);
void trim_string(std::string_view& line);

// The number at the start of a field, as atof reads it.
double field_number(std::string_view field);

// The same, and whether the whole field is a number (number_field), with
// the field read once when it is a plain decimal.
double field_number(std::string_view field, bool& number);

// Whether the whole field is a number: a plain decimal at once, anything
// else as strtod reads it. "NA", "", "4,5" and words are not.
bool number_field(std::string_view field);

// Cuts a version suffix off an accession (ENSG00000141510.17, NM_000546.6):
// letters or underscores, then digits, then a dot and digits. Other names,
// RP11-34P13.7 among them, stay as they are.
std::string_view without_version(std::string_view name);

// The next line of text from pos on, without its line feed; false at the
// end. A last line without a line feed counts. Inline: the readers call it
// once a line.
inline bool next_line(std::string_view text, std::size_t& pos, std::string_view& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    line = text.substr(pos, end - pos);
    pos = end + 1;
    return true;
}
