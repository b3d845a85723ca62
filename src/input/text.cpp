#include "input/text.h"

#include <cstdint>
#include <cstdlib>

#include "common/output.h"

void split_fields(std::string_view text, std::string_view delim, std::vector<std::string_view>& fields) {
    fields.clear();
    if (text.empty() || delim.empty()) return;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = delim.size() == 1 ? text.find(delim[0], start) : text.find(delim, start);
        if (p == std::string_view::npos) break;
        fields.push_back(text.substr(start, p - start));
        start = p + delim.size();
    }
    if (start < text.size()) fields.push_back(text.substr(start));
}

std::vector<std::string> str_split(const std::string& text, const std::string& delim) {
    std::vector<std::string_view> views;
    split_fields(text, delim, views);
    return std::vector<std::string>(views.begin(), views.end());
}

// atof needs the field on its own: on the whole line it would skip a
// following tab as white space and read the next field.
static double atof_field(std::string_view field) {
    static thread_local std::string buf;
    buf.assign(field);
    return std::atof(buf.c_str());
}

double field_number(std::string_view field) {
    double value;
    return plain_decimal(field, value) ? value : atof_field(field);
}

double unusual_field_number(std::string_view field, bool& number) {
    number = reads_as_number(field);
    return atof_field(field);
}

bool number_field(std::string_view field) {
    double value;
    return plain_decimal(field, value) || reads_as_number(field);
}

std::string_view without_version(std::string_view name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size()) return name;
    for (std::size_t k = dot + 1; k < name.size(); ++k)
        if (name[k] < '0' || name[k] > '9') return name;
    std::size_t k = 0;
    while (k < dot && ((name[k] >= 'A' && name[k] <= 'Z') || (name[k] >= 'a' && name[k] <= 'z') || name[k] == '_')) ++k;
    std::size_t letters = k;
    while (k < dot && name[k] >= '0' && name[k] <= '9') ++k;
    if (letters == 0 || k == letters || k != dot) return name;
    return name.substr(0, dot);
}

void trim_string(std::string_view& line) {
    std::size_t p = line.find('\r');
    if (p != std::string_view::npos) line = line.substr(0, p);
}

void trim_string(std::string& line) {
    std::string_view cut = line;
    trim_string(cut);
    line.resize(cut.size());
}

