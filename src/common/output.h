#pragma once
#include <cstdio>
#include <string>

// Numbers as the default stream format writes them: %g at precision 6, or
// at the precision given.
std::string num(double v, int precision = 6);

// Writes the line and a line feed in one call, then flushes, so that lines
// from several threads never interleave.
void put_line(std::FILE* f, const std::string& line);

// Fatal error on standard output: one whole line, flushed, then exit status 1.
// Safe on any thread: the process ends without running destructors, so no
// other thread can touch a table that is being released.
[[noreturn]] void fail(const std::string& message);

// Fatal error on the error stream, exit status 1.
[[noreturn]] void die(const std::string& message);
