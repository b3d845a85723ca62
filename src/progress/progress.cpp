#include "progress/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "common/output.h"

namespace {

using progress_clock = std::chrono::steady_clock;

const long long redraw_ns = 100'000'000;  // at most ten drawings a second

long long elapsed_ns(progress_clock::time_point started) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(progress_clock::now() - started).count();
}

int terminal_width() {
    struct winsize size;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// One write per drawing, so that a drawing is never split by other output.
void write_stderr(const std::string& text) {
    ssize_t ignored = write(STDERR_FILENO, text.data(), text.size());
    (void)ignored;
}

std::string clock_text(double seconds) {
    auto s = static_cast<long long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}

}  // namespace

std::string progress_line(std::size_t done, std::size_t total, double seconds, int width) {
    double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    char text[160];
    if (rate > 0) {
        std::snprintf(text, sizeof text, " %zu/%zu tasks  %.1f/s  %s left", done, total, rate,
                      clock_text(static_cast<double>(total - done) / rate).c_str());
    } else {
        std::snprintf(text, sizeof text, " %zu/%zu tasks  -/s  - left", done, total);
    }
    std::string line = text;
    // The bar takes what the numbers leave of the line, up to 30 cells; the
    // last column stays empty so that the terminal never wraps the line.
    int cells = std::min(30, width - 1 - static_cast<int>(line.size()) - 2);
    if (cells >= 5) {
        auto full = total > 0 ? static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * cells) : cells;
        line = "[" + std::string(full, '#') + std::string(cells - full, '.') + "]" + line;
    } else {
        line.erase(0, 1);
    }
    if (width > 1 && static_cast<int>(line.size()) > width - 1) line.resize(width - 1);
    return line;
}

void progress_start(progress_state& p, std::size_t total, const run_options& o) {
    // Result lines streaming to the same terminal (-o) would be broken by
    // the bar, and they show the progress already.
    p.shown = (o.progress_bar || o.many_lists) && isatty(STDERR_FILENO) && !(!o.mute && isatty(STDOUT_FILENO));
    if (!p.shown) return;
    p.total = total;
    p.started = progress_clock::now();
    p.done = 0;
    p.next_draw_ns = redraw_ns;  // a run shorter than that never shows a bar
}

void progress_step(progress_state& p) {
    if (!p.shown) return;
    std::size_t done = p.done.fetch_add(1, std::memory_order_relaxed) + 1;
    long long now = elapsed_ns(p.started);
    long long next = p.next_draw_ns.load(std::memory_order_relaxed);
    if (now < next || !p.next_draw_ns.compare_exchange_strong(next, now + redraw_ns)) return;
    error_line_open = true;
    write_stderr("\r\033[K" + progress_line(done, p.total, static_cast<double>(now) * 1e-9, terminal_width()));
}

void progress_finish(progress_state& p) {
    if (p.shown) close_error_line();
    p.shown = false;
}
