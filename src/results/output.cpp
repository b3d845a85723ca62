#include "results/output.h"

#include <cstdlib>

std::string num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

void put_line(std::FILE* f, const std::string& line) {
    std::string text = line;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
}

void fail(const std::string& message) {
    put_line(stdout, message);
    std::_Exit(1);
}

void die(const std::string& message) {
    put_line(stderr, message);
    std::fflush(stdout);
    std::_Exit(1);
}
