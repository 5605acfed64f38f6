#pragma once
// What the message's general code (SnmpInfo.cpp) and its fast paths
// (SnmpInfoFast.cpp) share besides the BER primitives of Ber.h: the writing
// of reused texts and header fields, and the remembered names. Included by
// those two files only.

#include "snmp/Ber.h"
#include "snmp/Octets.h"
#include "snmp/SnmpInfo.h"

#include <cstddef>
#include <cstdint>
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

// `out` made the text of an OID name of binding `index`, from the remembered
// text when the encoding is the same.
[[gnu::always_inline]] inline void TSNMPInfo::setReplyName(std::string& out, std::size_t index,
                                                           std::string_view bytes) {
    if (index >= kRememberedNames || bytes.size() > kRememberedNameSize) {
        out.clear();
        appendOidText(out, bytes);
        return;
    }
    TNameForms& forms = m_replyNames[index];
    if (!octets::sameOctets(forms.Bytes, bytes)) {
        forms.Bytes.assign(bytes);
        forms.Text.clear();
        appendOidText(forms.Text, bytes);
    }
    octets::setText(out, forms.Text);
}

inline void TSNMPInfo::assignCommunity(std::string_view community) {
    if (!octets::sameOctets(community, Community)) {
        replaceCommunity(community);
    }
}

} // namespace veltrum
