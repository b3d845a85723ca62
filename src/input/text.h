#pragma once
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

// The bytes of an input file: mapped into memory when it is a regular file,
// read into `copy` otherwise (pipes, devices).
struct file_bytes {
    std::string_view text;
    void* mapped = nullptr;
    std::size_t mapped_size = 0;
    std::string copy;
};

// Ends the run with the open message when the file cannot be opened or read
// (a directory, an I/O error), so that such a file never passes as an empty table.
void read_file(const std::string& file_name, file_bytes& bytes);
void release_file(file_bytes& bytes);

// The next line of text from pos on, without its line feed; false at the
// end. A last line without a line feed counts.
bool next_line(std::string_view text, std::size_t& pos, std::string_view& line);

// Asks for huge pages behind a large buffer that is about to be filled:
// faulting memory in 4 KB at a time costs more than filling it on a virtual
// machine. Advice only: nothing changes when the kernel declines.
void advise_huge_pages(void* start, std::size_t bytes);
