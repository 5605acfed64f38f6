#pragma once
// What the message's general code (SnmpInfo.cpp) and its fast paths
// (SnmpInfoFast.cpp) share besides the BER primitives of Ber.h: the writing
// of reused texts and header fields, and the remembered names. Included by
// those two files only.

#include "snmp/Ber.h"
#include "snmp/Octets.h"
#include "snmp/SnmpInfo.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace veltrum {

namespace message_parts {

// A reused text made `length` characters long; what it holds is overwritten.
[[gnu::noinline]] void lengthenText(std::string& text, std::size_t length);

[[gnu::always_inline]] inline char* sizeText(std::string& text, std::size_t length) {
    if (length < text.size()) {
        text.erase(length);
    } else if (length > text.size()) {
        lengthenText(text, length);
    }
    return text.data();
}

// Scratch above this is let go after the build: one huge message must not
// leave its storage behind.
inline constexpr std::size_t kBuildKeep = 4096;

inline char* writeBytes(char* p, std::string_view bytes) {
    octets::copyOctets(p, bytes.data(), bytes.size());
    return p + bytes.size();
}

// Header integers go out as exactly one contents octet, the field's low eight
// bits (02 01 xx): every value the program sends fits, and agents accept it.
inline char* writeHeaderInt(char* p, int32_t value) {
    p[0] = static_cast<char>(kTagInteger);
    p[1] = '\x01';
    p[2] = static_cast<char>(value & 0xFF);
    return p + 3;
}

// Clears the upper halves of the AVX registers where the processor has
// them. Other code in the process (the GUI toolkit's, for one) may leave
// them dirty, and until they are cleared every SSE instruction waits to merge
// with them: the conversions of a reply's numbers took 15 % longer.
// A build for AVX encodes its own vector instructions so that they need no
// merge, and must not clear what the compiler may keep there.
inline void clearUpperVectorHalves() {
#if defined(__x86_64__) && defined(__SSE2__) && !defined(__AVX__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx) {
        asm volatile("vzeroupper");
    }
#endif
}

// A reply's number written straight into its reused text, each piece stored
// from a register. Writing the digits to scratch first and copying them
// would read back across the pieces' stores, which the processor cannot
// forward: the copy would wait for every number of ten digits or more. A
// shorter number is one stored word, which a copy reads back at once.
[[gnu::always_inline]] inline void setDecimalText(std::string& text, int32_t value) {
    using ber_detail::eightDigits;
    using ber_detail::kZeroCharacters;
    constexpr uint32_t kEightDigits = 100000000;
    const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    if (std::endian::native != std::endian::little || magnitude < kEightDigits) {
        std::array<char, 16> digits; // NOLINT(cppcoreguidelines-pro-type-member-init)
        octets::setText(text, std::string_view(digits.data(), decimalText(digits.data(), value)));
        return;
    }
    const uint32_t high = magnitude / kEightDigits; // 1 to 42
    const uint64_t low = eightDigits(magnitude - high * kEightDigits) + kZeroCharacters;
    const std::size_t headLength = (value < 0 ? 1 : 0) + (high >= 10 ? 2 : 1);
    char* p = sizeText(text, headLength + 8);
    if (value < 0) {
        *p++ = '-';
    }
    if (high >= 10) {
        *p++ = static_cast<char>('0' + high / 10);
    }
    *p++ = static_cast<char>('0' + high % 10);
    std::memcpy(p, &low, 8);
}

// The same for a Counter64. The length comes from the digit count, ahead
// of the digits, so the stores' places are known early.
[[gnu::always_inline]] inline void setCounter64Text(std::string& text, uint64_t value) {
    if (std::endian::native != std::endian::little || value < 100000000) {
        std::array<char, 40> digits; // NOLINT(cppcoreguidelines-pro-type-member-init)
        octets::setText(text, std::string_view(digits.data(), counter64Text(digits.data(), value)));
        return;
    }
    const std::size_t length = ber_detail::decimalDigitCount(value); // 9 to 20
    ber_detail::counter64Digits(sizeText(text, length), value, length);
}

} // namespace message_parts

// The encoding of the name of binding `index`, from the remembered one when
// the text is the same; null when the name is too long to remember (the
// caller converts it itself).
[[gnu::always_inline]] inline const std::string* TSNMPInfo::requestName(std::size_t index,
                                                                        std::string_view text) {
    if (index >= kRememberedNames || text.size() > kRememberedNameSize) {
        return nullptr;
    }
    TNameForms& forms = m_requestNames[index];
    if (!octets::sameOctets(forms.Text, text) || forms.Bytes.empty()) {
        forms.Text.assign(text);
        forms.Bytes.clear();
        appendOidBytes(forms.Bytes, text);
    }
    return &forms.Bytes;
}

// A reply's name appended: one of the first bindings' keeps its encoding
// until its text is asked for (makeText); any other is converted at once.
[[gnu::always_inline]] inline bool TNameList::appendReplyName(std::string_view bytes,
                                                              std::size_t spareCapacity) {
    const std::size_t index = m_items.size();
    std::string& entry = m_items.appendSpare();
    if (index < kRememberedNames && bytes.size() <= kRememberedNameSize) {
        octets::setText(entry, bytes);
        m_encoded |= uint32_t{1} << index;
        // Every octet of an encoding gives at most four characters (".127").
        return 4 * bytes.size() > spareCapacity;
    }
    entry.clear();
    appendOidText(entry, bytes);
    return entry.size() > spareCapacity;
}

inline void TSNMPInfo::assignCommunity(std::string_view community) {
    if (!octets::sameOctets(community, Community)) {
        replaceCommunity(community);
    }
}

} // namespace veltrum
