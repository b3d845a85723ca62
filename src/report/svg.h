#pragma once
#include <string>
#include <string_view>
#include <vector>

// A small SVG writer: elements appended to a string, coordinates in pixels
// with one decimal, every piece of text escaped.

// A data range laid onto a pixel span, with the values that get a tick.
// The ends are long double so that the span of two extreme doubles
// (-1e308 .. 1e308) does not overflow.
struct axis {
    long double lo = 0;
    long double hi = 1;
    std::vector<double> ticks;
};

// An axis over the finite values (NaN and infinities are left out), widened
// to round tick steps of 1, 2 or 5 times a power of ten. A range of zero
// width (one value, or all equal) is widened around the value; with_zero
// makes the range reach 0. No finite value gives 0 .. 1.
axis nice_axis(const std::vector<double>& values, bool with_zero);

// The pixel position of v on an axis drawn from px_lo (at lo) to px_hi (at hi).
double axis_pixel(const axis& a, double v, double px_lo, double px_hi);

// The plotting area of a chart and its two axes; y grows upwards.
struct frame {
    double left, top, width, height;
    axis x, y;
};
double frame_x(const frame& f, double v);
double frame_y(const frame& f, double v);

// A pixel coordinate as written: one decimal, no trailing ".0".
std::string px(double v);

void svg_begin(std::string& out, double width, double height, std::string_view label);
void svg_end(std::string& out);
void svg_line(std::string& out, double x1, double y1, double x2, double y2, std::string_view cls);
// anchor: "start", "middle" or "end"; the text is escaped here.
void svg_text(std::string& out, double x, double y, std::string_view text, std::string_view anchor,
              std::string_view cls);
// A circle; with a non-empty tip, a <title> the browser shows on hover. The
// tip is HTML already, lines escaped by html_text and joined by tip_break.
void svg_circle(std::string& out, double x, double y, double r, std::string_view cls, std::string_view tip);
extern const char* const tip_break;

// Grid lines, ticks with their values, and the two axis titles.
void draw_axes(std::string& out, const frame& f, std::string_view x_title, std::string_view y_title);
// The parts of draw_axes, for charts that stack frames on one x axis.
void draw_x_axis(std::string& out, const frame& f, std::string_view title);
void draw_y_axis(std::string& out, const frame& f, std::string_view title);
void draw_frame(std::string& out, const frame& f);

// At most max_bytes of a name, cut at a character boundary, with "…" when cut.
std::string short_name(std::string_view name, std::size_t max_bytes);
