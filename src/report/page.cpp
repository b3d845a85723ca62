#include "report/page.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/out_file.h"
#include "common/output.h"
#include "common/records.h"
#include "report/escape.h"
#include "report/methods.h"
#include "report/overview.h"
#include "report/page_assets.h"
#include "report/packed.h"
#include "report/panel.h"
#include "report/rankings.h"
#include "results/table.h"

std::string command_text(const std::vector<std::string>& args) {
    std::string out;
    for (const std::string& a : args) {
        if (!out.empty()) out += ' ';
        bool plain = !a.empty() && a.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                       "0123456789-_=./,:+@%") == std::string::npos;
        if (plain) {
            out += a;
            continue;
        }
        out += '\'';
        for (char c : a) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        out += '\'';
    }
    return out;
}

std::string run_date() {
    std::time_t now = std::time(nullptr);
    if (const char* fixed = std::getenv("SOURCE_DATE_EPOCH")) now = static_cast<std::time_t>(std::atoll(fixed));
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return buf;
}

static std::string count_text(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

static std::string file_row(const char* what, const std::string& name, const std::string& counted, long long lines) {
    std::string out = "<tr><th>" + std::string(what) + "</th><td><code>" + html_text(name) + "</code>: " + counted;
    if (lines >= 0) out += ", " + count_text(static_cast<std::size_t>(lines), "line", "lines");
    return out + "</td></tr>\n";
}

static std::string options_text(const report_run& run) {
    const run_options& o = run.options;
    std::string options = "-g " + num(o.tscore) + " (score cut-off), -r " + o.adj_method + " (score treatment), -w " +
                          o.wt_method + " (weights), " +
                          (o.auto_p ? "-p (PP 0.8, 0.65, 0.5, 0.35, 0.2, smallest P-value kept)" : "PP 0.5") +
                          ", -t " + std::to_string(o.thread_n) + " (threads), --fdr=" +
                          (fdr_in_effect(o) == fdr_method::bh ? "bh" : "position");
    if (o.min_size > 1) options += ", --min-size=" + std::to_string(o.min_size);
    if (o.max_size < INT_MAX) options += ", --max-size=" + std::to_string(o.max_size);
    if (o.permutations > 0)
        options += ", --permutations=" + std::to_string(o.permutations) + " --exceed=" + std::to_string(o.exceed) +
                   " --seed=" + std::to_string(o.seed);
    if (o.size_column) options += ", --size";
    if (o.digits != 6) options += ", --digits=" + std::to_string(o.digits);
    if (!run.output_file.empty()) options += ", table in " + run.output_file;
    if (!run.detail_file.empty()) options += ", detail in " + run.detail_file;
    return options;
}

static std::size_t ranking_count(const report_run& run) {
    return run.rankings ? run.rankings->names.size() : 1;
}

static std::string header(const report_run& run, std::size_t tested, std::size_t significant) {
    std::string out = "<header>\n<h1>quorin gene-set report</h1>\n<table class=\"run\">\n";
    out += "<tr><th>Version</th><td>quorin " QUORIN_VERSION "</td></tr>\n";
    out += "<tr><th>Command</th><td><code>" + html_text(command_text(run.args)) + "</code></td></tr>\n";
    out += file_row("Gene sets", run.gene_set_file, count_text(run.sets_read, "gene set", "gene sets"), run.set_lines);
    if (run.options.many_lists)
        out += file_row("Rankings", run.gene_list_file,
                        count_text(run.genes_read, "gene", "genes") + " in " +
                            count_text(ranking_count(run), "ranking", "rankings"),
                        run.list_lines);
    else
        out += file_row("Gene list", run.gene_list_file, count_text(run.genes_read, "gene", "genes"), run.list_lines);
    out += "<tr><th>Options</th><td>" + html_text(options_text(run)) + "</td></tr>\n";
    out += "<tr><th>Run</th><td>" + html_text(run.date) + "</td></tr>\n";
    out += "<tr><th>Result</th><td>" + count_text(tested, "set", "sets") + " tested" +
           (run.options.many_lists ? " (sets \xC3\x97 rankings)" : "") + ", " + std::to_string(significant) +
           " with FDR below 0.05</td></tr>\n";
    out += "</table>\n</header>\n";
    return out;
}

static std::string methods(const report_run& run) {
    return "<section id=\"methods\">\n<h2>Methods</h2>\n<p>" +
           html_text(methods_text(run.options, ranking_count(run))) + "</p>\n</section>\n";
}

static std::string warnings(const report_run& run) {
    if (run.notes.empty()) return "";
    std::string out = "<section id=\"warnings\" class=\"warnings\" role=\"note\">\n<h2>Warnings and diagnostics</h2>\n<ul>\n";
    for (const std::string& line : run.notes) out += "<li>" + html_text(line) + "</li>\n";
    return out + "</ul>\n</section>\n";
}

// Said in place of a plot that would be empty.
static std::string nothing_tested(const report_run& run) {
    std::string out = "<p class=\"empty\">No set was tested, so there is nothing to plot: none of the " +
                      count_text(run.sets_read, "gene set", "gene sets") + " read shared a gene with the " +
                      (run.options.many_lists ? "rankings" : "gene list");
    if (run.options.min_size > 1 || run.options.max_size < INT_MAX) out += " within --min-size and --max-size";
    out += run.notes.empty() ? ". --verbose names the sets and counts what the readers dropped."
                             : ". The lines above say more.";
    return out + "</p>\n";
}

static std::string overview(const report_run& run, const std::vector<struct fstat>& sets) {
    std::size_t undrawn = 0, at_top = 0;
    for (const struct fstat& s : sets) {
        overview_point p = place_set(s);
        undrawn += !p.drawn;
        at_top += p.drawn && p.at_top;
    }
    std::string out = "<section id=\"overview\">\n<h2>All tested sets</h2>\n";
    if (sets.empty()) return out + nothing_tested(run) + "</section>\n";
    if (undrawn == sets.size())
        return out + "<p class=\"empty\">No tested set has a finite estimate and P-value to plot.</p>\n</section>\n";
    out += "<figure>\n" + overview_plot(sets, run.options.null_kind == null_method::moments);
    out += "<figcaption>Each point is one gene set; hover over it for its name and values. The ten sets at the "
           "top of the table are labelled.";
    if (at_top)
        out += ' ' + count_text(at_top, "set has", "sets have") + " P-value 0 and " + (at_top == 1 ? "is" : "are") +
               " drawn on the top edge (\xE2\x96\xB2).";
    if (undrawn)
        out += ' ' + count_text(undrawn, "set has", "sets have") + " no finite estimate or P-value and " +
               (undrawn == 1 ? "is" : "are") + " not drawn.";
    return out + "</figcaption>\n</figure>\n</section>\n";
}

// Where each ranking's lines lie in the table: they come together, in
// header order.
struct ranking_rows {
    std::size_t from = 0, count = 0, significant = 0, up = 0;
};

static std::vector<ranking_rows> rows_of_rankings(const std::vector<struct fstat>& sets, std::size_t rankings) {
    std::vector<ranking_rows> r(rankings);
    for (std::size_t k = 0; k < sets.size(); ++k) {
        ranking_rows& e = r[sets[k].list];
        if (e.count == 0) e.from = k;
        ++e.count;
        if (sets[k].fdr < 0.05) {
            ++e.significant;
            e.up += sets[k].cor_dir == '+';
        }
    }
    return r;
}

static std::string many_rankings(const report_run& run, const std::vector<struct fstat>& sets,
                                 const std::vector<ranking_rows>& rows) {
    const std::vector<std::string>& names = run.rankings->names;
    std::string out = "<section id=\"heatmap\">\n<h2>Sets across rankings</h2>\n";
    if (sets.empty()) return out + nothing_tested(run) + "</section>\n";
    heatmap_layout h = lay_out_heatmap(sets, names.size());
    if (h.sets.empty()) {
        out += "<p class=\"empty\">No set has an FDR below 0.05 in any ranking, so the heatmap is empty; the summary "
               "and the table below have every ranking.</p>\n";
    } else {
        out += "<figure>\n<div id=\"heat\" class=\"heat\"></div>\n<p id=\"heat-info\" class=\"note\">Click a cell for "
               "its ranking's table and the set's panel.</p>\n<figcaption>The estimate of each set (rows) in each "
               "ranking (columns): <span class=\"key pos\"></span> positive, <span class=\"key neg\"></span> "
               "negative, deeper for larger magnitudes; \xE2\x97\x8F marks FDR below 0.05; grey cells were not "
               "tested. Rows: ";
        out += h.sets.size() < h.candidates
                   ? "the " + std::to_string(h.sets.size()) + " of the " + std::to_string(h.candidates) +
                         " sets with FDR below 0.05 in some ranking that have the smallest FDR"
                   : "the " + count_text(h.sets.size(), "set", "sets") + " with FDR below 0.05 in some ranking";
        out += ", ordered by their mean estimate across the rankings shown, largest first. Columns: ";
        out += h.rankings < names.size() ? "the first " + std::to_string(h.rankings) + " of " +
                                               std::to_string(names.size()) + " rankings, in the file's order."
                                         : "the rankings in the file's order.";
        out += "</figcaption>\n</figure>\n";
    }
    out += "<h3>Rankings</h3>\n<table id=\"ranking-summary\" class=\"summary\"><thead><tr><th>Ranking</th>"
           "<th>Sets tested</th><th>FDR &lt; 0.05</th><th>of them +</th><th>of them \xE2\x88\x92</th></tr></thead>"
           "<tbody>\n";
    for (std::size_t k = 0; k < names.size(); ++k)
        out += "<tr><td><a href=\"#table\" data-ranking=\"" + std::to_string(k) + "\">" + html_text(names[k]) +
               "</a></td><td>" + std::to_string(rows[k].count) + "</td><td>" + std::to_string(rows[k].significant) +
               "</td><td>" + std::to_string(rows[k].up) + "</td><td>" +
               std::to_string(rows[k].significant - rows[k].up) + "</td></tr>\n";
    out += "</tbody></table>\n</section>\n";
    if (h.sets.empty()) return out;
    out += "<script type=\"application/json\" id=\"heat-data\">{\"sets\":[";
    for (std::size_t k = 0; k < h.sets.size(); ++k) out += (k ? "," : "") + json_string(h.sets[k]);
    out += "],\"rankings\":" + std::to_string(h.rankings) + ",\"cells\":[";
    for (std::size_t k = 0; k < h.cells.size(); ++k) out += (k ? "," : "") + std::to_string(h.cells[k]);
    out += "]}</script>\n";
    return out;
}

static std::string table_section(const report_run& run) {
    const run_options& o = run.options;
    std::string out = "<section id=\"table\">\n<h2>Result table";
    if (o.many_lists) out += " of <span id=\"ranking-name\"></span>";
    out += "</h2>\n<p class=\"controls\"><label>Filter by name <input id=\"filter\" type=\"search\"></label> "
           "<span id=\"shown\"></span> <a id=\"download\" href=\"#table\">Download TSV</a> <span class=\"note\">(the "
           "result table, byte for byte" +
           std::string(o.many_lists ? ", every ranking" : "") + ")</span></p>\n";
    out += "<noscript><p>The table, its sorting and the download need JavaScript.</p></noscript>\n";
    out += "<table id=\"results\"><thead><tr>";
    std::string head = result_header(o) + "\tFDR";
    for (std::size_t at = 0; at <= head.size();) {
        std::size_t tab = std::min(head.find('\t', at), head.size());
        out += "<th>" + html_text(head.substr(at, tab - at)) + "</th>";
        at = tab + 1;
    }
    return out + "</tr></thead><tbody></tbody></table>\n</section>\n";
}

// Each gene's place in the whole list, for the panels of one ranking.
struct list_places {
    const score_matrix* m = nullptr;
    std::unordered_map<std::string_view, std::uint32_t> rows;  // gene -> matrix row
    std::vector<std::vector<int>> positions;                    // per ranking, made when first asked for
    std::vector<std::size_t> lengths;

    explicit list_places(const score_matrix* matrix) : m(matrix) {
        if (!m) return;
        rows.reserve(m->genes.size());
        for (std::size_t g = 0; g < m->genes.size(); ++g) rows.emplace(m->genes[g], static_cast<std::uint32_t>(g));
        positions.resize(m->names.size());
        lengths.resize(m->names.size());
    }

    void fill(panel_view& v, const struct fstat& s) {
        if (!m || s.list >= positions.size()) return;
        if (positions[s.list].empty()) positions[s.list] = list_positions(*m, s.list, lengths[s.list]);
        v.list_length = lengths[s.list];
        v.position.assign(s.data.genes.size(), 0);
        for (std::size_t k = 0; k < s.data.genes.size(); ++k) {
            auto it = rows.find(s.data.genes[k]);
            if (it != rows.end()) v.position[k] = positions[s.list][it->second];
        }
    }
};

static panel_view base_view(const report_run& run) {
    panel_view v;
    std::string set_t = treatment_words(run.options.adj_method[0]), list_t = treatment_words(run.options.adj_method[1]);
    if (!set_t.empty()) v.set_axis += " (" + set_t + ")";
    if (!list_t.empty()) v.list_axis += " (" + list_t + ")";
    v.digits = run.options.digits;
    return v;
}

static std::string panels_one(const report_run& run, const std::vector<struct fstat>& sets, std::size_t significant) {
    std::size_t panels = std::min(significant, report_max_panels);
    std::string out = "<section id=\"panels\">\n<h2>Sets with FDR below 0.05</h2>\n";
    if (significant == 0)
        out += "<p>No set has an FDR below 0.05.</p>\n";
    else if (significant > panels)
        out += "<p>The first " + std::to_string(panels) + " of " + std::to_string(significant) +
               " sets in table order; the other " + std::to_string(significant - panels) +
               " are left out here (the detail file, -d, has them all).</p>\n";
    list_places places(run.rankings);
    // Sets with FDR below 0.05 lead the table; the loop does not rely on it,
    // as a NaN FDR may sort anywhere.
    for (std::size_t k = 0, shown = 0; k < sets.size() && shown < panels; ++k) {
        if (!(sets[k].fdr < 0.05)) continue;
        panel_view v = base_view(run);
        places.fill(v, sets[k]);
        out += set_panel(sets[k], k + 1, v);
        ++shown;
    }
    return out + "</section>\n";
}

// With --lists: the first set of each ranking, then the second of each, and
// so on, while the budget lasts; each ranking's panels in a group of their
// own that the page shows when the ranking is chosen.
static std::string panels_many(const report_run& run, const std::vector<struct fstat>& sets,
                               const std::vector<ranking_rows>& rows) {
    std::size_t rankings = rows.size();
    std::vector<std::vector<std::size_t>> chosen(rankings);  // table rows
    std::vector<std::string> html(rankings);
    std::vector<std::size_t> next(rankings);
    for (std::size_t r = 0; r < rankings; ++r) next[r] = rows[r].from;
    list_places places(run.rankings);
    std::size_t bytes = 0, drawn = 0;
    for (std::size_t round = 0; round < report_list_panels && bytes < report_list_panel_bytes; ++round) {
        for (std::size_t r = 0; r < rankings && bytes < report_list_panel_bytes; ++r) {
            std::size_t end = rows[r].from + rows[r].count;
            while (next[r] < end && !(sets[next[r]].fdr < 0.05)) ++next[r];
            if (next[r] >= end) continue;
            std::size_t k = next[r]++;
            panel_view v = base_view(run);
            v.ranking = run.rankings->names[r];
            places.fill(v, sets[k]);
            std::string panel = set_panel(sets[k], k + 1, v);
            bytes += panel.size();
            html[r] += panel;
            ++drawn;
        }
        // A ranking whose panels could not all be drawn says so below.
    }
    std::size_t significant = 0;
    for (const ranking_rows& e : rows) significant += e.significant;
    std::string out = "<section id=\"panels\">\n<h2>Sets with FDR below 0.05 in <span id=\"panel-ranking\"></span></h2>\n";
    out += "<p class=\"note\">Panels are drawn for up to " + std::to_string(report_list_panels) +
           " sets of each ranking, in table order, the first of every ranking before the second of any, while "
           "the page stays small: " + std::to_string(drawn) + " of the " + std::to_string(significant) +
           " (set, ranking) pairs with FDR below 0.05 have one. The detail file (-d) has them all.</p>\n";
    for (std::size_t r = 0; r < rankings; ++r) {
        out += "<div class=\"ranking-panels\" data-ranking=\"" + std::to_string(r) + "\" hidden>\n";
        if (rows[r].significant == 0) out += "<p>No set has an FDR below 0.05 in this ranking.</p>\n";
        out += html[r] + "</div>\n";
    }
    return out + "</section>\n";
}

// The name the download is saved under: the table file's own name, or one
// that says what it holds.
static std::string download_name(const report_run& run) {
    std::string name = run.output_file.substr(run.output_file.rfind('/') + 1);
    return name.empty() || name == "-" ? "quorin_results.tsv" : name;
}

std::string report_page(const report_run& run, const std::vector<struct fstat>& sets) {
    const run_options& o = run.options;
    bool many = o.many_lists && run.rankings;
    std::size_t significant = 0;
    for (const struct fstat& s : sets) significant += s.fdr < 0.05;
    std::vector<std::string> no_names;
    const std::vector<std::string>& names = run.rankings ? run.rankings->names : no_names;
    std::vector<ranking_rows> rows;
    if (many) rows = rows_of_rankings(sets, names.size());

    std::string out;
    out.reserve(sets.size() * 40 + 1000000);
    out += page_head;
    out += header(run, sets.size(), significant);
    out += "<main>\n";
    out += methods(run);
    out += warnings(run);
    out += many ? many_rankings(run, sets, rows) : overview(run, sets);
    out += table_section(run);
    out += many ? panels_many(run, sets, rows) : panels_one(run, sets, significant);
    out += "</main>\n";

    // The table's bytes, packed, and where each ranking's lines lie in it.
    out += "<script type=\"application/json\" id=\"report-data\">{\"file\":" + json_string(download_name(run)) +
           ",\"table\":\"" + gzip_base64(table_text(sets, o, names)) + "\",\"rankings\":";
    if (many) {
        out += '[';
        for (std::size_t k = 0; k < rows.size(); ++k)
            out += std::string(k ? "," : "") + "{\"name\":" + json_string(names[k]) +
                   ",\"from\":" + std::to_string(rows[k].from) + ",\"count\":" + std::to_string(rows[k].count) + '}';
        out += ']';
    } else {
        out += "null";
    }
    out += "}</script>\n";
    out += page_script;
    out += "</body>\n</html>\n";
    return out;
}

// The one place that writes the report to disk, as the other outputs are
// written: complete under its name, or not at all.
static void write_report_file(const std::string& file_name, const std::string& page) {
    out_file out = open_output(file_name);
    write_output(out, [&](std::FILE* f) { std::fwrite(page.data(), 1, page.size(), f); });
}

void save_report(const std::string& file_name, const report_run& run, const std::vector<struct fstat>& sets) {
    write_report_file(file_name, report_page(run, sets));
}
