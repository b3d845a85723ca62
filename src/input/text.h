#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Fields of text between every occurrence of delim. An empty field before a
// delimiter is kept; the empty rest after a trailing delimiter is not.
// The readers split in place with split_fields and parse_set_line instead.
std::vector<std::string> str_split(const std::string& text, const std::string& delim);

// The same fields as views into text, into a vector the caller reuses.
void split_fields(std::string_view text, std::string_view delim, std::vector<std::string_view>& fields);

// Cuts the line at its first carriage return.
void trim_string(std::string& line);
void trim_string(std::string_view& line);

// The number at the start of a field, as atof reads it.
double field_number(std::string_view field);

// A growable block of bytes from malloc, freed with its owner, so that a
// fatal error that unwinds (the fuzz builds turn exits into exceptions) leaks
// nothing. Growing past what malloc can give ends the run as new would.
struct byte_buffer {
    char* data = nullptr;
    std::size_t size = 0;
    std::size_t capacity = 0;
    byte_buffer() = default;
    byte_buffer(const byte_buffer&) = delete;
    byte_buffer& operator=(const byte_buffer&) = delete;
    byte_buffer(byte_buffer&& other) noexcept;
    byte_buffer& operator=(byte_buffer&& other) noexcept;
    ~byte_buffer();
    void reserve(std::size_t bytes);
};

// The bytes of an input file, read into memory, decompressed when the file
// is gzip (single or several members, BGZF).
struct file_bytes {
    std::string_view text;
    byte_buffer buffer;
};

// Reads the named file, or standard input for "-". The file is read with
// read(2), never mapped: a file cut short by another process while it is read
// then ends the run with a message instead of a bus error. Ends the run with a
// message naming the file when it cannot be opened or read (a directory, an
// I/O error), so that such a file never passes as an empty table, and when
// compressed data is corrupt or cut short. BGZF blocks are decompressed on up
// to thread_n threads (at most 8).
void read_file(const std::string& file_name, file_bytes& bytes);
void release_file(file_bytes& bytes);

// The name messages give for an input file: "standard input" for "-".
std::string shown_name(const std::string& file_name);

// Runs work(k) for k = 0 .. count - 1 on up to `threads` threads, the calling
// thread among them; fewer when a thread cannot be started.
void run_parallel(std::size_t count, int threads, const std::function<void(std::size_t)>& work);

// The next line of text from pos on, without its line feed; false at the
// end. A last line without a line feed counts.
bool next_line(std::string_view text, std::size_t& pos, std::string_view& line);

// Asks for huge pages behind a large buffer that is about to be filled:
// faulting memory in 4 KB at a time costs more than filling it on a virtual
// machine. Advice only: nothing changes when the kernel declines.
void advise_huge_pages(void* start, std::size_t bytes);
