#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "common/byte_buffer.h"
#include "input/read_file.h"

// One stretch of a regular file read a block at a time, each thread its own
// with pread, through a buffer that is used again and again: no room for the
// whole file is ever made, and the lines are taken while they are still in
// the processor's cache. Stretch [from, to) gives the lines from just after
// the first line feed at or after `from` (from the file's start for the
// first stretch) to just after the first line feed at or after `to` (to the end of
// the file for the last stretch, or when no line feed follows): stretches
// that cut a file at any points give every line once, whole and in order,
// and a stretch with no line feed of its own gives none.
struct stretch_lines {
    const open_input* in = nullptr;
    std::string file_name;
    std::size_t from = 0, to = 0;
    bool last = false;
    std::size_t block = 0;
    std::size_t at = 0;        // the file offset read next
    byte_buffer text;          // the unfinished line, then what the last block added
    std::size_t handed = 0;    // bytes at the start of text already handed out
    bool started = false;      // the stretch's first line is found
    bool done = false;
    bool cut = false;          // the file ended before the size it had when opened
};

void open_stretch(const open_input& in, const std::string& file_name, std::size_t from, std::size_t to, bool first,
                  bool last, std::size_t block, stretch_lines& s);

// The next whole lines of the stretch, each with its line feed but for a
// last line of the file that has none. False at the stretch's end. Fails
// as read_file does on a read error.
bool next_stretch_lines(stretch_lines& s, std::string_view& lines);

// Hands over the buffer that holds the lines last given, whose bytes then
// stay as they are (a wrong line quoted in a message); the stretch goes on
// in a buffer of its own.
std::shared_ptr<byte_buffer> take_text(stretch_lines& s);
