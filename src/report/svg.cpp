#include "report/svg.h"

#include <cmath>
#include <cstdio>

#include "common/output.h"
#include "report/escape.h"

const char* const tip_break = "&#10;";

// 1, 2 or 5 times a power of ten, the smallest of them not below raw (> 0).
static long double nice_step(long double raw) {
    long double power = std::pow(10.0L, std::floor(std::log10(raw)));
    for (long double m : {1.0L, 2.0L, 5.0L, 10.0L})
        if (m * power >= raw * (1 - 1e-12L)) return m * power;
    return 10 * power;
}

axis nice_axis(const std::vector<double>& values, bool with_zero) {
    bool any = false;
    long double lo = 0, hi = 0;
    for (double v : values) {
        if (!std::isfinite(v)) continue;
        if (!any || v < lo) lo = v;
        if (!any || v > hi) hi = v;
        any = true;
    }
    if (!any) {
        lo = 0;
        hi = 1;
    }
    if (with_zero) {
        if (lo > 0) lo = 0;
        if (hi < 0) hi = 0;
    }
    // A span below a millionth of a millionth of the values' size is
    // rounding, not data; below 1e-290 its ticks would not be distinct doubles.
    long double size = std::fmax(std::fabs(lo), std::fabs(hi));
    if (hi - lo <= size * 1e-12L || hi - lo < 1e-290L) {
        long double pad = size == 0 ? 1 : std::fmax(size * 0.1L, 1e-290L);
        lo = with_zero && lo >= 0 ? lo : lo - pad;
        hi = with_zero && hi <= 0 ? hi : hi + pad;
        if (with_zero && lo == 0 && hi == 0) hi = 1;
    }
    long double step = nice_step((hi - lo) / 5);
    // Ticks as whole multiples of the step, so that 0 is exactly 0; those
    // beyond the largest double are left out.
    axis a;
    long double first = std::floor(lo / step), last = std::ceil(hi / step);
    for (long double k = first; k <= last && a.ticks.size() < 20; ++k) {
        double t = static_cast<double>(k * step);
        // k is -0 when the range starts just below 0: the tick is 0, not "-0".
        if (t == 0) t = 0;
        if (std::isfinite(t)) a.ticks.push_back(t);
    }
    // The ends: the outer ticks, or the values where rounding put a tick
    // inside them or a tick did not fit into a double.
    a.lo = a.ticks.empty() ? lo : std::fmin(lo, static_cast<long double>(a.ticks.front()));
    a.hi = a.ticks.empty() ? hi : std::fmax(hi, static_cast<long double>(a.ticks.back()));
    return a;
}

double axis_pixel(const axis& a, double v, double px_lo, double px_hi) {
    long double share = (static_cast<long double>(v) - a.lo) / (a.hi - a.lo);
    return static_cast<double>(px_lo + share * (static_cast<long double>(px_hi) - px_lo));
}

double frame_x(const frame& f, double v) { return axis_pixel(f.x, v, f.left, f.left + f.width); }
double frame_y(const frame& f, double v) { return axis_pixel(f.y, v, f.top + f.height, f.top); }

std::string px(double v) {
    // Tenths as a whole number: snprintf's exact decimal conversion costs
    // more than the rest of the page for ten thousand points.
    if (!(std::fabs(v) < 1e12)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.1f", v);
        return buf;
    }
    long long tenths = std::llround(v * 10);
    std::string s = tenths < 0 ? "-" : "";
    unsigned long long a = tenths < 0 ? -static_cast<unsigned long long>(tenths) : tenths;
    s += std::to_string(a / 10);
    if (a % 10) {
        s += '.';
        s += static_cast<char>('0' + a % 10);
    }
    return s;
}

void svg_begin(std::string& out, double width, double height, std::string_view label) {
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + px(width) + ' ' + px(height) + "\" width=\"" +
           px(width) + "\" height=\"" + px(height) + "\" role=\"img\" aria-label=\"" + html_text(label) + "\">\n";
}

void svg_end(std::string& out) { out += "</svg>\n"; }

void svg_line(std::string& out, double x1, double y1, double x2, double y2, std::string_view cls) {
    out += "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) + "\" class=\"";
    out += cls;
    out += "\"/>\n";
}

void svg_text(std::string& out, double x, double y, std::string_view text, std::string_view anchor,
              std::string_view cls) {
    out += "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"";
    out += anchor;
    out += "\" class=\"";
    out += cls;
    out += "\">" + html_text(text) + "</text>\n";
}

void svg_circle(std::string& out, double x, double y, double r, std::string_view cls, std::string_view tip) {
    out += "<circle cx=\"" + px(x) + "\" cy=\"" + px(y) + "\" r=\"" + px(r) + "\" class=\"";
    out += cls;
    if (tip.empty()) {
        out += "\"/>\n";
        return;
    }
    out += "\"><title>";
    out += tip;
    out += "</title></circle>\n";
}

void draw_x_axis(std::string& out, const frame& f, std::string_view title) {
    double bottom = f.top + f.height;
    for (double t : f.x.ticks) {
        double x = frame_x(f, t);
        svg_line(out, x, f.top, x, bottom, "grid");
        svg_line(out, x, bottom, x, bottom + 5, "tick");
        svg_text(out, x, bottom + 18, num(t), "middle", "tick-label");
    }
    svg_text(out, f.left + f.width / 2, bottom + 38, title, "middle", "axis-title");
}

void draw_y_axis(std::string& out, const frame& f, std::string_view title) {
    for (double t : f.y.ticks) {
        double y = frame_y(f, t);
        svg_line(out, f.left, y, f.left + f.width, y, "grid");
        svg_line(out, f.left - 5, y, f.left, y, "tick");
        svg_text(out, f.left - 8, y + 4, num(t), "end", "tick-label");
    }
    double mid = f.top + f.height / 2;
    out += "<text x=\"0\" y=\"0\" text-anchor=\"middle\" class=\"axis-title\" transform=\"translate(" +
           px(f.left - 46) + ' ' + px(mid) + ") rotate(-90)\">" + html_text(title) + "</text>\n";
}

void draw_frame(std::string& out, const frame& f) {
    out += "<rect x=\"" + px(f.left) + "\" y=\"" + px(f.top) + "\" width=\"" + px(f.width) + "\" height=\"" +
           px(f.height) + "\" class=\"frame\"/>\n";
}

void draw_axes(std::string& out, const frame& f, std::string_view x_title, std::string_view y_title) {
    draw_x_axis(out, f, x_title);
    draw_y_axis(out, f, y_title);
    draw_frame(out, f);
}

std::string short_name(std::string_view name, std::size_t max_bytes) {
    if (name.size() <= max_bytes) return std::string(name);
    std::size_t cut = max_bytes;
    // Back up over continuation bytes (10xxxxxx) to the start of a character.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return std::string(name.substr(0, cut)) + "\xE2\x80\xA6";
}
