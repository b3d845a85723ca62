#pragma once
#include <string>
#include <string_view>

// Bytes packed to travel inside the page: gzip, then base64. The page's
// script unpacks them with the browser's own gzip decompression, so that a
// table of a hundred thousand lines fits in a page that opens quickly.
std::string gzip_base64(std::string_view bytes);

// Base64 without line breaks (RFC 4648, with padding).
std::string base64(std::string_view bytes);
