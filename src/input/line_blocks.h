#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_buffer.h"
#include "input/gzip.h"
#include "input/read_file.h"

// An input file read a block of whole lines at a time, and read again from
// its start, so that a reader that takes it twice need not hold the whole
// text. A regular file is read 4 MiB at a time, each pass; BGZF 64 blocks
// (at most 4 MiB of text) at a time, its compressed bytes held whole, since
// whether a file is BGZF is known only from all of them. Any other input is
// held whole, as read_file holds it: a pipe cannot be read twice, and
// libdeflate gives the text of a gzip member only in one piece. Every
// failure is read_file's, with its message.
struct line_blocks {
    std::string file_name;
    int threads = 1;
    open_input input;
    bool plain = false;          // a regular file, read from input
    long long start = 0;         // its offset when opened
    bool at_end = false;
    std::size_t read_bytes = 0;  // of this pass
    std::size_t first_bytes = 0; // of the first pass; 0 in the first
    byte_buffer compressed;      // BGZF
    std::vector<bgzf_extent> blocks;
    std::size_t next_block = 0;
    byte_buffer text;          // the line the last block left unfinished, then what follows it
    std::size_t handed = 0;    // bytes at the start of text handed out by next_lines
    byte_buffer held;          // the text of an input held whole
    bool whole = false;
};

void open_lines(const std::string& file_name, int threads, line_blocks& in);

// The next lines of the input: whole lines, each with its line feed, but for
// a last line that has none. False at the end of the input.
bool next_lines(line_blocks& in, std::string_view& lines);

// Reads the rest of the input and drops it. A reader that meets a wrong line
// calls it before it reports the line, so that a fault of the file further on
// (corrupt data, a file cut short) is still what it reports, as when the
// whole file was read before any of it was taken.
void read_to_end(line_blocks& in);

// Back to the start of the input, once next_lines has given all of it, for
// a second pass that gives the same lines. A file that another process
// changes between the passes fails when the change shows: cut short, with
// read_file's message; grown, or with lines the reader finds other than in
// the first pass, with input_changed's. (A change in place that keeps every
// line's layout is read as it is, as by a single read that the change
// overtakes.)
void rewind_lines(line_blocks& in);
[[noreturn]] void input_changed(const line_blocks& in);
