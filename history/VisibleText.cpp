#include "history/VisibleText.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace veltrum {

namespace {

// The code points of valid UTF-8, or nothing when it is not.
bool decodeUtf8(std::string_view text, std::vector<char32_t>& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (length == 0 || c > 0xF4 || i + length > n) {
            return false;
        }
        char32_t code = c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        out.push_back(code);
        i += length;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool hidden(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || (c >= 0x200B && c <= 0x200D) || c == 0x2060 || c == 0xFEFF;
}

} // namespace

std::string VisibleOneLine(std::string_view octets) {
    std::vector<char32_t> codes;
    if (!decodeUtf8(octets, codes)) {
        codes.clear();
        for (const char c : octets) {
            codes.push_back(static_cast<unsigned char>(c));
        }
    }
    std::string out;
    char escape[12];
    for (const char32_t c : codes) {
        if (c == '\t' || c == '\n' || c == '\r') {
            out += ' ';
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            out += escape;
        } else if (hidden(c)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

} // namespace veltrum
