#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/output.h"
#include "common/records.h"
#include "config/config.h"
#include "results/adjust.h"
#include "results/detail.h"

static struct fstat record(const std::string& name, double p) {
    struct fstat s;
    s.name = name;
    s.p_value = p;
    return s;
}

TEST(Adjust, PositionByPositionRatioWithoutRunningMinimum) {
    result_stats = {record("a", 0.01), record("b", 0.011), record("c", 0.012)};
    adjust_p_values();
    ASSERT_EQ(result_stats.size(), 3u);
    EXPECT_EQ(result_stats[0].name, "c");
    EXPECT_DOUBLE_EQ(result_stats[0].fdr, 0.012);
    EXPECT_EQ(result_stats[1].name, "b");
    EXPECT_DOUBLE_EQ(result_stats[1].fdr, 0.0165);
    EXPECT_EQ(result_stats[2].name, "a");
    EXPECT_DOUBLE_EQ(result_stats[2].fdr, 0.03);
}

TEST(Adjust, TiesCapsAndEdges) {
    result_stats = {record("a", 0.04), record("b", 0.04)};
    adjust_p_values();
    EXPECT_EQ(result_stats[0].fdr, 0.04);
    EXPECT_EQ(result_stats[1].fdr, 0.08);

    result_stats = {record("a", 0.6), record("b", 0.9)};  // 1.2 and 0.9
    adjust_p_values();
    EXPECT_EQ(result_stats[0].fdr, 0.9);
    EXPECT_EQ(result_stats[1].fdr, 1.0);

    result_stats = {record("a", 0.5), record("b", 1.0)};  // exactly 1 stays 1
    adjust_p_values();
    EXPECT_EQ(result_stats[1].fdr, 1.0);

    result_stats = {record("only", 0.3)};
    adjust_p_values();
    EXPECT_EQ(result_stats[0].fdr, 0.3);

    result_stats = {record("zero", 0.0), record("b", 0.5)};
    adjust_p_values();
    EXPECT_EQ(result_stats[0].fdr, 0.0);

    result_stats.clear();
    adjust_p_values();
    EXPECT_TRUE(result_stats.empty());
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
    result_stats = {kept, limit};
    std::string name = testing::TempDir() + "quorin_detail.txt";
    save_data(name);
    EXPECT_EQ(slurp(name),
              "# Gene-set: S (-)\n"
              "Gene\tVec_x\tVec_y\tRank_x\tRank_y\tWeights\n"
              "b\t2\t5\t2\t2\t0.5\n"
              "a\t1\t-0\t3\t3\t0.25\n"
              "c\t3\t6\t1\t1\t0.25\n"
              "//\n"
              "\n");
    std::remove(name.c_str());
    result_stats.clear();
}
