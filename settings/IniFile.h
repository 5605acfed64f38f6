#pragma once
// The profile store: an INI file read and written one value at a time.
// Creating a TIniFile touches no file; every read opens the file, every write
// replaces it atomically, so nothing is cached and nothing is lost when the
// object goes away early.
//
// Layout rules the rest of the program can rely on:
// - Lines end in LF or CRLF, freely mixed; a UTF-8 byte-order mark in front
//   of the first line is skipped. A section line is "[name]" (blanks allowed
//   around it and the name); other lines with an '=' are "ident=value".
// - Names compare without regard to ASCII letter case. The first occurrence
//   wins: a read returns the first matching ident in any section of that
//   name, and a write replaces that same line.
// - Values are not unquoted; a NUL byte ends a value.
// - A new ident goes after the last non-blank line of the first section of
//   that name; a new section goes at the end of the file. Added lines use the
//   file's own line break (that of its first line); a new file uses LF.
// - A write replaces the file atomically (temporary file in the same folder,
//   fsync, rename), so a crash or a full disk leaves the old file whole. A new
//   file gets mode 0600 (it holds the community string); a replaced file
//   keeps its mode, unless the store is private (SetPrivate); a symbolic
//   link is written through, not replaced.
// - Text that would change the layout is refused with EIniFileException: a
//   line break or NUL anywhere, ']' in a section name, '=' in an ident or an
//   ident starting with '['.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrum {

// The longest value a read hands back; a longer one is cut to this length.
inline constexpr size_t kMaxIniValueLength = 2047;

// True when `name` is the hidden temporary file that a write's atomic replace
// of a file named `targetBase` (no folder) creates beside it. A write that is
// killed before its rename leaves that file behind.
bool IsReplaceTemporaryName(std::string_view name, std::string_view targetBase);

// True when a write would accept `value`: it holds no line break and no NUL.
bool IsWritableValue(std::string_view value);

// A write that could not be completed: "Unable to write to %s".
class EIniFileException final : public std::runtime_error {
public:
    explicit EIniFileException(const std::string& path);
};

// The largest profile read: settings take a few kilobytes, and a file of
// gigabytes (something else named like a profile) must not be read at all.
inline constexpr size_t kMaxIniFileBytes = 1024 * 1024;

// Why the file at `path` cannot be read as settings ("it is not a regular
// file", "it is larger than 1 MB", the system's reason); empty when it can,
// or when there is no file (every setting then takes its default).
std::string IniFileRefusal(const std::string& path);

class TIniFile final {
public:
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return m_fileName; }
    // Every write from now on goes through a temporary file that is 0600
    // from its creation, before any octet is in it, and leaves the file
    // 0600 whatever mode it had: for a profile that holds keys.
    void SetPrivate() { m_private = true; }

    // Sections and idents match without regard to letter case; blanks around
    // a value are dropped; a value longer than 2047 characters is cut there.
    // A missing file, section or ident, or a value that does not decode,
    // gives the default, as does a file IniFileRefusal refuses. The file is
    // read once and kept while it stays the same file, unchanged (its
    // inode, size and modification time). Reads never throw.
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def) const;
    // Signed decimal within 32 bits; hexadecimal after "0x"/"0X" (text longer
    // than two characters) or "$", taken as the 32-bit pattern ("$FFFFFFFF"
    // is -1). Anything else gives the default, including hexadecimal that
    // needs more than 32 bits and decimal outside the int32 range.
    int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t def) const;
    // An integer with default 1 or 0; any non-zero integer is true.
    bool ReadBool(const std::string& section, const std::string& ident, bool def) const;

    // Creates the file, section or ident when missing, replaces an existing
    // value in place and keeps every other line byte for byte.
    // Throws EIniFileException on failure, leaving the old file untouched.
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& ident, int32_t value);
    void WriteBool(const std::string& section, const std::string& ident, bool value);
    // The section's whole body replaced by `entries` (ident, value), in
    // order: no ident of it is left from before. Throws as WriteString.
    void WriteSection(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& entries);

private:
    // The file's bytes as the first read found them; nullopt when it could
    // not be read.
    const std::optional<std::string>& text() const;
    // Rewrites the file with the text `edit` makes of it; throws
    // EIniFileException when that fails.
    template <typename Edit> void commit(Edit edit);

    std::string m_fileName;
    bool m_private = false;
    mutable bool m_read = false;
    mutable std::optional<std::string> m_text;
    mutable struct Stamp {
        uint64_t Inode = 0, Size = 0;
        int64_t Seconds = 0, Nanoseconds = 0;
        bool operator==(const Stamp&) const = default;
    } m_stamp;
};

} // namespace veltrum
