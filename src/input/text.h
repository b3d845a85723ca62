#pragma once
#include <cstddef>
#include <cstdint>
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

// A field that is only a plain decimal, [+-]digits[.digits] with at most 15
// digits: the digits as a whole number and the power of ten that divides it
// are both exact doubles, so one division rounds once, to the nearest double,
// which is what atof gives. Anything else is left to atof. The digits are
// gathered unsigned, where a long run wraps instead of overflowing; such a
// run has more than 15 digits and is refused. Inline, as is field_number
// below: the gene-set reader reads a score a line.
inline bool plain_decimal(std::string_view field, double& value) {
    static constexpr double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = field.data();
    const char* end = p + field.size();
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    const char* first = p;
    const char* point = nullptr;
    std::uint64_t digits = 0;
    for (; p < end; ++p) {
        unsigned digit = static_cast<unsigned char>(*p - '0');
        if (digit < 10) {
            digits = digits * 10 + digit;
        } else if (*p == '.' && !point) {
            point = p;
        } else {
            return false;
        }
    }
    std::size_t count = static_cast<std::size_t>(end - first) - (point != nullptr);
    std::size_t decimals = point ? static_cast<std::size_t>(end - point - 1) : 0;
    if (count == 0 || count > 15) return false;
    value = static_cast<double>(static_cast<std::int64_t>(digits)) / powers[decimals];
    if (negative) value = -value;
    return true;
}

// field_number, and whether the whole field is a number (number_field), with
// the field read once when it is a plain decimal; unusual_field_number for
// any other field.
double unusual_field_number(std::string_view field, bool& number);
inline double field_number(std::string_view field, bool& number) {
    double value;
    number = true;
    return plain_decimal(field, value) ? value : unusual_field_number(field, number);
}

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
