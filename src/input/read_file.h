#pragma once
#include <string>
#include <string_view>

#include "common/byte_buffer.h"

// The bytes of an input file, read into memory, decompressed when the file
// is gzip (single or several members, BGZF).
struct file_bytes {
    std::string_view text;
    byte_buffer buffer;
};

// Reads the named file, or standard input for "-". The file is read with
// read(2), never mapped: a file cut short by another process while it is read
// then fails with a message instead of a bus error. Fails with a message
// naming the file when it cannot be opened or read (a directory, an I/O
// error), so that such a file never passes as an empty table, and when
// compressed data is corrupt or cut short. BGZF blocks are decompressed on up
// to `threads` threads (at most 8).
void read_file(const std::string& file_name, int threads, file_bytes& bytes);
void release_file(file_bytes& bytes);

// The name messages give for an input file: "standard input" for "-".
std::string shown_name(const std::string& file_name);

// The steps of read_file, for readers that take a file a piece at a time
// (line_blocks.h); each fails as read_file does.

// An input open for reading, closed with its owner (standard input is left
// open), and the size a regular file had when it was opened.
struct open_input {
    int fd = -1;
    bool regular = false;
    std::size_t expected = 0;
    open_input() = default;
    open_input(const open_input&) = delete;
    open_input& operator=(const open_input&) = delete;
    ~open_input();
};
void open_file(const std::string& file_name, open_input& in);

// Reads into `to` until `room` bytes or the end of the input: fewer bytes
// than room only at the end.
std::size_t read_some(open_input& in, const std::string& file_name, char* to, std::size_t room);

// The same from offset `at` of a regular file, with pread: threads can share
// the input.
std::size_t read_at(const open_input& in, const std::string& file_name, char* to, std::size_t room, std::size_t at);

// Reads the rest of the input after the raw.size bytes already in raw.
void read_rest(open_input& in, const std::string& file_name, byte_buffer& raw);

// At the end of the input, `got` bytes read in all: fails when a regular
// file was cut short by another process while it was read.
void check_whole(const open_input& in, const std::string& file_name, std::size_t got);

// The whole text of gzip bytes, decompressed on up to `threads` threads.
void gunzip_file(std::string_view raw, const std::string& file_name, int threads, byte_buffer& text);
