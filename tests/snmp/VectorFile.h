#pragma once
// Reader for the tests/data/*.vec files: blocks of "Key = value" lines
// separated by blank lines, a "# ..." comment line per block, and "[Name]"
// lines that start a section (the operation under test). Values keep the
// rest of the line verbatim, so an empty value and trailing text survive.

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace veltrum::test {

struct Vector {
    std::string file;
    int line = 0;
    std::string section;
    std::string comment;
    std::vector<std::pair<std::string, std::string>> fields;

    std::optional<std::string> find(const std::string& key) const {
        for (const auto& [k, v] : fields) {
            if (k == key) {
                return v;
            }
        }
        return std::nullopt;
    }
    std::string get(const std::string& key) const {
        auto value = find(key);
        if (!value) {
            throw std::runtime_error(where() + ": missing field " + key);
        }
        return *value;
    }
    std::vector<std::string> all(const std::string& key) const {
        std::vector<std::string> out;
        for (const auto& [k, v] : fields) {
            if (k == key) {
                out.push_back(v);
            }
        }
        return out;
    }
    std::string where() const { return file + ":" + std::to_string(line) + " (" + comment + ")"; }
};

inline std::vector<Vector> ReadVectorFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    std::vector<Vector> out;
    std::string section;
    std::string comment;
    Vector current;
    auto flush = [&] {
        if (!current.fields.empty()) {
            out.push_back(std::move(current));
        }
        current = Vector{};
        comment.clear();
    };
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            flush();
        } else if (line.front() == '[' && line.back() == ']') {
            flush();
            section = line.substr(1, line.size() - 2);
        } else if (line.front() == '#') {
            // Only the comment right above a block's fields describes it.
            if (current.fields.empty()) {
                comment = line.size() > 2 ? line.substr(2) : "";
            }
        } else {
            const std::size_t eq = line.find(" =");
            if (eq == std::string::npos) {
                throw std::runtime_error(path + ":" + std::to_string(number) + ": not a field");
            }
            if (current.fields.empty()) {
                current.file = path;
                current.line = number;
                current.section = section;
                current.comment = comment;
            }
            const std::size_t value = eq + 2 < line.size() && line[eq + 2] == ' ' ? eq + 3 : eq + 2;
            current.fields.emplace_back(line.substr(0, eq), line.substr(std::min(value, line.size())));
        }
    }
    flush();
    return out;
}

// "2B 06 01" or "2B0601" to octets.
inline std::string FromHex(const std::string& hex) {
    std::string digits;
    for (const char c : hex) {
        if (c != ' ') {
            digits.push_back(c);
        }
    }
    if (digits.size() % 2 != 0) {
        throw std::runtime_error("odd hex: " + hex);
    }
    std::string out;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

inline std::string ToHex(const std::string& octets) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : octets) {
        const auto b = static_cast<unsigned char>(c);
        if (!out.empty()) {
            out.push_back(' ');
        }
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    return out;
}

// "OID TYPE TEXT": the text is everything after the second space, possibly empty.
struct BindingField {
    std::string oid;
    int type = 0;
    std::string text;
};

inline BindingField ParseBindingField(const std::string& value, bool hexText) {
    BindingField b;
    const std::size_t s1 = value.find(' ');
    b.oid = value.substr(0, s1);
    const std::string rest = s1 == std::string::npos ? "" : value.substr(s1 + 1);
    const std::size_t s2 = rest.find(' ');
    b.type = std::stoi(rest.substr(0, s2));
    b.text = s2 == std::string::npos ? "" : rest.substr(s2 + 1);
    if (hexText) {
        b.text = FromHex(b.text);
    }
    return b;
}

} // namespace veltrum::test
