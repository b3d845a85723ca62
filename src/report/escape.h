#pragma once
#include <string>
#include <string_view>

// Set and gene names are arbitrary bytes. These turn them into text that
// cannot end the element, attribute or script it is written into.

// The bytes as UTF-8: every byte that does not belong to a well-formed
// sequence becomes U+FFFD, so the page never holds invalid UTF-8.
std::string valid_utf8(std::string_view text);

// For HTML text and quoted attribute values (also inside SVG): & < > " '
// as character references; control characters other than tab as U+FFFD.
std::string html_text(std::string_view text);

// A JSON string literal, quotes included, safe inside a <script> element:
// < > & and the two line separators JavaScript does not allow in strings
// are written as \u escapes, so no "</script>" or "<!--" can appear.
std::string json_string(std::string_view text);
