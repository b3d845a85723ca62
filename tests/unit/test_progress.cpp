#include <gtest/gtest.h>

#include "common/output.h"
#include "error_of.h"
#include "progress/progress.h"

TEST(ProgressLine, CountsRateAndTimeLeft) {
    // 250 of 1000 in 2 s: 125 a second, 750 left take 6 s; 7.5 of 30 cells full.
    EXPECT_EQ(progress_line(250, 1000, 2.0, 80),
              "[#######.......................] 250/1000 tasks  125.0/s  0:06 left");
    EXPECT_EQ(progress_line(1, 7201, 1.0, 80), "[..............................] 1/7201 tasks  1.0/s  2:00:00 left");
    EXPECT_EQ(progress_line(1000, 1000, 4.0, 80),
              "[##############################] 1000/1000 tasks  250.0/s  0:00 left");
}

TEST(ProgressLine, NothingDoneYetHasNoRate) {
    EXPECT_EQ(progress_line(0, 10, 0.5, 80), "[..............................] 0/10 tasks  -/s  - left");
    EXPECT_EQ(progress_line(0, 10, 0.0, 80), "[..............................] 0/10 tasks  -/s  - left");
}

TEST(ProgressLine, NarrowTerminalDropsTheBarThenCutsTheLine) {
    // The last column stays free, or the terminal would wrap to a new line.
    EXPECT_EQ(progress_line(250, 1000, 2.0, 43), "[#....] 250/1000 tasks  125.0/s  0:06 left");
    EXPECT_EQ(progress_line(250, 1000, 2.0, 42), "250/1000 tasks  125.0/s  0:06 left");
    EXPECT_EQ(progress_line(250, 1000, 2.0, 20), "250/1000 tasks  125");
    for (int width = 2; width <= 200; ++width)
        EXPECT_LE(progress_line(123456, 999999, 3.0, width).size(), static_cast<std::size_t>(width - 1)) << width;
}

// A fatal error while a bar stands erases it first; with no bar, the message
// is as it always was (the control). The error is thrown with its line, and
// the command erases the bar before writing it.
static std::string error_on_stderr(bool bar_open) {
    error_line_open = bar_open;
    run_error e = error_of([] { die("gone"); });
    EXPECT_TRUE(e.on_stderr);
    testing::internal::CaptureStderr();
    close_error_line();
    put_line(stderr, e.text());
    return testing::internal::GetCapturedStderr();
}

TEST(ProgressBar, FatalErrorErasesTheBarFirst) {
    EXPECT_EQ(error_on_stderr(true), "\r\033[Kgone\n");
    EXPECT_EQ(error_on_stderr(false), "gone\n");
    EXPECT_FALSE(error_line_open);
}
