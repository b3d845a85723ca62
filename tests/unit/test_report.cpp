#include <gtest/gtest.h>

#include <libdeflate.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/records.h"
#include "error_of.h"
#include "report/escape.h"
#include "report/methods.h"
#include "report/overview.h"
#include "report/packed.h"
#include "report/page.h"
#include "report/panel.h"
#include "report/rankings.h"
#include "report/svg.h"
#include "results/table.h"

static std::size_t count(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

// Genes drawn in a scatter: one "h0" each, the white centre of a ring aside.
static std::size_t dots(const std::string& html) {
    std::size_t n = 0;
    for (std::size_t at = html.find("<path class=\"dot "); at != std::string::npos;
         at = html.find("<path class=\"dot ", at + 1)) {
        std::string path = html.substr(at, html.find("/>", at) - at);
        if (path.find("dot hole") == std::string::npos) n += count(path, "h0");
    }
    return n;
}

static struct fstat tested(const std::string& name, double estimate, double p, double fdr, char dir = '+') {
    struct fstat s;
    s.name = name;
    s.estimate = estimate;
    s.tau = estimate / 10;
    s.p_value = p;
    s.fdr = fdr;
    s.cor_dir = dir;
    return s;
}

// A set with n paired genes whose two scores both fall with k, so that the
// descending ranks are k + 1 on both sides.
static struct fstat with_genes(const std::string& name, std::size_t n) {
    struct fstat s = tested(name, 5, 1e-6, 1e-5);
    for (std::size_t k = 0; k < n; ++k) {
        s.data.genes.push_back("G" + std::to_string(k));
        s.data.vec_x.push_back(static_cast<double>(n - k));
        s.data.vec_y.push_back(static_cast<double>(n - k) / 2);
        s.data.rank_x.push_back(static_cast<int>(k) + 1);
        s.data.rank_y.push_back(static_cast<int>(k) + 1);
        s.data.weights.push_back(1.0 - static_cast<double>(k) / n);
    }
    return s;
}

TEST(ReportEscape, HtmlTextEscapesMarkupAndRepairsUtf8) {
    EXPECT_EQ(html_text("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");
    EXPECT_EQ(html_text("</script><!--"), "&lt;/script&gt;&lt;!--");
    // Well-formed multi-byte characters pass unchanged: é, 中, an emoji.
    EXPECT_EQ(html_text("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"), "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    const std::string fffd = "\xEF\xBF\xBD";
    // A lone continuation byte, a Latin-1 byte, a sequence cut short at the end.
    EXPECT_EQ(html_text("a\x80z"), "a" + fffd + "z");
    EXPECT_EQ(html_text("caf\xE9"), "caf" + fffd);
    EXPECT_EQ(html_text("x\xE4\xB8"), "x" + fffd + fffd);
    // Overlong "/" and an encoded surrogate are not UTF-8 either.
    EXPECT_EQ(html_text("\xC0\xAF"), fffd + fffd);
    EXPECT_EQ(html_text("\xED\xA0\x80"), fffd + fffd + fffd);
    EXPECT_EQ(html_text("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);  // above U+10FFFF
    // Control characters would be parse errors; tab stays.
    EXPECT_EQ(html_text(std::string("a\0b\tc\x1b", 6)), "a" + fffd + "b\tc" + fffd);
}

TEST(ReportEscape, JsonStringCannotEndTheScript) {
    std::string s = json_string("</script><!--x&\"\\");
    EXPECT_EQ(s, "\"\\u003c/script\\u003e\\u003c!--x\\u0026\\\"\\\\\"");
    EXPECT_EQ(s.find('<'), std::string::npos);
    EXPECT_EQ(json_string("a\nb\x01"), "\"a\\u000ab\\u0001\"");
    // U+2028 and U+2029 end a line in older JavaScript; other characters pass.
    EXPECT_EQ(json_string("\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xA6"), "\"\\u2028\\u2029\xE2\x80\xA6\"");
    EXPECT_EQ(json_string("\xFF"), "\"\xEF\xBF\xBD\"");
    EXPECT_EQ(json_string(""), "\"\"");
}

TEST(ReportEscape, ShortNamesCutAtCharacterBoundaries) {
    EXPECT_EQ(short_name("ABCDEF", 6), "ABCDEF");
    EXPECT_EQ(short_name("ABCDEFG", 6), "ABCDEF\xE2\x80\xA6");
    // Byte 4 is inside the second é: the cut backs up to its start.
    EXPECT_EQ(short_name("\xC3\xA9\xC3\xA9\xC3\xA9", 3), "\xC3\xA9\xE2\x80\xA6");
    EXPECT_EQ(valid_utf8(short_name("\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 5)), short_name("\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 5));
}

// Every axis must hold its values, have finite, evenly spaced ticks in its
// range, and map its ends onto the pixel ends.
static void expect_sound_axis(const axis& a, const std::vector<double>& values) {
    ASSERT_LT(a.lo, a.hi);
    ASSERT_GE(a.ticks.size(), 2u);
    EXPECT_LE(a.ticks.size(), 12u);
    for (double v : values) {
        if (!std::isfinite(v)) continue;
        EXPECT_LE(a.lo, v);
        EXPECT_GE(a.hi, v);
        double x = axis_pixel(a, v, 10, 110);
        EXPECT_TRUE(std::isfinite(x));
        EXPECT_GE(x, 10 - 1e-9);
        EXPECT_LE(x, 110 + 1e-9);
    }
    for (double t : a.ticks) {
        EXPECT_TRUE(std::isfinite(t));
        EXPECT_LE(a.lo, t);
        EXPECT_GE(a.hi * (1 + 1e-15L), t);
    }
    long double step = static_cast<long double>(a.ticks[1]) - a.ticks[0];
    for (std::size_t k = 2; k < a.ticks.size(); ++k)
        EXPECT_NEAR(static_cast<double>((a.ticks[k] - static_cast<long double>(a.ticks[k - 1])) / step), 1.0, 1e-9);
    EXPECT_NEAR(axis_pixel(a, static_cast<double>(a.lo), 10, 110), 10, 1e-9);
}

TEST(ReportAxis, RoundRangesAroundOrdinaryValues) {
    axis a = nice_axis({-8.9, 7.3, 0.1}, true);
    EXPECT_EQ(a.lo, -10);
    EXPECT_EQ(a.hi, 10);
    EXPECT_EQ(a.ticks, (std::vector<double>{-10, -5, 0, 5, 10}));
    expect_sound_axis(a, {-8.9, 7.3});
    // with_zero reaches 0 from a range above it; without, it does not.
    EXPECT_EQ(nice_axis({2.2, 3.9}, true).lo, 0);
    EXPECT_GT(nice_axis({2.2, 3.9}, false).lo, 1);
}

TEST(ReportAxis, ZeroWidthRanges) {
    // One set: a single value is widened around it.
    axis one = nice_axis({5.37}, false);
    expect_sound_axis(one, {5.37});
    EXPECT_LT(one.lo, 5.37);
    EXPECT_GT(one.hi, 5.37);
    // All p = 1: every -log10 p is 0, and the axis runs 0 .. 1.
    axis flat = nice_axis({0, 0, 0}, true);
    EXPECT_EQ(flat.lo, 0);
    EXPECT_EQ(flat.hi, 1);
    expect_sound_axis(flat, {0});
    expect_sound_axis(nice_axis({0}, false), {0});
    expect_sound_axis(nice_axis({-3}, true), {-3});
    // Values one rounding step apart count as equal.
    expect_sound_axis(nice_axis({1.0, std::nextafter(1.0, 2.0)}, false), {1.0});
    // Nothing finite (p = 0 only, or no set): 0 .. 1.
    double inf = std::numeric_limits<double>::infinity();
    axis none = nice_axis({inf, -inf, std::nan("")}, true);
    EXPECT_EQ(none.lo, 0);
    EXPECT_EQ(none.hi, 1);
    EXPECT_EQ(nice_axis({}, false).hi, 1);
}

TEST(ReportAxis, ExtremeValuesStayFinite) {
    std::vector<std::vector<double>> cases = {
        {-DBL_MAX, DBL_MAX}, {DBL_MAX}, {-1e308, 1e308, 0}, {1e-310, 3e-310}, {4.9e-324},
        {1e15, 1e15 + 2}, {-1e-300, 1e300}, {307.6, 0, 18.2},  // -log10 of the smallest doubles
    };
    for (const auto& values : cases) {
        SCOPED_TRACE(values[0]);
        expect_sound_axis(nice_axis(values, false), values);
        expect_sound_axis(nice_axis(values, true), values);
    }
    // Infinities are left out of the range, not stretched to.
    axis a = nice_axis({1, 2, std::numeric_limits<double>::infinity()}, false);
    EXPECT_LE(a.hi, 3);
}

TEST(ReportOverview, PlacesAndDrawsEverySet) {
    std::vector<struct fstat> sets = {tested("A", 9, 1e-20, 1e-19), tested("B", -4, 1e-3, 0.01, '-'),
                                      tested("C", 0.5, 0.6, 0.9)};
    std::string svg = overview_plot(sets);
    EXPECT_EQ(count(svg, "<title>"), 3u);
    EXPECT_EQ(count(svg, "class=\"pt-pos\"><title>"), 1u);
    EXPECT_EQ(count(svg, "class=\"pt-neg\"><title>"), 1u);
    EXPECT_EQ(count(svg, "class=\"pt-ns\"><title>"), 1u);
    EXPECT_EQ(count(svg, "P-value 0 (below"), 0u);  // no band without p = 0
    EXPECT_EQ(count(svg, "class=\"point-label\""), 3u);
    EXPECT_EQ(place_set(sets[0]).y, 20);
    // With --null=moments the estimate is the moments' z, and the axis says so.
    EXPECT_EQ(count(svg, "normal score of tau"), 1u);
    EXPECT_EQ(count(overview_plot(sets, true), "z of the permutation moments"), 1u);
}

TEST(ReportOverview, PZeroOnTheTopEdgeAndUndrawableSetsLeftOut) {
    struct fstat zero = tested("ZERO", 40, 0, 0);
    struct fstat no_p = tested("NO_P", 0, 1.1, 1);  // no test gave a p-value
    struct fstat nan_est = tested("NAN", std::nan(""), 0.5, 1);
    struct fstat inf_est = tested("INF", std::numeric_limits<double>::infinity(), 0, 0);
    EXPECT_TRUE(place_set(zero).drawn && place_set(zero).at_top);
    EXPECT_FALSE(place_set(no_p).drawn);
    EXPECT_FALSE(place_set(nan_est).drawn);
    EXPECT_FALSE(place_set(inf_est).drawn);
    std::string svg = overview_plot({zero, no_p, nan_est, inf_est, tested("B", 2, 0.01, 0.04)});
    EXPECT_EQ(count(svg, "<title>"), 2u);
    EXPECT_EQ(count(svg, "P-value 0 (below the smallest double)"), 1u);
    EXPECT_EQ(count(svg, "l4.5 8h-9z\" class=\"pt-pos\"><title>ZERO"), 1u);  // the triangle
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
}

TEST(ReportOverview, AllPOneOneSetAndExtremeEstimates) {
    std::vector<struct fstat> flat;
    for (int k = 0; k < 12; ++k) flat.push_back(tested("S" + std::to_string(k), 0.1 * k, 1, 1));
    std::string svg = overview_plot(flat);
    EXPECT_EQ(count(svg, "<title>"), 12u);
    EXPECT_EQ(count(svg, "class=\"point-label\""), 10u);  // the first ten only
    for (const auto& sets : {std::vector<struct fstat>{tested("ONLY", 3, 0.2, 0.2)},
                             std::vector<struct fstat>{tested("BIG", 1e308, 1e-300, 1e-299),
                                                       tested("SMALL", -1e308, 4.9e-324, 1e-300, '-')}}) {
        std::string one = overview_plot(sets);
        EXPECT_EQ(count(one, "<title>"), sets.size());
        EXPECT_EQ(one.find("nan"), std::string::npos);
        EXPECT_EQ(one.find("inf"), std::string::npos);
    }
}

TEST(ReportPanel, GenesFollowTheDirectionByHalves) {
    // n = 5, middle rank 3.
    EXPECT_TRUE(follows_direction(1, 2, 5, '+'));
    EXPECT_TRUE(follows_direction(5, 4, 5, '+'));
    EXPECT_FALSE(follows_direction(1, 5, 5, '+'));
    EXPECT_TRUE(follows_direction(1, 5, 5, '-'));
    EXPECT_FALSE(follows_direction(2, 1, 5, '-'));
    EXPECT_FALSE(follows_direction(3, 1, 5, '+'));  // on the middle rank
    EXPECT_FALSE(follows_direction(3, 1, 5, '-'));
    // n = 4, middle 2.5: ranks 2 and 3 are in different halves.
    EXPECT_TRUE(follows_direction(2, 1, 4, '+'));
    EXPECT_FALSE(follows_direction(2, 3, 4, '+'));
}

TEST(ReportPanel, EveryGeneDrawnUpToTheCap) {
    struct fstat s = with_genes("P<&>", 25);
    std::string html = set_panel(s, 3, panel_view());
    EXPECT_EQ(dots(html), 25u);
    EXPECT_EQ(count(html, "class=\"top-gene\""), 10u);
    EXPECT_EQ(count(html, "<tr><td>"), 10u);
    EXPECT_NE(html.find("<tr><td>1</td><td>G0</td>"), std::string::npos);  // largest weight first
    EXPECT_NE(html.find("id=\"set-3\""), std::string::npos);
    EXPECT_NE(html.find("P&lt;&amp;&gt;"), std::string::npos);
    EXPECT_EQ(html.find("P<&>"), std::string::npos);
    EXPECT_EQ(html.find("not drawn"), std::string::npos);

    std::string big = set_panel(with_genes("BIG", panel_max_genes + 7), 1, panel_view());
    EXPECT_EQ(dots(big), panel_max_genes);
    EXPECT_NE(big.find("the 7 genes of smallest weight are not drawn"), std::string::npos);

    // Fewer than ten genes, and a record without detail.
    EXPECT_EQ(count(set_panel(with_genes("SMALL", 3), 1, panel_view()), "<tr><td>"), 3u);
    EXPECT_EQ(dots(set_panel(tested("EMPTY", 1, 0.01, 0.01), 1, panel_view())), 0u);
}

// The result table a page carries: its base64 unpacked and gunzipped.
static std::string unpacked(const std::string& text) {
    std::string bytes;
    unsigned bits = 0, held = 0;
    for (char c : text) {
        const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const char* at = std::strchr(digits, c);
        if (c == '=' || !at) break;
        held = held << 6 | static_cast<unsigned>(at - digits);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>(held >> bits & 255);
        }
    }
    // The gzip trailer ends with the size of the text (mod 2^32).
    std::size_t n = bytes.size() < 4 ? 0 : static_cast<unsigned char>(bytes[bytes.size() - 4]) |
                                             static_cast<unsigned char>(bytes[bytes.size() - 3]) << 8 |
                                             static_cast<unsigned char>(bytes[bytes.size() - 2]) << 16 |
                                             static_cast<std::size_t>(static_cast<unsigned char>(bytes.back())) << 24;
    std::string out(n, '\0');
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t size = 0;
    libdeflate_result r = libdeflate_gzip_decompress(d, bytes.data(), bytes.size(), out.data(), out.size(), &size);
    libdeflate_free_decompressor(d);
    EXPECT_EQ(r, LIBDEFLATE_SUCCESS);
    out.resize(size);
    return out;
}

static std::string page_table(const std::string& page) {
    std::size_t from = page.find("\"table\":\"") + 9;
    return unpacked(page.substr(from, page.find('"', from) - from));
}

static report_run sample_run() {
    report_run run;
    run.args = {"quorin", "-s", "my sets.bed", "--report=r.html"};
    run.gene_set_file = "my sets.bed";
    run.gene_list_file = "list.txt";
    run.sets_read = 3;
    run.genes_read = 100;
    run.date = "2026-01-02 03:04:05 UTC";
    return run;
}

TEST(ReportPage, HostileNamesCannotBreakThePage) {
    const std::string hostile[] = {"</script><script>alert(1)</script>", "<img src=x onerror=alert(1)>",
                                   "a\"b'c&amp;", "<!--", "\xFF\xFE bad utf-8"};
    std::vector<struct fstat> sets;
    for (const std::string& name : hostile) sets.push_back(tested(name, 3, 0.001, 0.01));
    sets.push_back(tested("\xE2\x80\xA8line", 3, 0.001, 0.01));  // harmless in HTML, not in a script
    for (struct fstat& s : sets) s.data = with_genes(s.name, 3).data;
    sets[0].data.genes[0] = "</script>gene";
    std::string page = report_page(sample_run(), sets);
    // Negative control: a plain name is found where it appears.
    std::string plain = report_page(sample_run(), {tested("PLAIN_NAME", 3, 0.001, 0.01)});
    EXPECT_GE(count(plain, "PLAIN_NAME"), 4u);

    for (const std::string& name : hostile) EXPECT_EQ(page.find(name), std::string::npos) << name;
    // Exactly the page's own two scripts open and close.
    EXPECT_EQ(count(page, "<script"), 2u);
    EXPECT_EQ(count(page, "</script>"), 2u);
    EXPECT_EQ(count(page, "<img"), 0u);
    EXPECT_EQ(count(page, "<!--"), 0u);
    EXPECT_EQ(valid_utf8(page), page);
    // Every name reaches the table's data, packed.
    EXPECT_EQ(page_table(page), table_text(sets, run_options(), {}));
}

TEST(ReportPage, HeaderTableAndPanelSelection) {
    std::vector<struct fstat> sets;
    for (int k = 0; k < 53; ++k) sets.push_back(with_genes("SIG" + std::to_string(k), 12));
    sets.push_back(tested("NOT", 0.1, 0.9, 0.95));
    std::string page = report_page(sample_run(), sets);
    EXPECT_EQ(count(page, "<section class=\"panel\""), report_max_panels);
    EXPECT_NE(page.find("The first 50 of 53 sets in table order; the other 3 are left out"), std::string::npos);
    EXPECT_NE(page.find("id=\"set-50\""), std::string::npos);
    EXPECT_EQ(page.find("id=\"set-51\""), std::string::npos);
    EXPECT_NE(page.find("54 sets tested, 53 with FDR below 0.05"), std::string::npos);
    EXPECT_NE(page.find("<code>quorin -s &#39;my sets.bed&#39; --report=r.html</code>"), std::string::npos);
    EXPECT_NE(page.find("<code>my sets.bed</code>: 3 gene sets"), std::string::npos);
    EXPECT_NE(page.find(": 100 genes</td>"), std::string::npos);
    EXPECT_NE(page.find("2026-01-02 03:04:05 UTC"), std::string::npos);
    // Line counts appear once the readers give them.
    report_run counted = sample_run();
    counted.set_lines = 300;
    EXPECT_NE(report_page(counted, sets).find("3 gene sets, 300 lines"), std::string::npos);

    std::string none = report_page(sample_run(), {tested("NOT", 0.1, 0.9, 0.95)});
    EXPECT_NE(none.find("No set has an FDR below 0.05."), std::string::npos);
    EXPECT_EQ(count(none, "<section class=\"panel\""), 0u);
    // No request leaves the page: nothing refers to another address.
    for (const std::string& p : {page, none}) {
        EXPECT_EQ(count(p, "http:"), count(p, "http://www.w3.org/2000/svg"));
        EXPECT_EQ(count(p, "https:"), 0u);
        EXPECT_EQ(p.find(" src="), std::string::npos);
        EXPECT_EQ(p.find("url("), std::string::npos);
        EXPECT_EQ(p.find("@import"), std::string::npos);
    }
}

TEST(ReportPage, CommandLineQuoting) {
    EXPECT_EQ(command_text({"quorin", "-s", "a b", "it's", "", "--report=x.html"}),
              "quorin -s 'a b' 'it'\\''s' '' --report=x.html");
}

TEST(ReportPageError, UnwritablePathEndsTheRun) {
    run_error e = error_of([] { save_report("/nonexistent-folder/report.html", sample_run(), {}); });
    EXPECT_EQ(e.text(), "Sorry, couldn't open /nonexistent-folder/report.html");
    EXPECT_TRUE(e.on_stderr);
}

TEST(ReportAxis, NoNegativeZeroTick) {
    // A range that starts at -0 (a score of 0 with its sign reversed by -r)
    // makes the first multiple of the step -0.
    for (const auto& values : std::vector<std::vector<double>>{{-0.0, 4}, {-0.0, 0.5}, {-0.0, 1e-300}, {-3, -0.0}}) {
        for (double t : nice_axis(values, true).ticks) EXPECT_FALSE(t == 0 && std::signbit(t)) << values[0];
        for (double t : nice_axis(values, false).ticks) EXPECT_FALSE(t == 0 && std::signbit(t)) << values[0];
    }
}

TEST(ReportPacked, Base64OfTheStandardVectors) {
    const char* cases[][2] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                              {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xFF\xFE", "//4="}};
    for (auto& c : cases) EXPECT_EQ(base64(c[0]), c[1]);
    std::string bytes(70000, '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>(k * 7919 % 251);
    EXPECT_TRUE(unpacked(gzip_base64(bytes)) == bytes);
}

// The page's table is the table file: the same text as write_table writes,
// for every column the options add.
TEST(ReportTable, PageCarriesTheTableFileByteForByte) {
    std::vector<struct fstat> sets = {tested("A", 5.123456789, 1.23456789e-7, 2.5e-6), tested("B", -1, 0.3, 0.6, '-')};
    sets[0].size = 12;
    sets[0].permutations = 999;
    sets[1].exact = true;
    sets[1].permutations = 24;
    struct setting { bool size; long long perms; int digits; };
    for (setting c : {setting{false, 0, 6}, setting{true, 0, 3}, setting{false, 1000, 17}}) {
        report_run run = sample_run();
        run.options.size_column = c.size;
        run.options.permutations = c.perms;
        run.options.digits = c.digits;
        char* text = nullptr;
        std::size_t size = 0;
        std::FILE* f = open_memstream(&text, &size);
        write_table(f, sets, run.options, {});
        std::fclose(f);
        std::string file(text, size);
        std::free(text);
        std::string page = report_page(run, sets);
        EXPECT_EQ(table_text(sets, run.options, {}), file);
        EXPECT_EQ(page_table(page), file);
        std::string heads;
        for (std::size_t at = page.find("<th>", page.find("id=\"results\"")); at != std::string::npos && at < page.find("</thead>", page.find("id=\"results\""));
             at = page.find("<th>", at + 1))
            heads += (heads.empty() ? "" : "\t") + page.substr(at + 4, page.find("</th>", at) - at - 4);
        EXPECT_EQ(heads + "\n", file.substr(0, file.find('\n') + 1));
    }
}

// Positions against their definition: 1 + the genes of the ranking with a
// larger score, on random columns with ties and absent genes.
TEST(ReportPositions, RankInTheWholeListAgreesWithCounting) {
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        score_matrix m;
        std::size_t genes = 1 + rng() % 60, rankings = 1 + rng() % 3;
        m.names.resize(rankings);
        m.genes.resize(genes);
        for (std::size_t k = 0; k < genes * rankings; ++k) {
            m.values.push_back(static_cast<double>(static_cast<int>(rng() % 9) - 4) / (1 + rng() % 2));
            m.present.push_back(rng() % 5 != 0);
        }
        for (std::size_t r = 0; r < rankings; ++r) {
            std::size_t length = 0, want_length = 0;
            std::vector<int> got = list_positions(m, r, length);
            for (std::size_t g = 0; g < genes; ++g) {
                want_length += m.present[r * genes + g];
                int want = 0;
                if (m.present[r * genes + g]) {
                    want = 1;
                    for (std::size_t h = 0; h < genes; ++h)
                        want += m.present[r * genes + h] && m.values[r * genes + h] > m.values[r * genes + g];
                }
                EXPECT_EQ(got[g], want);
            }
            EXPECT_EQ(length, want_length);
        }
    }
}

TEST(ReportPanel, ConcordanceRisesForFollowersFallsForOpponentsEndsAtZero) {
    struct fstat s = with_genes("S", 20);  // set rank k + 1 at list position k + 1
    std::vector<int> up, down, at;
    for (int k = 0; k < 20; ++k) {
        up.push_back(k + 1);
        down.push_back(20 - k);
    }
    std::vector<double> rising = running_concordance(s.data, up, at);
    ASSERT_EQ(at.size(), 20u);
    EXPECT_GT(*std::max_element(rising.begin(), rising.end()), 0.3);
    EXPECT_NEAR(rising.back(), 0, 1e-12);
    std::vector<double> falling = running_concordance(s.data, down, at);
    EXPECT_LT(*std::min_element(falling.begin(), falling.end()), -0.3);
    EXPECT_NEAR(falling.back(), 0, 1e-12);
    // Shared positions count once; unknown ones (0) not at all.
    std::vector<int> shared(20, 3);
    shared[0] = 0;
    EXPECT_EQ(running_concordance(s.data, shared, at).size(), 1u);
}

TEST(ReportPanel, ListRankIsThePositionInTheWholeList) {
    struct fstat s = with_genes("S", 3);
    panel_view v;
    v.position = {101, 2002, 3003};
    v.list_length = 5000;
    std::string html = set_panel(s, 1, v);
    EXPECT_NE(html.find("<td>1</td><td>101</td>"), std::string::npos);  // set rank, list rank
    EXPECT_NE(html.find("whole list of 5000 genes"), std::string::npos);
    EXPECT_EQ(count(html, "<svg"), 2u);
}

TEST(ReportMethods, SaysWhatTheRunDid) {
    struct row { const char* option; const char* phrase; };
    auto with = [](const char* option) {
        run_options o;
        std::string x = option;
        if (x == "-p") o.auto_p = true;
        if (x == "-r 23") o.adj_method = "23";
        if (x == "-w 2") set_wt_method(o, "2");
        if (x == "--fdr=bh") o.fdr_kind = fdr_method::bh;
        if (x == "--min-size=5") o.min_size = 5;
        if (x == "--permutations") o.permutations = 1000, o.seed = 42;
        if (x == "-g -1000") o.tscore = -1000;
        if (x == "--null=moments --permutations -p")
            o.null_kind = null_method::moments, o.permutations = 1000, o.auto_p = true;
        if (x == "--null=moments -w 2") o.null_kind = null_method::moments, set_wt_method(o, "2");
        return o;
    };
    const row rows[] = {
        {"", "PP 0.5 (a linear fall)"},
        {"", "Set and list scores were used as given."},
        {"", "taken from the normal approximation"},
        {"", "without the running minimum"},
        {"", "quorin " QUORIN_VERSION},
        {"-p", "PP 0.8, 0.65, 0.5, 0.35 or 0.2"},
        {"-r 23", "Set scores were taken as absolute values and list scores reversed in sign."},
        {"-w 2", "a weight from the magnitude of its list score"},
        {"--fdr=bh", "Benjamini\xE2\x80\x93Hochberg step-up values"},
        {"--min-size=5", "at least 5 paired genes"},
        {"--permutations", "up to 1000 random permutations"},
        {"--permutations", "seed 42"},
        {"-g -1000", "scored below -1000 were dropped"},
        {"--null=moments --permutations -p", "The statistic was |z|"},
        {"--null=moments --permutations -p", "the one of the most extreme statistic being kept for each set"},
        {"--null=moments -w 2", "symmetric beta distribution with its exact kurtosis"},
    };
    for (const row& r : rows) EXPECT_NE(methods_text(with(r.option), 1).find(r.phrase), std::string::npos) << r.option << ": " << r.phrase;
    EXPECT_NE(methods_text(run_options(), 7).find("each of 7 ranked gene lists"), std::string::npos);
    EXPECT_NE(methods_text(run_options(), 7).find("of each ranking separately"), std::string::npos);
}

TEST(ReportPage, WarningsAboveThePlotsAndNoEmptyPlot) {
    report_run run = sample_run();
    run.notes = {"warning: no gene of any set is in the gene list <b>"};
    std::string page = report_page(run, {});
    EXPECT_LT(page.find("warning: no gene of any set is in the gene list &lt;b&gt;"), page.find("id=\"overview\""));
    EXPECT_NE(page.find("No set was tested, so there is nothing to plot"), std::string::npos);
    EXPECT_EQ(page.find("<svg"), std::string::npos);
    EXPECT_EQ(report_page(sample_run(), {tested("A", 1, 0.5, 0.5)}).find("id=\"warnings\""), std::string::npos);
}

// Three rankings: set S significant in two, T in one, U in none.
static std::vector<struct fstat> three_rankings() {
    std::vector<struct fstat> r = {tested("S", 4, 1e-4, 0.001), tested("T", -1, 0.2, 0.3), tested("U", 0, 0.9, 0.9),
                                   tested("T", -6, 1e-6, 1e-5, '-'), tested("S", 3, 1e-3, 0.01),
                                   tested("U", 0.1, 0.8, 0.8)};
    for (std::size_t k = 0; k < r.size(); ++k) r[k].list = k / 3 + (k >= 3 ? 0 : 0);
    r[3].list = r[4].list = 1;
    r[5].list = 2;
    return r;
}

TEST(ReportHeatmap, SignificantSetsByMeanEstimateWithTheirCells) {
    heatmap_layout h = lay_out_heatmap(three_rankings(), 3);
    EXPECT_EQ(h.sets, (std::vector<std::string>{"S", "T"}));  // means 3.5 and -3.5
    EXPECT_EQ(h.cells, (std::vector<long long>{0, 4, -1, 1, 3, -1}));
    EXPECT_EQ(h.candidates, 2u);
    // Beyond the limit, the sets with the smallest FDR stay.
    std::vector<struct fstat> many;
    for (std::size_t k = 0; k < heatmap_max_sets + 5; ++k) many.push_back(tested("X" + std::to_string(k), 1, 0.01, 0.0001 * (k + 1)));
    heatmap_layout big = lay_out_heatmap(many, 1);
    EXPECT_EQ(big.sets.size(), heatmap_max_sets);
    EXPECT_EQ(big.candidates, heatmap_max_sets + 5);
    EXPECT_EQ(std::count(big.sets.begin(), big.sets.end(), "X104"), 0);
}

TEST(ReportPage, ManyRankingsOnePage) {
    report_run run = sample_run();
    run.options.many_lists = true;
    score_matrix m;
    m.names = {"first", "second<i>", "third"};
    m.genes = {"G0", "G1", "G2"};
    m.values.assign(9, 1);
    m.present.assign(9, 1);
    run.rankings = &m;
    std::vector<struct fstat> sets = three_rankings();
    for (struct fstat& s : sets)
        if (s.fdr < 0.05) s.data = with_genes(s.name, 3).data;
    std::string page = report_page(run, sets);
    EXPECT_EQ(page_table(page), table_text(sets, run.options, m.names));
    EXPECT_EQ(count(page, "class=\"ranking-panels\""), 3u);
    EXPECT_EQ(count(page, "<section class=\"panel\""), 3u);
    EXPECT_NE(page.find("second&lt;i&gt;</a></td><td>2</td><td>2</td><td>1</td><td>1</td>"), std::string::npos);
    EXPECT_NE(page.find("{\"name\":\"second\\u003ci\\u003e\",\"from\":3,\"count\":2}"), std::string::npos);
    EXPECT_NE(page.find("\"cells\":[0,4,-1,1,3,-1]"), std::string::npos);
    EXPECT_EQ(page.find("id=\"overview\""), std::string::npos);
    // Nothing significant: no heatmap, and no data for one.
    for (struct fstat& s : sets) s.fdr = 0.5;
    std::string none = report_page(run, sets);
    EXPECT_NE(none.find("the heatmap is empty"), std::string::npos);
    EXPECT_EQ(count(none, "<script"), 2u);
}
