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
