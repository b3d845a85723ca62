#include "common/output.h"

#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>

std::string num(double v, int precision) {
    char buf[64];
    // to_chars with a precision writes what printf's %.*g writes in the "C"
    // locale (the standard defines it so: the same correctly rounded digits
    // and layout), several times faster. printf stays for a locale whose
    // decimal point is not '.', whose point printf takes.
    if (std::strcmp(std::localeconv()->decimal_point, ".") == 0) {
        std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
        if (r.ec == std::errc()) return std::string(buf, r.ptr);
    }
    std::snprintf(buf, sizeof buf, "%.*g", precision, v);
    return buf;
}

bool reads_as_number(std::string_view text) {
    if (text.empty() || text.size() > 400) return false;
    char buf[401];
    text.copy(buf, text.size());
    buf[text.size()] = '\0';
    char* end = nullptr;
    std::strtod(buf, &end);
    return end != buf && *end == '\0';
}

// Read in signal handlers, which only a lock-free atomic allows.
static_assert(std::atomic<bool>::is_always_lock_free, "error_line_open must be lock-free");
std::atomic<bool> error_line_open{false};

void close_error_line() {
    if (!error_line_open.exchange(false)) return;
    ssize_t ignored = write(STDERR_FILENO, "\r\033[K", 4);
    (void)ignored;
}

void put_line(std::FILE* f, const std::string& line) {
    std::string text = line;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
}

void write_line(std::FILE* f, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::putc('\n', f);
}

