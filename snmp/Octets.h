#pragma once
// Short octet strings compared and copied without library calls: a message
// handles a few texts of some ten to thirty octets per binding, where a call
// into the library costs more than the work.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace veltrum::octets {

// Equality of two short texts without a library call: the cache compares
// a few OIDs of some twenty octets per binding.
[[gnu::always_inline]] inline bool sameOctets(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) {
        return false;
    }
    const char* x = a.data();
    const char* y = b.data();
    auto word = [](const char* at) {
        uint64_t w = 0;
        std::memcpy(&w, at, 8);
        return w;
    };
    auto differ = [&](std::size_t at) { return word(x + at) ^ word(y + at); };
    if (n >= 8 && n <= 24) {
        // Up to three words, the last one overlapping, without branches.
        return (differ(0) | differ(n <= 16 ? 0 : 8) | differ(n - 8)) == 0;
    }
    if (n > 24) {
        // Whole words, then the last word again (overlapping) for the rest.
        for (std::size_t i = 0; i + 8 < n; i += 8) {
            if (differ(i) != 0) {
                return false;
            }
        }
        return differ(n - 8) == 0;
    }
    if (n >= 4) {
        auto half = [](const char* at) {
            uint32_t h = 0;
            std::memcpy(&h, at, 4);
            return h;
        };
        return half(x) == half(y) && half(x + n - 4) == half(y + n - 4);
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (x[i] != y[i]) {
            return false;
        }
    }
    return true;
}

// Copies a short text without a library call (overlapping word moves);
// anything long goes to memcpy.
[[gnu::always_inline]] inline void copyOctets(char* to, const char* from, std::size_t n) {
    if (n >= 16 && n <= 32) {
        // Two blocks of sixteen, the second overlapping (an OID's text, a
        // Counter64's digits); both read before either is written.
        struct Block {
            uint64_t Low;
            uint64_t High;
        };
        Block first{};
        Block last{};
        std::memcpy(&first, from, 16);
        std::memcpy(&last, from + n - 16, 16);
        std::memcpy(to, &first, 16);
        std::memcpy(to + n - 16, &last, 16);
        return;
    }
    if (n >= 8 && n < 16) {
        uint64_t first = 0;
        uint64_t last = 0;
        std::memcpy(&first, from, 8);
        std::memcpy(&last, from + n - 8, 8);
        std::memcpy(to, &first, 8);
        std::memcpy(to + n - 8, &last, 8);
        return;
    }
    if (n >= 8 && n <= 64) {
        for (std::size_t i = 0; i + 8 < n; i += 8) {
            std::memcpy(to + i, from + i, 8);
        }
        std::memcpy(to + n - 8, from + n - 8, 8); // the last word, overlapping
    } else if (n >= 4 && n < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) {
            to[i] = from[i];
        }
    } else {
        std::memcpy(to, from, n);
    }
}

// The library's assign, kept out of line: the rare case of setText.
[[gnu::noinline]] void growText(std::string& text, std::string_view value);

// Makes a reused text hold `value`. A text that does not grow is rewritten
// in place, which needs no call into the library; `value` never points into
// `text` here.
[[gnu::always_inline]] inline void setText(std::string& text, std::string_view value) {
    if (value.size() <= text.size()) {
        copyOctets(text.data(), value.data(), value.size());
        if (value.size() != text.size()) {
            text.erase(value.size());
        }
    } else {
        growText(text, value);
    }
}

} // namespace veltrum::octets
