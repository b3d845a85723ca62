#include "report/panel.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/output.h"
#include "report/escape.h"
#include "report/svg.h"
#include "stats/ranks.h"

// The page's one meaning of colour: positive in vermillion, negative in
// blue, neither in grey (classes pos, neg and zero, indexed 0, 1, 2).
static int sign_index(double v) { return v > 0 ? 0 : v < 0 ? 1 : 2; }

// Dots of one colour and size as one path of zero-length strokes with round
// ends: about 10 bytes a gene instead of 50 for a <circle>. A ring is the
// same path drawn again in white, narrower: the shape says what colour
// cannot for a reader who does not see it.
static void dot_path(std::string& out, const std::string& dots, const char* cls, double diameter, bool ring) {
    if (dots.empty()) return;
    out += "<path class=\"dot ";
    out += cls;
    out += "\" stroke-width=\"" + px(diameter) + "\" d=\"" + dots + "\"/>\n";
    if (ring && diameter > 4)
        out += "<path class=\"dot hole\" stroke-width=\"" + px(diameter - 3) + "\" d=\"" + dots + "\"/>\n";
}

static std::string gene_tip(const fdata& d, int k, int digits) {
    return html_text(d.genes[k]) + tip_break +
           html_text("set score " + num(d.vec_x[k], digits) + ", list score " + num(d.vec_y[k], digits) +
                     ", weight " + num(d.weights[k], digits));
}

static std::string scatter(const struct fstat& s, const std::vector<int>& by_weight, const panel_view& view) {
    const fdata& d = s.data;
    std::size_t n = d.genes.size();
    std::size_t shown = std::min(n, panel_max_genes);
    std::vector<double> xs, ys;
    for (std::size_t j = 0; j < shown; ++j) {
        xs.push_back(d.vec_x[by_weight[j]]);
        ys.push_back(d.vec_y[by_weight[j]]);
    }
    const double width = 440, height = 330;
    frame f{70, 16, width - 70 - 14, height - 16 - 56, nice_axis(xs, false), nice_axis(ys, false)};
    std::string out;
    svg_begin(out, width, height, "Set score against list score of the paired genes of " + s.name);
    draw_axes(out, f, view.set_axis, view.list_axis);

    // Eight dot sizes: the area of a dot is in proportion to the weight,
    // rounded up to the next eighth of the largest weight.
    const int steps = 8;
    const double max_diameter = 14;
    double top_weight = 0;
    for (double w : d.weights)
        if (std::isfinite(w)) top_weight = std::max(top_weight, w);
    // [sign of the set score][follows][step]
    std::vector<std::string> dots[3][2];
    for (auto& by_follow : dots)
        for (auto& by_step : by_follow) by_step.resize(steps + 1);
    // Lightest first, so that heavy dots lie on top.
    for (std::size_t j = shown; j-- > 0;) {
        int k = by_weight[j];
        double x = frame_x(f, d.vec_x[k]), y = frame_y(f, d.vec_y[k]);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        double share = top_weight > 0 && std::isfinite(d.weights[k]) ? d.weights[k] / top_weight : 0;
        int step = static_cast<int>(std::ceil(std::clamp(share, 0.0, 1.0) * steps));
        bool follows = follows_direction(d.rank_x[k], d.rank_y[k], n, s.cor_dir);
        int sign = sign_index(d.vec_x[k]);
        // Whole pixels: a dot is at least a pixel wide, and the page stays
        // small with fifty panels of thousands of genes.
        dots[sign][follows][step] +=
            'M' + std::to_string(std::lround(x)) + ' ' + std::to_string(std::lround(y)) + "h0";
    }
    static const char* const classes[3] = {"pos", "neg", "zero"};
    for (int step = 0; step <= steps; ++step) {
        // Weight 0 still gets a dot one pixel wide, so that the gene is seen.
        double diameter = std::max(1.0, max_diameter * std::sqrt(static_cast<double>(step) / steps));
        for (int sign = 0; sign < 3; ++sign) {
            dot_path(out, dots[sign][0][step], classes[sign], diameter, true);
            dot_path(out, dots[sign][1][step], classes[sign], diameter, false);
        }
    }
    // The ten genes of largest weight: ringed, numbered as in the table beside.
    for (std::size_t j = 0; j < std::min<std::size_t>(10, shown); ++j) {
        int k = by_weight[j];
        double x = frame_x(f, d.vec_x[k]), y = frame_y(f, d.vec_y[k]);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        svg_circle(out, x, y, max_diameter / 2 + 1.5, "top-gene", gene_tip(d, k, view.digits));
        svg_text(out, x + 10, y - 6, std::to_string(j + 1), "start", "gene-number");
    }
    svg_end(out);
    return out;
}

std::vector<double> running_concordance(const fdata& d, const std::vector<int>& position, std::vector<int>& at) {
    std::size_t n = d.genes.size();
    std::vector<int> order;
    for (std::size_t k = 0; k < n; ++k)
        if (k < position.size() && position[k] > 0) order.push_back(static_cast<int>(k));
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return position[a] < position[b]; });
    auto share = [&](int k) {
        double centred = n > 1 ? (static_cast<double>(n) + 1 - 2.0 * d.rank_x[k]) / (static_cast<double>(n) - 1) : 0;
        double w = std::isfinite(d.weights[k]) ? d.weights[k] : 0;
        return w * centred;
    };
    // Less the mean share, so that the line ends at 0 and its swing shows
    // where the list holds the set's high or low scorers.
    double mean = 0;
    for (int k : order) mean += share(k);
    if (!order.empty()) mean /= static_cast<double>(order.size());
    double total = 0;
    for (int k : order) total += std::fabs(share(k) - mean);
    std::vector<double> values;
    at.clear();
    double sum = 0;
    for (std::size_t j = 0; j < order.size(); ++j) {
        sum += share(order[j]) - mean;
        if (j + 1 < order.size() && position[order[j + 1]] == position[order[j]]) continue;
        at.push_back(position[order[j]]);
        values.push_back(total > 0 ? sum / total : 0);
    }
    return values;
}

// The axis of positions 1 .. length, with round ticks inside it and 1.
static axis position_axis(std::size_t length) {
    double last = std::max<double>(2, static_cast<double>(length));
    axis a = nice_axis({1, last}, false);
    std::vector<double> ticks{1};
    for (double t : a.ticks)
        if (t > 1 && t <= last) ticks.push_back(t);
    a.ticks = ticks;
    a.lo = 1;
    a.hi = last;
    return a;
}

// The set's genes along the whole ranked list: a tick at each gene's
// position, as high as its weight, coloured by the sign of its set score;
// above them the running concordance. Ticks of one colour that fall on the
// same pixel column are drawn once, as high as the heaviest.
static std::string along_list(const struct fstat& s, const panel_view& view) {
    const fdata& d = s.data;
    std::vector<int> at;
    std::vector<double> curve = running_concordance(d, view.position, at);
    std::vector<double> ys = curve;
    ys.push_back(0);
    const double width = 440, height = 330;
    axis x = position_axis(view.list_length);
    frame f{70, 16, width - 70 - 14, 170, x, nice_axis(ys, true)};
    frame band{f.left, f.top + f.height + 12, f.width, 50, x, axis{0, 1, {}}};
    std::string out;
    svg_begin(out, width, height, "The genes of " + s.name + " along the whole ranked list");
    draw_y_axis(out, f, "Running concordance");
    draw_frame(out, f);
    double zero_y = frame_y(f, 0);
    svg_line(out, f.left, zero_y, f.left + f.width, zero_y, "zero-line");
    if (!at.empty()) {
        std::string path = "M" + px(frame_x(f, 1)) + ' ' + px(zero_y);
        long last_column = std::lround(frame_x(f, 1));
        std::string last_y = px(zero_y);
        for (std::size_t j = 0; j < at.size(); ++j) {
            double px_x = frame_x(f, at[j]);
            std::string y = px(frame_y(f, curve[j]));
            if (std::lround(px_x) != last_column) {
                last_column = std::lround(px_x);
                path += 'H' + std::to_string(last_column);
            }
            if (y != last_y) path += 'V' + y;
            last_y = y;
        }
        path += 'H' + px(f.left + f.width);
        out += "<path class=\"curve\" d=\"" + path + "\"/>\n";
    }
    // The heaviest tick per pixel column and colour.
    std::size_t columns = static_cast<std::size_t>(band.width) + 2;
    std::vector<double> tallest[3];
    for (auto& t : tallest) t.assign(columns, -1);
    for (std::size_t k = 0; k < d.genes.size() && k < view.position.size(); ++k) {
        if (view.position[k] <= 0) continue;
        long column = std::lround(frame_x(band, view.position[k]) - band.left);
        if (column < 0 || static_cast<std::size_t>(column) >= columns) continue;
        int sign = sign_index(d.vec_x[k]);
        double w = std::isfinite(d.weights[k]) ? std::clamp(d.weights[k], 0.0, 1.0) : 0;
        tallest[sign][column] = std::max(tallest[sign][column], w);
    }
    static const char* const classes[3] = {"pos", "neg", "zero"};
    double base = band.top + band.height;
    for (int sign = 0; sign < 3; ++sign) {
        std::string ticks;
        for (std::size_t c = 0; c < columns; ++c) {
            if (tallest[sign][c] < 0) continue;
            // At least 4 pixels, so that a gene of weight 0 is seen.
            double h = std::max(4.0, tallest[sign][c] * band.height);
            ticks += 'M' + std::to_string(static_cast<long>(band.left) + static_cast<long>(c)) + ' ' + px(base) +
                     'v' + px(-h);
        }
        if (!ticks.empty()) out += "<path class=\"gene-tick " + std::string(classes[sign]) + "\" d=\"" + ticks + "\"/>\n";
    }
    svg_text(out, band.left - 8, band.top + band.height / 2 + 4, "genes", "end", "tick-label");
    draw_x_axis(out, band, "Position in the list (1 = largest list score)");
    draw_frame(out, band);
    svg_end(out);
    return out;
}

static std::string top_gene_table(const fdata& d, const std::vector<int>& by_weight, const panel_view& view) {
    std::string out =
        "<table class=\"genes\"><thead><tr><th>#</th><th>Gene</th><th>Set score</th><th>List score</th>"
        "<th title=\"among the set's paired genes\">Set rank</th><th title=\"in the whole list\">List rank</th>"
        "<th>Weight</th></tr></thead><tbody>\n";
    for (std::size_t j = 0; j < std::min<std::size_t>(10, by_weight.size()); ++j) {
        int k = by_weight[j];
        int position = static_cast<std::size_t>(k) < view.position.size() ? view.position[k] : 0;
        out += "<tr><td>" + std::to_string(j + 1) + "</td><td>" + html_text(d.genes[k]) + "</td><td>" +
               num(d.vec_x[k], view.digits) + "</td><td>" + num(d.vec_y[k], view.digits) + "</td><td>" +
               std::to_string(d.rank_x[k]) + "</td><td>" + (position > 0 ? std::to_string(position) : "") +
               "</td><td>" + num(d.weights[k], view.digits) + "</td></tr>\n";
    }
    out += "</tbody></table>\n";
    return out;
}

std::string set_panel(const struct fstat& s, std::size_t number, const panel_view& view) {
    const fdata& d = s.data;
    std::vector<int> by_weight;
    bubble_asort_rev(d.weights, by_weight);  // the detail file's gene order
    std::size_t follow = 0;
    for (std::size_t k = 0; k < d.genes.size(); ++k)
        follow += follows_direction(d.rank_x[k], d.rank_y[k], d.genes.size(), s.cor_dir);
    int g = view.digits;

    std::string out = "<section class=\"panel\" id=\"set-" + std::to_string(number) + "\">\n";
    out += "<h3>" + std::to_string(number) + ". " + html_text(s.name) + " <span class=\"dir\">(" + s.cor_dir +
           ")</span>" +
           (view.ranking.empty() ? "" : " <span class=\"in-ranking\">in " + html_text(view.ranking) + "</span>") +
           "</h3>\n";
    out += "<p class=\"stats\">Tau " + num(s.tau, g) + " \xC2\xB7 estimate " + num(s.estimate, g) +
           " \xC2\xB7 P-value " + num(s.p_value, g) + " \xC2\xB7 FDR " + num(s.fdr, g) + " \xC2\xB7 PP " +
           num(s.pp, g) + " \xC2\xB7 " + std::to_string(d.genes.size()) + " paired genes, " + std::to_string(follow) +
           " following the direction</p>\n";
    out += "<div class=\"panel-body\">\n<figure>\n";
    out += scatter(s, by_weight, view);
    out += "<figcaption>Each dot is a paired gene: <span class=\"key pos\"></span> positive, "
           "<span class=\"key neg\"></span> negative set score; filled when the gene follows the set's direction "
           "(its two ranks among the paired genes in the same half for +, opposite halves for \xE2\x88\x92), a "
           "ring when it does not; dot area in proportion to the gene's weight";
    if (d.genes.size() > panel_max_genes)
        out += "; the " + std::to_string(d.genes.size() - panel_max_genes) + " genes of smallest weight are not drawn";
    out += ".</figcaption>\n</figure>\n<figure>\n";
    out += along_list(s, view);
    out += "<figcaption>The set's genes along the whole list of " + std::to_string(view.list_length) +
           " genes, ranked by list score: a tick per gene, as high as its weight, coloured by the sign of its "
           "set score. The line is the running weighted concordance: going down the list, each gene adds its "
           "weight times its centred set rank (+1 for the set's highest score, \xE2\x88\x92" "1 for its lowest) "
           "less the mean of these over the set, divided by the sum of their magnitudes, so that the line ends "
           "at 0. It rises above 0 where the top of the "
           "list holds the set's high scorers (+) and falls below where it holds the low ones (\xE2\x88\x92).";
    out += "</figcaption>\n</figure>\n";
    out += "<div>\n<h4>The ten genes of largest weight</h4>\n" + top_gene_table(d, by_weight, view) +
           "<p class=\"note\">Set rank: among the " + std::to_string(d.genes.size()) +
           " paired genes; list rank: in the whole list (ties share the first rank).</p>\n</div>\n";
    out += "</div>\n</section>\n";
    return out;
}
