#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <random>
#include <vector>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/output.h"
#include "common/record_order.h"
#include "common/records.h"
#include "config/run_options.h"
#include "results/adjust.h"
#include "results/detail.h"

static struct fstat record(const std::string& name, double p) {
    struct fstat s;
    s.name = name;
    s.p_value = p;
    return s;
}

TEST(Adjust, PositionByPositionRatioWithoutRunningMinimum) {
    std::vector<struct fstat> records;
    records = {record("a", 0.01), record("b", 0.011), record("c", 0.012)};
    adjust_p_values(records, fdr_method::position);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].name, "c");
    EXPECT_DOUBLE_EQ(records[0].fdr, 0.012);
    EXPECT_EQ(records[1].name, "b");
    EXPECT_DOUBLE_EQ(records[1].fdr, 0.0165);
    EXPECT_EQ(records[2].name, "a");
    EXPECT_DOUBLE_EQ(records[2].fdr, 0.03);
}

TEST(Adjust, TiesCapsAndEdges) {
    std::vector<struct fstat> records;
    records = {record("a", 0.04), record("b", 0.04)};
    adjust_p_values(records, fdr_method::position);
    EXPECT_EQ(records[0].fdr, 0.04);
    EXPECT_EQ(records[1].fdr, 0.08);

    records = {record("a", 0.6), record("b", 0.9)};  // 1.2 and 0.9
    adjust_p_values(records, fdr_method::position);
    EXPECT_EQ(records[0].fdr, 0.9);
    EXPECT_EQ(records[1].fdr, 1.0);

    records = {record("a", 0.5), record("b", 1.0)};  // exactly 1 stays 1
    adjust_p_values(records, fdr_method::position);
    EXPECT_EQ(records[1].fdr, 1.0);

    records = {record("only", 0.3)};
    adjust_p_values(records, fdr_method::position);
    EXPECT_EQ(records[0].fdr, 0.3);

    records = {record("zero", 0.0), record("b", 0.5)};
    adjust_p_values(records, fdr_method::position);
    EXPECT_EQ(records[0].fdr, 0.0);

    records.clear();
    adjust_p_values(records, fdr_method::position);
    EXPECT_TRUE(records.empty());
}

// Benjamini-Hochberg as written: the FDR of the i-th smallest p-value is the
// smallest n * p_j / j over j >= i, capped at 1.
static std::vector<double> step_up_by_definition(std::vector<double> p) {
    std::sort(p.begin(), p.end());
    std::size_t n = p.size();
    std::vector<double> q(n, 1.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i; j < n; ++j) q[i] = std::min(q[i], (static_cast<double>(n) * p[j]) / (1.0 + j));
    return q;
}

TEST(Adjust, StepUpTakesTheRunningMinimumAndOrdersByFdrPValueName) {
    std::vector<struct fstat> records;
    // 0.01 at the first of three would be 0.03, 0.011 at the second 0.0165;
    // the running minimum from 0.012 down gives all three 0.012.
    records = {record("a", 0.01), record("b", 0.011), record("c", 0.012)};
    adjust_p_values(records, fdr_method::bh);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].name, "a");
    EXPECT_EQ(records[1].name, "b");
    EXPECT_EQ(records[2].name, "c");
    for (const auto& s : records) EXPECT_EQ(s.fdr, (3 * 0.012) / 3);

    // Equal p-values share the FDR and are listed by name; a large ratio is capped.
    records = {record("z", 0.04), record("y", 0.04), record("x", 0.9)};
    adjust_p_values(records, fdr_method::bh);
    EXPECT_EQ(records[0].name, "y");
    EXPECT_EQ(records[1].name, "z");
    EXPECT_EQ(records[0].fdr, (3 * 0.04) / 2);
    EXPECT_EQ(records[1].fdr, (3 * 0.04) / 2);
    EXPECT_EQ(records[2].fdr, 0.9);

    records = {record("a", 0.6), record("b", 0.7)};  // 1.2 at the first: capped by the second's 0.7
    adjust_p_values(records, fdr_method::bh);
    EXPECT_EQ(records[0].fdr, 0.7);
    EXPECT_EQ(records[1].fdr, 0.7);

    records = {record("nan", NAN), record("b", 0.5)};  // a NaN p-value goes last, FDR 1
    adjust_p_values(records, fdr_method::bh);
    EXPECT_EQ(records[0].name, "b");
    EXPECT_EQ(records[0].fdr, 1.0);
    EXPECT_EQ(records[1].name, "nan");
    EXPECT_EQ(records[1].fdr, 1.0);

    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        std::vector<double> p;
        records.clear();
        int n = 1 + static_cast<int>(rng() % 60);
        for (int k = 0; k < n; ++k) {
            // Few distinct values, so that ties are common.
            p.push_back(rng() % 3 ? (rng() % 20) / 400.0 : std::ldexp(1.0, -static_cast<int>(rng() % 40)));
            records.push_back(record("s" + std::to_string(k), p.back()));
        }
        adjust_p_values(records, fdr_method::bh);
        std::vector<double> want = step_up_by_definition(p);
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(records[k].fdr, want[k]);
            if (k > 0) {
                ASSERT_FALSE(records[k].fdr < records[k - 1].fdr);
            }
        }
    }
}

// std::sort is not stable, and stored tables hold its order of ties: the
// records sorted through their positions come out in that order, at sizes
// about its thresholds, with few and many distinct keys.
TEST(Adjust, SortedPositionsGiveStdSortOrderWithTies) {
    std::mt19937 draw(7);
    for (std::size_t n : {0, 1, 2, 15, 16, 17, 33, 100, 1000, 5000}) {
        for (int values : {1, 3, 50, 100000}) {
            std::vector<struct fstat> a;
            std::vector<double> p;
            for (std::size_t k = 0; k < n; ++k) {
                p.push_back(static_cast<double>(draw() % values) / values);
                a.push_back(record("s" + std::to_string(k), p.back()));
            }
            std::vector<struct fstat> b = a;
            std::sort(a.begin(), a.end(), stat_less_p);
            std::vector<std::size_t> order = sorted_positions(n, [&](std::size_t i, std::size_t j) { return p[i] < p[j]; });
            apply_order(b.begin(), order);
            for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(a[k].name, b[k].name) << n << " " << values << " " << k;
        }
    }
}

TEST(Numbers, DefaultStreamFormat) {
    const std::pair<double, const char*> rows[] = {
        {0.5, "0.5"},          {1, "1"},           {0.000123456789, "0.000123457"}, {0.0000123, "1.23e-05"},
        {-0.25, "-0.25"},      {1234567, "1.23457e+06"}, {-0.0, "-0"},             {2.2819164877669946, "2.28192"},
    };
    for (const auto& r : rows) EXPECT_EQ(num(r.first), r.second);
}

static std::string slurp(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// num writes what printf's %.*g writes: random bit patterns (subnormals,
// infinities, NaN of either sign), short decimals and halfway cases, at
// every precision the options allow.
TEST(Numbers, SameTextAsPrintf) {
    std::mt19937_64 rng(17);
    auto printed = [](double v, int precision) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        return std::string(buf);
    };
    const double specials[] = {0.0, -0.0, INFINITY, -INFINITY, NAN, -NAN, 5e-324, 1.7976931348623157e308,
                               0.5, 9.9999995, 1e-5, 1e-4, 123456.5, 1234567.0, 0.000123456789};
    for (double v : specials)
        for (int precision = 1; precision <= 17; ++precision) ASSERT_EQ(num(v, precision), printed(v, precision));
    for (int k = 0; k < 300000; ++k) {
        std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (k % 2) v = static_cast<double>(rng() % 100000000) / std::pow(10.0, static_cast<double>(rng() % 12)) - 0.5;
        int precision = 1 + static_cast<int>(rng() % 17);
        ASSERT_EQ(num(v, precision), printed(v, precision)) << v;
        ASSERT_EQ(num(v), printed(v, 6)) << v;
    }
}

TEST(Detail, LimitIsStrictAndTiesKeepNameOrder) {
    struct fstat kept = record("S", 0.01), limit = record("T", 0.05);
    kept.fdr = 0.0499;
    kept.cor_dir = '-';
    kept.data.genes = {"a", "b", "c"};
    kept.data.vec_x = {1, 2, 3};
    kept.data.vec_y = {-0.0, 5, 6};
    kept.data.rank_x = {3, 2, 1};
    kept.data.rank_y = {3, 2, 1};
    kept.data.weights = {0.25, 0.5, 0.25};
    limit.fdr = 0.05;
    limit.data = kept.data;
    std::vector<struct fstat> records = {kept, limit};
    std::string name = testing::TempDir() + "quorin_detail.txt";
    save_data(name, records, run_options(), {});
    EXPECT_EQ(slurp(name),
              "# Gene-set: S (-)\n"
              "Gene\tVec_x\tVec_y\tRank_x\tRank_y\tWeights\n"
              "b\t2\t5\t2\t2\t0.5\n"
              "a\t1\t-0\t3\t3\t0.25\n"
              "c\t3\t6\t1\t1\t0.25\n"
              "//\n"
              "\n");
    std::remove(name.c_str());
}
