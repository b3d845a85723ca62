#include "report/escape.h"

#include <cstdio>

static const char replacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at text[at], or 0 when the
// byte there does not start one (overlong forms, surrogates and code points
// above U+10FFFF are not well-formed).
static std::size_t sequence_length(std::string_view text, std::size_t at) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b = byte(at);
    if (b < 0x80) return 1;
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (at + n > text.size()) return 0;
    if (byte(at + 1) < lo || byte(at + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (byte(at + k) < 0x80 || byte(at + k) > 0xBF) return 0;
    return n;
}

std::string valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t n = sequence_length(text, at);
        if (n == 0) {
            out += replacement;
            ++at;
        } else {
            out.append(text.substr(at, n));
            at += n;
        }
    }
    return out;
}

std::string html_text(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : valid_utf8(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default:
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
                out += replacement;
            else
                out += c;
        }
    }
    return out;
}

std::string json_string(std::string_view text) {
    std::string out = "\"";
    std::string utf8 = valid_utf8(text);
    for (std::size_t k = 0; k < utf8.size(); ++k) {
        char c = utf8[k];
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || c == '<' || c == '>' || c == '&' || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else if (u == 0xE2 && k + 2 < utf8.size() && utf8[k + 1] == '\x80' &&
                   (utf8[k + 2] == '\xA8' || utf8[k + 2] == '\xA9')) {
            out += utf8[k + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            k += 2;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}
