#pragma once
// A deliberately small BER codec for the test agents, written apart from
// the program's own so that the two check each other. Only what an
// SNMPv1 GetRequest/GetResponse needs (X.690 definite lengths, INTEGER,
// OCTET STRING, NULL, OBJECT IDENTIFIER, the application counters).

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum::test::miniber {

inline std::string Length(size_t n) {
    if (n < 0x80) {
        return std::string(1, static_cast<char>(n));
    }
    std::string octets;
    while (n > 0) {
        octets.insert(octets.begin(), static_cast<char>(n & 0xFF));
        n >>= 8;
    }
    return std::string(1, static_cast<char>(0x80 | octets.size())) + octets;
}

inline std::string Wrap(uint8_t tag, const std::string& content) {
    return std::string(1, static_cast<char>(tag)) + Length(content.size()) + content;
}

// X.690 8.3: two's complement, minimal octets.
inline std::string SignedContent(int64_t value) {
    std::string octets;
    for (;;) {
        octets.insert(octets.begin(), static_cast<char>(value & 0xFF));
        const auto top = static_cast<uint8_t>(octets.front());
        value >>= 8; // arithmetic shift
        if ((value == 0 && (top & 0x80) == 0) || (value == -1 && (top & 0x80) != 0)) {
            return octets;
        }
    }
}

// X.690 8.19: the first two arcs share one subidentifier, base 128.
inline std::string OidContent(const std::string& text) {
    std::vector<uint64_t> arcs;
    uint64_t arc = 0;
    bool any = false;
    for (const char c : text) {
        if (c == '.') {
            if (any) {
                arcs.push_back(arc);
            }
            arc = 0;
            any = false;
        } else if (c >= '0' && c <= '9') {
            arc = arc * 10 + static_cast<uint64_t>(c - '0');
            any = true;
        }
    }
    if (any) {
        arcs.push_back(arc);
    }
    std::vector<uint64_t> ids;
    if (arcs.size() >= 2) {
        ids.push_back(arcs[0] * 40 + arcs[1]);
        ids.insert(ids.end(), arcs.begin() + 2, arcs.end());
    } else if (arcs.size() == 1) {
        ids.push_back(arcs[0] * 40);
    }
    std::string out;
    for (const uint64_t id : ids) {
        std::string group(1, static_cast<char>(id & 0x7F));
        for (uint64_t rest = id >> 7; rest > 0; rest >>= 7) {
            group.insert(group.begin(), static_cast<char>(0x80 | (rest & 0x7F)));
        }
        out += group;
    }
    return out;
}

inline std::string OidText(const std::string& content) {
    std::string text;
    uint64_t id = 0;
    bool first = true;
    for (const char ch : content) {
        const auto c = static_cast<uint8_t>(ch);
        id = (id << 7) | (c & 0x7F);
        if (c & 0x80) {
            continue;
        }
        if (first) {
            const uint64_t a = id < 80 ? id / 40 : 2;
            text = std::to_string(a) + "." + std::to_string(id - a * 40);
            first = false;
        } else {
            text += "." + std::to_string(id);
        }
        id = 0;
    }
    return text;
}

inline int64_t IntegerValue(const std::string& content) {
    int64_t value = content.empty() ? 0 : (static_cast<int8_t>(content[0]) < 0 ? -1 : 0);
    for (const char c : content) {
        value = static_cast<int64_t>(static_cast<uint64_t>(value) << 8) | static_cast<uint8_t>(c);
    }
    return value;
}

// Reads one item from data at pos; false (pos unchanged) when it does not fit.
inline bool Read(const std::string& data, size_t& pos, uint8_t& tag, std::string& content) {
    size_t p = pos;
    if (p + 2 > data.size()) {
        return false;
    }
    tag = static_cast<uint8_t>(data[p++]);
    size_t length = static_cast<uint8_t>(data[p++]);
    if (length & 0x80) {
        const size_t count = length & 0x7F;
        if (count == 0 || count > 4 || p + count > data.size()) {
            return false;
        }
        length = 0;
        for (size_t i = 0; i < count; ++i) {
            length = (length << 8) | static_cast<uint8_t>(data[p++]);
        }
    }
    if (length > data.size() - p) {
        return false;
    }
    content = data.substr(p, length);
    pos = p + length;
    return true;
}

// An SNMPv1 message around a PDU with these bindings (value items given encoded).
inline std::string Message(const std::string& community, uint8_t pduTag, int32_t requestId,
                           int32_t errorStatus, int32_t errorIndex,
                           const std::vector<std::pair<std::string, std::string>>& binds) {
    std::string list;
    for (const auto& [oid, value] : binds) {
        list += Wrap(0x30, Wrap(0x06, OidContent(oid)) + value);
    }
    const std::string pdu = Wrap(0x02, SignedContent(requestId)) + Wrap(0x02, SignedContent(errorStatus)) +
                            Wrap(0x02, SignedContent(errorIndex)) + Wrap(0x30, list);
    return Wrap(0x30, Wrap(0x02, SignedContent(0)) + Wrap(0x04, community) + Wrap(pduTag, pdu));
}

} // namespace veltrum::test::miniber
