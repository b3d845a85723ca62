#include "input/text.h"

#include <cstdlib>

#include "results/output.h"

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

double field_number(std::string_view field) {
    // atof needs the field on its own: on the whole line it would skip a
    // following tab as white space and read the next field.
    static thread_local std::string buf;
    buf.assign(field);
    return std::atof(buf.c_str());
}

void trim_string(std::string& line) {
    std::size_t p = line.find('\r');
    if (p != std::string::npos) line.erase(p);
}

std::FILE* open_input(const std::string& file_name) {
    std::FILE* f = std::fopen(file_name.c_str(), "r");
    if (!f) fail("Sorry, couldn't open file " + file_name);
    return f;
}

bool read_line(std::FILE* f, const std::string& file_name, std::string& line) {
    static thread_local char* buf = nullptr;
    static thread_local std::size_t cap = 0;
    ssize_t len = getline(&buf, &cap, f);
    if (len < 0) {
        if (std::ferror(f)) fail("Sorry, couldn't open file " + file_name);
        return false;
    }
    if (len > 0 && buf[len - 1] == '\n') --len;
    line.assign(buf, static_cast<std::size_t>(len));
    return true;
}
