#include "report/panel.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/output.h"
#include "report/escape.h"
#include "report/svg.h"
#include "stats/ranks.h"

bool follows_direction(int rank_x, int rank_y, std::size_t n, char cor_dir) {
    // Twice the distance from the middle rank (n + 1) / 2, in whole numbers.
    long long dx = 2LL * rank_x - static_cast<long long>(n) - 1;
    long long dy = 2LL * rank_y - static_cast<long long>(n) - 1;
    if (dx == 0 || dy == 0) return false;
    bool same_half = (dx > 0) == (dy > 0);
    return cor_dir == '-' ? !same_half : same_half;
}

// Dots of one colour and size as one path of zero-length strokes with round
// ends: about 10 bytes a gene instead of 50 for a <circle>.
static void dot_path(std::string& out, const std::string& dots, const char* cls, double diameter) {
    if (dots.empty()) return;
    out += "<path class=\"";
    out += cls;
    out += "\" stroke-width=\"" + px(diameter) + "\" d=\"" + dots + "\"/>\n";
}

static std::string gene_tip(const fdata& d, int k) {
    return html_text(d.genes[k]) + tip_break +
           html_text("set score " + num(d.vec_x[k]) + ", list score " + num(d.vec_y[k]) + ", weight " +
                    num(d.weights[k]));
}

static std::string scatter(const struct fstat& s, const std::vector<int>& by_weight) {
    const fdata& d = s.data;
    std::size_t n = d.genes.size();
    std::size_t shown = std::min(n, panel_max_genes);
    std::vector<double> xs, ys;
    for (std::size_t j = 0; j < shown; ++j) {
        xs.push_back(d.vec_x[by_weight[j]]);
        ys.push_back(d.vec_y[by_weight[j]]);
    }
    const double width = 440, height = 360;
    frame f{70, 16, width - 70 - 14, height - 16 - 56, nice_axis(xs, false), nice_axis(ys, false)};
    std::string out;
    svg_begin(out, width, height, "Gene-set score against gene-list score of the paired genes of " + s.name);
    draw_axes(out, f, "Gene-set score (after -r)", "Gene-list score (after -r)");

    // Eight dot sizes: the area of a dot is in proportion to the weight,
    // rounded up to the next eighth of the largest weight.
    const int steps = 8;
    const double max_diameter = 14;
    double top_weight = 0;
    for (double w : d.weights)
        if (std::isfinite(w)) top_weight = std::max(top_weight, w);
    std::vector<std::string> dots[2];
    dots[0].resize(steps + 1);
    dots[1].resize(steps + 1);
    // Lightest first, so that heavy dots lie on top.
    for (std::size_t j = shown; j-- > 0;) {
        int k = by_weight[j];
        double x = frame_x(f, d.vec_x[k]), y = frame_y(f, d.vec_y[k]);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        double share = top_weight > 0 && std::isfinite(d.weights[k]) ? d.weights[k] / top_weight : 0;
        int step = static_cast<int>(std::ceil(std::clamp(share, 0.0, 1.0) * steps));
        bool follows = follows_direction(d.rank_x[k], d.rank_y[k], n, s.cor_dir);
        // Whole pixels: a dot is at least a pixel wide, and the page stays
        // small with fifty panels of thousands of genes.
        dots[follows][step] += 'M' + std::to_string(std::lround(x)) + ' ' + std::to_string(std::lround(y)) + "h0";
    }
    for (int step = 0; step <= steps; ++step) {
        // Weight 0 still gets a dot one pixel wide, so that the gene is seen.
        double diameter = std::max(1.0, max_diameter * std::sqrt(static_cast<double>(step) / steps));
        dot_path(out, dots[0][step], "dot-against", diameter);
        dot_path(out, dots[1][step], "dot-follows", diameter);
    }
    // The ten genes of largest weight: ringed, numbered as in the table beside.
    for (std::size_t j = 0; j < std::min<std::size_t>(10, shown); ++j) {
        int k = by_weight[j];
        double x = frame_x(f, d.vec_x[k]), y = frame_y(f, d.vec_y[k]);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        svg_circle(out, x, y, max_diameter / 2 + 1.5, "top-gene", gene_tip(d, k));
        svg_text(out, x + 10, y - 6, std::to_string(j + 1), "start", "gene-number");
    }
    svg_end(out);
    return out;
}

static std::string top_gene_table(const fdata& d, const std::vector<int>& by_weight) {
    std::string out =
        "<table class=\"genes\"><thead><tr><th>#</th><th>Gene</th><th>Set score</th><th>List score</th>"
        "<th>Set rank</th><th>List rank</th><th>Weight</th></tr></thead><tbody>\n";
    for (std::size_t j = 0; j < std::min<std::size_t>(10, by_weight.size()); ++j) {
        int k = by_weight[j];
        out += "<tr><td>" + std::to_string(j + 1) + "</td><td>" + html_text(d.genes[k]) + "</td><td>" +
               num(d.vec_x[k]) + "</td><td>" + num(d.vec_y[k]) + "</td><td>" + std::to_string(d.rank_x[k]) +
               "</td><td>" + std::to_string(d.rank_y[k]) + "</td><td>" + num(d.weights[k]) + "</td></tr>\n";
    }
    out += "</tbody></table>\n";
    return out;
}

std::string set_panel(const struct fstat& s, std::size_t number) {
    const fdata& d = s.data;
    std::vector<int> by_weight;
    bubble_asort_rev(d.weights, by_weight);  // the detail file's gene order
    std::size_t follow = 0;
    for (std::size_t k = 0; k < d.genes.size(); ++k)
        follow += follows_direction(d.rank_x[k], d.rank_y[k], d.genes.size(), s.cor_dir);

    std::string out = "<section class=\"panel\" id=\"set-" + std::to_string(number) + "\">\n";
    out += "<h3>" + std::to_string(number) + ". " + html_text(s.name) + " <span class=\"dir\">(" + s.cor_dir +
           ")</span></h3>\n";
    out += "<p class=\"stats\">Tau " + num(s.tau) + " \xC2\xB7 estimate " + num(s.estimate) + " \xC2\xB7 P-value " +
           num(s.p_value) + " \xC2\xB7 FDR " + num(s.fdr) + " \xC2\xB7 PP " + num(s.pp) + " \xC2\xB7 " +
           std::to_string(d.genes.size()) + " paired genes, " + std::to_string(follow) + " following the direction</p>\n";
    out += "<div class=\"panel-body\">\n<figure>\n";
    out += scatter(s, by_weight);
    out += "<figcaption><span class=\"key follows\"></span> follows the set's direction "
           "<span class=\"key against\"></span> does not; dot area in proportion to the gene's weight";
    if (d.genes.size() > panel_max_genes)
        out += "; the " + std::to_string(d.genes.size() - panel_max_genes) + " genes of smallest weight are not drawn";
    out += ".</figcaption>\n</figure>\n";
    out += "<div>\n<h4>The ten genes of largest weight</h4>\n" + top_gene_table(d, by_weight) + "</div>\n";
    out += "</div>\n</section>\n";
    return out;
}
