#include "report/page.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/out_file.h"
#include "common/output.h"
#include "common/records.h"
#include "report/escape.h"
#include "report/overview.h"
#include "report/page_assets.h"
#include "report/panel.h"
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

static std::string header(const report_run& run, std::size_t tested, std::size_t significant) {
    std::string out = "<header>\n<h1>quorin gene-set report</h1>\n<table class=\"run\">\n";
    out += "<tr><th>Version</th><td>quorin " QUORIN_VERSION "</td></tr>\n";
    out += "<tr><th>Command</th><td><code>" + html_text(command_text(run.args)) + "</code></td></tr>\n";
    out += file_row("Gene sets", run.gene_set_file, count_text(run.sets_read, "gene set", "gene sets"), run.set_lines);
    out += file_row("Gene list", run.gene_list_file, count_text(run.genes_read, "gene", "genes"), run.list_lines);
    const run_options& o = run.options;
    std::string options = "-g " + num(o.tscore) + " (score cut-off), -r " + o.adj_method + " (score treatment), -w " +
                          o.wt_method + " (weights), " +
                          (o.auto_p ? "-p (PP 0.8, 0.65, 0.5, 0.35, 0.2, smallest P-value kept)" : "PP 0.5") +
                          ", -t " + std::to_string(o.thread_n) + " (threads)";
    if (!run.output_file.empty()) options += ", table in " + run.output_file;
    if (!run.detail_file.empty()) options += ", detail in " + run.detail_file;
    out += "<tr><th>Options</th><td>" + html_text(options) + "</td></tr>\n";
    out += "<tr><th>Run</th><td>" + html_text(run.date) + "</td></tr>\n";
    out += "<tr><th>Result</th><td>" + count_text(tested, "set", "sets") + " tested, " +
           std::to_string(significant) + " with FDR below 0.05</td></tr>\n";
    out += "</table>\n</header>\n";
    return out;
}

// The table's rows as JSON for the sorting script: the cells exactly as the
// result table prints them.
static std::string table_rows_json(const std::vector<struct fstat>& sets) {
    std::string out = "[";
    out.reserve(sets.size() * 100);
    for (std::size_t k = 0; k < sets.size(); ++k) {
        const struct fstat& s = sets[k];
        if (k) out += ",\n";
        out += '[' + json_string(s.name) + ",\"" + num(s.pp) + "\",\"" + std::string(1, s.cor_dir) + "\",\"" +
               num(s.tau) + "\",\"" + num(s.estimate) + "\",\"" + num(s.p_value) + "\",\"" + num(s.fdr) + "\"]";
    }
    return out + "]";
}

std::string report_page(const report_run& run, const std::vector<struct fstat>& sets) {
    std::size_t significant = 0, undrawn = 0, at_top = 0;
    for (const struct fstat& s : sets) {
        significant += s.fdr < 0.05;
        undrawn += !place_set(s).drawn;
        at_top += place_set(s).drawn && place_set(s).at_top;
    }
    std::size_t panels = std::min(significant, report_max_panels);

    std::string out;
    out.reserve(sets.size() * 300 + panels * 40000 + 30000);  // about what a page takes
    out += page_head;
    out += header(run, sets.size(), significant);
    out += "<main>\n<section id=\"overview\">\n<h2>All tested sets</h2>\n<figure>\n";
    out += overview_plot(sets, run.options.null_kind == null_method::moments);
    out += "<figcaption>Each point is one gene set; hover over it for its name and values. The ten sets at the "
           "top of the table are labelled.";
    if (at_top)
        out += ' ' + count_text(at_top, "set has", "sets have") + " P-value 0 and " + (at_top == 1 ? "is" : "are") +
               " drawn on the top edge (\xE2\x96\xB2).";
    if (undrawn)
        out += ' ' + count_text(undrawn, "set has", "sets have") + " no finite estimate or P-value and " +
               (undrawn == 1 ? "is" : "are") + " not drawn.";
    out += "</figcaption>\n</figure>\n</section>\n";

    out += "<section id=\"table\">\n<h2>Result table</h2>\n";
    out += "<p class=\"controls\"><label>Filter by name <input id=\"filter\" type=\"search\"></label> "
           "<span id=\"shown\"></span></p>\n";
    out += "<noscript><p>Sorting and filtering need JavaScript; the rows are those of the result table.</p></noscript>\n";
    out += "<table id=\"results\"><thead><tr><th>Gene-set</th><th>PP</th><th>Cor_dir</th><th>Tau</th><th>Estimate</th>"
           "<th>P-value</th><th>FDR</th></tr></thead><tbody></tbody></table>\n</section>\n";

    out += "<section id=\"panels\">\n<h2>Sets with FDR below 0.05</h2>\n";
    if (significant == 0)
        out += "<p>No set has an FDR below 0.05.</p>\n";
    else if (significant > panels)
        out += "<p>The first " + std::to_string(panels) + " of " + std::to_string(significant) +
               " sets in table order; the other " + std::to_string(significant - panels) +
               " are left out here (the detail file, -d, has them all).</p>\n";
    // Sets with FDR below 0.05 lead the table; the loop does not rely on it,
    // as a NaN FDR may sort anywhere.
    for (std::size_t k = 0, shown = 0; k < sets.size() && shown < panels; ++k) {
        if (!(sets[k].fdr < 0.05)) continue;
        out += set_panel(sets[k], k + 1);
        ++shown;
    }
    out += "</section>\n</main>\n";

    out += "<script type=\"application/json\" id=\"rows\">";
    out += table_rows_json(sets);
    out += "</script>\n";
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
