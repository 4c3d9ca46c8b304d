#include "core/text.h"

#include <cstdio>
#include <optional>

namespace sp {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

unsigned char byte(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// The character at s[i] and its length in bytes; for an ill-formed part,
// nullopt and the length of that part (its longest well-formed prefix, at
// least one byte), which one U+FFFD then replaces.
std::optional<char32_t> decode(std::string_view s, std::size_t i, std::size_t& length) {
    const unsigned char lead = byte(s, i);
    length = 1;
    if (lead < 0x80) return lead;
    std::size_t need;
    char32_t c;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2, c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3, c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return std::nullopt;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) return std::nullopt;
        const unsigned char b = byte(s, i + k);
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return std::nullopt;
        c = (c << 6) | (b & 0x3F);
        length = k + 1;
    }
    return c;
}

void append_escape(std::string& out, char32_t c) {
    char buf[12];
    if (c < 0x80)
        std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c));
    else
        std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
    out += buf;
}

}  // namespace

std::string valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0, n = 0; i < text.size(); i += n) {
        if (decode(text, i, n))
            out.append(text.substr(i, n));
        else
            out += kReplacement;
    }
    return out;
}

bool is_hidden_control(char32_t c) {
    if (c == '\n' || c == '\t') return false;
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C || c == 0x200E ||
           c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0, n = 0; i < text.size(); i += n) {
        const auto c = decode(text, i, n);
        if (!c)
            out += kReplacement;
        else if (is_hidden_control(*c))
            append_escape(out, *c);
        else
            out.append(text.substr(i, n));
    }
    return out;
}

std::string one_line(std::string_view text) {
    std::string flat;
    flat.reserve(text.size());
    for (char c : text) {
        if (c == '\r') continue;
        flat += (c == '\n' || c == '\t') ? ' ' : c;
    }
    return printable(flat);
}

}  // namespace sp
