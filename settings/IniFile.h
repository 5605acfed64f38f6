#pragma once
// The profile store: an INI file read and written one value at a time.
// Creating a TIniFile touches no file; every read opens the file, every write
// replaces it atomically, so nothing is cached and nothing is lost when the
// object goes away early.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltrum {

// A write that could not be completed: "Unable to write to %s".
class EIniFileException final : public std::runtime_error {
public:
    explicit EIniFileException(const std::string& path);
};

class TIniFile final {
public:
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return m_fileName; }

    // Sections and idents match without regard to letter case; blanks around
    // a value are dropped; a value longer than 2047 characters is cut there.
    // A missing file, section or ident, or a value that does not decode,
    // gives the default. Reads never throw.
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def) const;
    // Signed decimal; hexadecimal after "0x"/"0X" (text longer than two
    // characters) or "$". Anything else gives the default.
    int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t def) const;
    // An integer with default 1 or 0; any non-zero integer is true.
    bool ReadBool(const std::string& section, const std::string& ident, bool def) const;

    // Creates the file, section or ident when missing, replaces an existing
    // value in place and keeps every other line byte for byte.
    // Throws EIniFileException on failure, leaving the old file untouched.
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& ident, int32_t value);
    void WriteBool(const std::string& section, const std::string& ident, bool value);

private:
    std::string m_fileName;
};

} // namespace veltrum
