#include "core/json.h"

#include <cstdio>

#include "core/text.h"

namespace sp {

std::string json_string(std::string_view text) {
    // Valid UTF-8 first: a parser rejects a document with anything else.
    const std::string valid = valid_utf8(text);
    std::string out = "\"";
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto c = static_cast<unsigned char>(valid[i]);
        switch (c) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            default: break;
        }
        // Controls go escaped, also those JSON allows raw (DEL, C1, U+2028, U+2029), so that the
        // document can be shown on a terminal or read as JavaScript as it is.
        char32_t code = c;
        std::size_t length = 1;
        if (c >= 0xC0) {
            length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            code = c & (0x7F >> length);
            for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (valid[i + k] & 0x3F);
        }
        if (is_hidden_control(code)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(code));
            out += buf;
        } else {
            out.append(valid, i, length);
        }
        i += length - 1;
    }
    out += '"';
    return out;
}

}  // namespace sp
