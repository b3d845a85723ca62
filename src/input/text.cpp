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

// A field that is only a plain decimal, [+-]digits[.digits] with at most 15
// digits: the digits as a whole number and the power of ten that divides it
// are both exact doubles, so one division rounds once, to the nearest double,
// which is what atof gives. Anything else is left to atof. The digits are
// gathered unsigned, where a long run wraps instead of overflowing; such a
// run has more than 15 digits and is refused.
static bool plain_decimal(std::string_view field, double& value) {
    static const double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
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

double field_number(std::string_view field, bool& number) {
    double value;
    number = true;
    if (plain_decimal(field, value)) return value;
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

