#include "input/text.h"

#include <cstdlib>

#include "results/output.h"

std::vector<std::string> str_split(const std::string& text, const std::string& delim) {
    std::vector<std::string> fields;
    if (text.empty() || delim.empty()) return fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t p = text.find(delim, start);
        if (p == std::string::npos) break;
        fields.emplace_back(text, start, p - start);
        start = p + delim.size();
    }
    if (start < text.size()) fields.emplace_back(text, start);
    return fields;
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
