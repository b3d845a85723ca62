#include "report/overview.h"

#include <algorithm>
#include <cmath>

#include "common/output.h"
#include "report/escape.h"
#include "report/svg.h"

overview_point place_set(const struct fstat& s) {
    overview_point p{false, false, s.estimate, 0};
    // p = 1.1 is the start value of a set whose tests gave no p-value.
    if (!std::isfinite(s.estimate) || !(s.p_value >= 0 && s.p_value <= 1)) return p;
    p.drawn = true;
    p.at_top = s.p_value == 0;
    p.y = p.at_top ? 0 : -std::log10(s.p_value);
    return p;
}

static const char* point_class(const struct fstat& s) {
    if (!(s.fdr < 0.05)) return "pt-ns";
    return s.cor_dir == '-' ? "pt-neg" : "pt-pos";
}

static std::string set_tip(const struct fstat& s) {
    return html_text(s.name) + tip_break + html_text("estimate " + num(s.estimate) + ", P-value " + num(s.p_value) +
                                                   ", FDR " + num(s.fdr) + ", tau " + num(s.tau));
}

// A triangle pointing up: the set's p-value is 0, beyond the top of the axis.
static void top_marker(std::string& out, double x, double y, const char* cls, const std::string& tip) {
    out += "<path d=\"M" + px(x) + ' ' + px(y - 5) + "l4.5 8h-9z\" class=\"";
    out += cls;
    out += "\"><title>" + tip + "</title></path>\n";
}

// Labels of the first ten sets, pushed apart so that no two overlap: each
// label sits beside its point or, when that place is taken, just below the
// label above it, joined to its point by a thin line.
static void label_top_sets(std::string& out, const frame& f, const std::vector<struct fstat>& sets,
                           const std::vector<overview_point>& where, double top_band) {
    struct label {
        double x, y;
        std::string text;
        bool left;
    };
    std::vector<label> labels;
    for (std::size_t k = 0; k < sets.size() && labels.size() < 10; ++k) {
        if (!where[k].drawn) continue;
        double x = frame_x(f, where[k].x);
        double y = where[k].at_top ? top_band : frame_y(f, where[k].y);
        labels.push_back({x, y, short_name(sets[k].name, 28), x > f.left + f.width * 0.6});
    }
    std::stable_sort(labels.begin(), labels.end(), [](const label& a, const label& b) { return a.y < b.y; });
    double last_y[2] = {-1e9, -1e9};
    for (const label& l : labels) {
        double& prev = last_y[l.left];
        double y = std::max(l.y + 4, prev + 13);
        prev = y;
        double x = l.left ? l.x - 8 : l.x + 8;
        if (y - l.y > 8) svg_line(out, l.x, l.y, x, y - 4, "leader");
        svg_text(out, x, y, l.text, l.left ? "end" : "start", "point-label");
    }
}

std::string overview_plot(const std::vector<struct fstat>& sets, bool moments) {
    std::vector<overview_point> where;
    std::vector<double> xs, ys;
    bool any_zero = false;
    for (const struct fstat& s : sets) {
        where.push_back(place_set(s));
        const overview_point& p = where.back();
        if (!p.drawn) continue;
        xs.push_back(p.x);
        if (p.at_top)
            any_zero = true;
        else
            ys.push_back(p.y);
    }
    const double width = 760, height = 470;
    // With p = 0 among the sets, a band above the axis holds them.
    const double band = any_zero ? 22 : 0;
    frame f{70, 40 + band, width - 70 - 20, height - 40 - band - 56, nice_axis(xs, true), nice_axis(ys, true)};
    double top_band = f.top - band / 2 - 2;

    std::string out;
    out.reserve(sets.size() * 160 + 8000);
    svg_begin(out, width, height, "Estimate against -log10 P-value of every tested gene set");
    // Legend: shape and fill tell the classes apart also in grey print.
    double lx = f.left;
    svg_circle(out, lx + 5, 16, 4.5, "pt-pos", "");
    svg_text(out, lx + 14, 20, "FDR < 0.05, positive", "start", "legend");
    svg_circle(out, lx + 165, 16, 4.5, "pt-neg", "");
    svg_text(out, lx + 174, 20, "FDR < 0.05, negative", "start", "legend");
    svg_circle(out, lx + 330, 16, 4, "pt-ns", "");
    svg_text(out, lx + 339, 20, "FDR \xE2\x89\xA5 0.05", "start", "legend");
    draw_axes(out, f,
              moments ? "Estimate (z of the permutation moments, standard deviations)"
                      : "Estimate (normal score of tau, standard deviations)",
              "\xE2\x88\x92log\xE2\x82\x81\xE2\x82\x80 P-value");
    if (any_zero) {
        svg_line(out, f.left, f.top - band, f.left + f.width, f.top - band, "zero-band");
        svg_text(out, f.left + 4, f.top - band - 5, "P-value 0 (below the smallest double)", "start",
                 "legend");
    }
    double zero_x = frame_x(f, 0);
    svg_line(out, zero_x, f.top, zero_x, f.top + f.height, "zero-line");
    // Sets that are not significant first, so that the others lie on top.
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t k = 0; k < sets.size(); ++k) {
            const overview_point& p = where[k];
            if (!p.drawn || (sets[k].fdr < 0.05) != (pass == 1)) continue;
            double x = frame_x(f, p.x);
            if (p.at_top)
                top_marker(out, x, top_band, point_class(sets[k]), set_tip(sets[k]));
            else
                svg_circle(out, x, frame_y(f, p.y), pass ? 4.5 : 3.5, point_class(sets[k]), set_tip(sets[k]));
        }
    }
    label_top_sets(out, f, sets, where, top_band);
    svg_end(out);
    return out;
}
