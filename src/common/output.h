#pragma once
#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/error.h"

// Numbers as the default stream format writes them: %g at precision 6, or
// at the precision given.
std::string num(double v, int precision = 6);

// Whether the whole text is one number as strtod reads it ("4,5", "NA", an
// empty text and "12abc" are not).
bool reads_as_number(std::string_view text);

// Writes the line and a line feed in one call, then flushes, so that lines
// from several threads never interleave.
void put_line(std::FILE* f, const std::string& line);

// Writes the line and a line feed into the stream's buffer, without a flush:
// for the result files, which one thread writes in whole blocks.
void write_line(std::FILE* f, const std::string& line);

// Set while a progress bar stands on the terminal of the error stream. The
// run's ends (fatal errors, interrupting signals) erase it first, so that
// neither their message nor the shell's prompt lands after the bar.
extern std::atomic<bool> error_line_open;

// Erases the bar if one stands; safe in a signal handler.
void close_error_line();
