#pragma once
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Fields of text between every occurrence of delim. An empty field before a
// delimiter is kept; the empty rest after a trailing delimiter is not.
std::vector<std::string> str_split(const std::string& text, const std::string& delim);

// The same fields as views into text, into a vector the caller reuses.
void split_fields(std::string_view text, std::string_view delim, std::vector<std::string_view>& fields);

// Cuts the line at its first carriage return.
void trim_string(std::string& line);

// The number at the start of a field, as atof reads it.
double field_number(std::string_view field);

// Reads the next line (without its line feed) into line. Returns false at the
// end of the file; ends the run with the open message when the file cannot
// be read (a directory, an I/O error), so that such a file never passes as
// an empty table.
bool read_line(std::FILE* f, const std::string& file_name, std::string& line);

// Opens a file for reading or ends the run with the open message.
std::FILE* open_input(const std::string& file_name);
