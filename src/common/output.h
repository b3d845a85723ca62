#pragma once
#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>

// Numbers as the default stream format writes them: %g at precision 6, or
// at the precision given.
std::string num(double v, int precision = 6);

// Writes the line and a line feed in one call, then flushes, so that lines
// from several threads never interleave.
void put_line(std::FILE* f, const std::string& line);

// Writes the line and a line feed into the stream's buffer, without a flush:
// for the result files, which one thread writes in whole blocks.
void write_line(std::FILE* f, const std::string& line);

// Fatal error on standard output: one whole line, flushed, then exit status 1.
// Safe on any thread: the process ends without running destructors, so no
// other thread can touch a table that is being released.
[[noreturn]] void fail(const std::string& message);

// The same for a message that quotes input text: written from the bytes in
// place, so that a line of a gigabyte is not copied on its way out.
[[noreturn]] void fail_quoting(std::string_view message, std::string_view text);

// Fatal error on the error stream, exit status 1.
[[noreturn]] void die(const std::string& message);

// The new-handler: "Sorry, out of memory" on the error stream, written
// without allocating, then exit status 1.
[[noreturn]] void out_of_memory();

// For memory taken from malloc rather than new: ends the run as new would,
// through the installed new-handler, or throws std::bad_alloc without one.
[[noreturn]] void allocation_failed();

// Set while a progress bar stands on the terminal of the error stream. The
// run's ends (fatal errors, interrupting signals) erase it first, so that
// neither their message nor the shell's prompt lands after the bar.
extern std::atomic<bool> error_line_open;

// Erases the bar if one stands; safe in a signal handler.
void close_error_line();
