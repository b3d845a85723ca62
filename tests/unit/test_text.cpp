#include <gtest/gtest.h>

#include "input/text.h"

using strings = std::vector<std::string>;

TEST(Split, EmptyFieldRules) {
    const struct {
        const char* text;
        strings fields;
    } rows[] = {
        {"", {}},
        {"x", {"x"}},
        {"x\ty", {"x", "y"}},
        {"x\t\ty", {"x", "", "y"}},
        {"\tx", {"", "x"}},
        {"x\t", {"x"}},
        {"x\t\t", {"x", ""}},
        {"\t", {""}},
        {"\t\t", {"", ""}},
    };
    for (const auto& r : rows) EXPECT_EQ(str_split(r.text, "\t"), r.fields) << "text '" << r.text << "'";
    EXPECT_TRUE(str_split("abc", "").empty());
}

TEST(Split, LongDelimiterMatchesWhole) {
    EXPECT_EQ(str_split("x;y; z", "; "), (strings{"x;y", "z"}));
    EXPECT_EQ(str_split("a; ; b", "; "), (strings{"a", "", "b"}));
    EXPECT_EQ(str_split("a|b|c", "|"), (strings{"a", "b", "c"}));
}

TEST(Trim, CutsAtFirstCarriageReturnOnly) {
    std::string line = " a\tb \t";
    trim_string(line);
    EXPECT_EQ(line, " a\tb \t");
    line = "\r";
    trim_string(line);
    EXPECT_EQ(line, "");
    line = "ab\rcd\r";
    trim_string(line);
    EXPECT_EQ(line, "ab");
}

TEST(Lines, LastLineWithoutLineFeedCounts) {
    std::string_view text = "a\n\nb\r\nc", line;
    std::size_t pos = 0;
    strings got;
    while (next_line(text, pos, line)) got.emplace_back(line);
    EXPECT_EQ(got, (strings{"a", "", "b\r", "c"}));
}
