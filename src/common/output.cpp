#include "common/output.h"

#include <cstdlib>

std::string num(double v, int precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    return buf;
}

void put_line(std::FILE* f, const std::string& line) {
    std::string text = line;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
}

void fail(const std::string& message) {
    // Standard output stays locked until the process has ended, so no other
    // thread's line can follow the fatal one, and a second fatal error on
    // another thread waits here instead of writing its own line.
    flockfile(stdout);
    put_line(stdout, message);
    std::_Exit(1);
}

void die(const std::string& message) {
    put_line(stderr, message);
    std::fflush(stdout);
    std::_Exit(1);
}
