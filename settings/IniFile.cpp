#include "settings/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum {

namespace {

// A UTF-8 byte-order mark written by some editors in front of the first line.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Line ending used for a file that has none yet (a new or one-line file).
constexpr std::string_view kDefaultEol = "\n";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names are compared without regard to the case of ASCII letters; other bytes
// (UTF-8 included) must match exactly.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

enum class ReadResult { Ok, Missing, Failed };

// Reads a whole regular file of at most `most` octets. O_NONBLOCK keeps a
// FIFO planted at the path from hanging the caller; anything that is not a
// regular file, or is larger, is refused (`why` says so).
ReadResult readWholeFile(const std::string& path, std::string& out, struct stat* info = nullptr,
                         size_t most = SIZE_MAX, std::string* why = nullptr) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (why != nullptr && errno != ENOENT)
            *why = std::strerror(errno);
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > most) {
        if (why != nullptr)
            *why = !S_ISREG(st.st_mode) ? "it is not a regular file" : "it is larger than 1 MB";
        ::close(fd);
        return ReadResult::Failed;
    }
    if (info != nullptr)
        *info = st;
    if (st.st_size > 0)
        out.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            out.clear();
            return ReadResult::Failed;
        }
        out.append(buffer, static_cast<size_t>(n));
        if (out.size() > most) { // it grew while being read
            if (why != nullptr)
                *why = "it is larger than 1 MB";
            ::close(fd);
            out.clear();
            return ReadResult::Failed;
        }
    }
    ::close(fd);
    return ReadResult::Ok;
}

// Where a section and an ident were found in the file's bytes. All offsets
// index the whole file, so a write can splice the new value in and keep
// every other byte as it was.
struct Location {
    bool sectionFound = false;
    // Just past the last non-blank line of the first section of that name
    // (its header line when it holds nothing else): where a new ident goes.
    size_t insertAt = 0;
    // Whether the line before insertAt ends in a line break (the last line
    // of a file may not).
    bool insertAfterEol = true;

    bool identFound = false;
    // The raw value: from just past the '=' to the end of the line, line
    // break excluded.
    size_t valueBegin = 0;
    size_t valueEnd = 0;
};

// One pass over the lines. Lines end at "\n"; a "\r" just before it belongs
// to the line break, so CRLF, LF and a mix of both all read alike. A line is
// a section header when, after leading blanks, it starts with '[' and holds a
// ']'; the name is what lies between, trimmed. Other lines with an '=' are
// "ident=value" lines of the current section; the rest are ignored.
//
// When a section or an ident occurs more than once, the first occurrence in
// file order wins: a read returns the first matching ident of any section of
// that name, and a write replaces that same line, or adds a missing ident to
// the first section of that name.
Location locate(std::string_view text, std::string_view section, std::string_view ident) {
    section = trim(section);
    ident = trim(ident);
    Location loc;
    bool inSection = false;      // the current section has the wanted name
    bool inFirstSection = false; // ... and is the first one of that name
    size_t pos = 0;
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        pos = kUtf8Bom.size();
    while (pos < text.size()) {
        const size_t newline = text.find('\n', pos);
        const bool hasEol = newline != std::string_view::npos;
        size_t contentEnd = hasEol ? newline : text.size();
        const size_t next = hasEol ? newline + 1 : text.size();
        if (hasEol && contentEnd > pos && text[contentEnd - 1] == '\r')
            --contentEnd;
        const std::string_view line = text.substr(pos, contentEnd - pos);
        const std::string_view body = trim(line);

        if (!body.empty() && body.front() == '[') {
            const size_t close = body.find(']');
            if (close != std::string_view::npos) {
                inSection = sameName(trim(body.substr(1, close - 1)), section);
                inFirstSection = inSection && !loc.sectionFound;
                if (inFirstSection) {
                    loc.sectionFound = true;
                    loc.insertAt = next;
                    loc.insertAfterEol = hasEol;
                }
                pos = next;
                continue;
            }
        }
        if (inSection && !body.empty()) {
            if (inFirstSection) {
                loc.insertAt = next;
                loc.insertAfterEol = hasEol;
            }
            const size_t equals = line.find('=');
            if (equals != std::string_view::npos && sameName(trim(line.substr(0, equals)), ident)) {
                loc.identFound = true;
                loc.valueBegin = pos + equals + 1;
                loc.valueEnd = contentEnd;
                return loc;
            }
        }
        pos = next;
    }
    return loc;
}

// The line break the file already uses, judged by its first line.
std::string_view fileEol(std::string_view text) {
    const size_t newline = text.find('\n');
    if (newline == std::string_view::npos)
        return kDefaultEol;
    return (newline > 0 && text[newline - 1] == '\r') ? std::string_view("\r\n") : std::string_view("\n");
}

bool hasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Text that would change the file's structure when written (a line break in
// a community string could plant a whole new section) is refused rather than
// written in a form that reads back differently.
bool writable(std::string_view section, std::string_view ident, std::string_view value) {
    if (hasLineBreakOrNul(section) || section.find(']') != std::string_view::npos)
        return false;
    if (hasLineBreakOrNul(ident) || ident.find('=') != std::string_view::npos)
        return false;
    if (!trim(ident).empty() && trim(ident).front() == '[')
        return false;
    return !hasLineBreakOrNul(value);
}

// The hidden temporary file of an atomic replace is named after its target:
// a dot, at most 200 characters of the target's name, a marker no one gives
// a file of their own, and the six letters or digits that mkostemp(3) puts in
// place of "XXXXXX". The start-up clean-up deletes by this name, so it must
// never match a user's ".Default.vlq.backup".
constexpr size_t kTemporaryBaseLength = 200;
constexpr std::string_view kTemporaryMarker = ".veltrum-tmp-";
constexpr size_t kTemporarySuffixLength = 6;

std::string replaceTemporaryPrefix(std::string_view base) {
    return "." + std::string(base.substr(0, kTemporaryBaseLength)) + std::string(kTemporaryMarker);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Replaces `target` with `content` so that, whatever happens, the path holds
// either the old file or the complete new one: the new bytes go to a
// temporary file in the same folder, reach the disk, and are then renamed
// over the old file. A new file is private to its owner (it holds the
// community string); a replaced file keeps its mode (unless `keepPrivate`)
// and, where we may, its owner. mkostemp(3) makes the temporary 0600, so
// nothing is ever readable by others before the mode is set.
bool replaceAtomically(const std::string& target, std::string_view content, const struct stat* old,
                       bool keepPrivate) {
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string tmpl = dir + replaceTemporaryPrefix(base) + "XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');

    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const std::string tmpPath(name.data());

    bool ok = ::fchmod(fd, old != nullptr && !keepPrivate ? (old->st_mode & 07777) : 0600) == 0;
    if (ok && old != nullptr && ::geteuid() == 0) {
        // Best effort: keeps a user's profile theirs when root saves it.
        (void)!::fchown(fd, old->st_uid, old->st_gid);
    }
    ok = ok && writeAll(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmpPath.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmpPath.c_str());
        return false;
    }
    // Make the rename itself durable; the data is already safe either way.
    const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

// A profile reached through a symbolic link is updated where the link
// points, so the link stays a link.
std::string resolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

bool hexDigit(char c, uint32_t& digit) {
    if (c >= '0' && c <= '9')
        digit = static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
        digit = static_cast<uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        digit = static_cast<uint32_t>(c - 'A' + 10);
    else
        return false;
    return true;
}

// Hexadecimal digits taken as a 32-bit pattern ("FFFFFFFF" is -1). A value
// that needs more than 32 bits does not decode: cutting it to its low bits
// would turn a typo into some unrelated setting.
bool decodeHex(std::string_view digits, int32_t& out) {
    if (digits.empty())
        return false;
    uint64_t value = 0;
    for (const char c : digits) {
        uint32_t digit = 0;
        if (!hexDigit(c, digit))
            return false;
        value = (value << 4) | digit;
        if (value > UINT32_MAX)
            return false;
    }
    out = static_cast<int32_t>(static_cast<uint32_t>(value));
    return true;
}

// Optional sign and decimal digits, within the signed 32-bit range.
bool decodeDecimal(std::string_view text, int32_t& out) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > int64_t{INT32_MAX} + 1)
            return false;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool decodeInteger(std::string_view text, int32_t& out) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return decodeHex(text.substr(2), out);
    if (!text.empty() && text[0] == '$')
        return decodeHex(text.substr(1), out);
    return decodeDecimal(text, out);
}

// Reads the file, makes its new text with `edit` and replaces the file;
// false on any failure.
template <typename Edit> bool rewrite(const std::string& path, bool keepPrivate, Edit edit) {
    const std::string target = resolveTarget(path);
    std::string text;
    struct stat info {};
    const ReadResult read = readWholeFile(target, text, &info, kMaxIniFileBytes);
    // An existing file that cannot be read (or is too large to be settings)
    // would be lost by rewriting it.
    if (read == ReadResult::Failed)
        return false;
    return replaceAtomically(target, edit(text), read == ReadResult::Ok ? &info : nullptr, keepPrivate);
}

// The file's text with the value spliced in.
std::string withValue(const std::string& text, const std::string& section, const std::string& ident,
                      const std::string& value) {
    const Location loc = locate(text, section, ident);
    const std::string_view eol = fileEol(text);
    std::string updated;
    updated.reserve(text.size() + section.size() + ident.size() + value.size() + 8);
    if (loc.identFound) {
        updated.append(text, 0, loc.valueBegin);
        updated += value;
        updated.append(text, loc.valueEnd, std::string::npos);
    } else if (loc.sectionFound) {
        updated.append(text, 0, loc.insertAt);
        if (!loc.insertAfterEol)
            updated += eol;
        updated += ident;
        updated += '=';
        updated += value;
        updated += eol;
        updated.append(text, loc.insertAt, std::string::npos);
    } else {
        updated = text;
        if (!updated.empty() && updated.back() != '\n')
            updated += eol;
        updated += '[';
        updated += section;
        updated += ']';
        updated += eol;
        updated += ident;
        updated += '=';
        updated += value;
        updated += eol;
    }
    return updated;
}

// The file's text with the first section named `section` holding `entries`
// as its whole body (created at the end when missing); every other byte kept.
std::string withSection(const std::string& text, const std::string& section,
                        const std::vector<std::pair<std::string, std::string>>& entries) {
    const std::string_view eol = fileEol(text);
    std::string body;
    for (const auto& [ident, value] : entries) {
        body.append(ident).append("=").append(value).append(eol);
    }
    // Lines: the header's, then the body up to the next header or the end.
    size_t bodyBegin = std::string::npos;
    size_t bodyEnd = text.size();
    for (size_t at = 0; at < text.size();) {
        const size_t next = std::min(text.find('\n', at), text.size() - 1) + 1;
        std::string_view line = std::string_view(text).substr(at, next - at);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        line = trim(line);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            if (bodyBegin != std::string::npos) {
                bodyEnd = at;
                break;
            }
            if (sameName(line.substr(1, line.size() - 2), section))
                bodyBegin = next;
        }
        at = next;
    }
    std::string updated;
    if (bodyBegin == std::string::npos) {
        updated = text;
        if (!updated.empty() && updated.back() != '\n')
            updated += eol;
        updated.append("[").append(section).append("]").append(eol).append(body);
    } else {
        updated.append(text, 0, bodyBegin);
        if (bodyBegin > 0 && text[bodyBegin - 1] != '\n')
            updated += eol;
        updated.append(body).append(text, bodyEnd, std::string::npos);
    }
    return updated;
}

} // namespace

bool IsReplaceTemporaryName(std::string_view name, std::string_view targetBase) {
    const std::string prefix = replaceTemporaryPrefix(targetBase);
    if (name.size() != prefix.size() + kTemporarySuffixLength || name.substr(0, prefix.size()) != prefix)
        return false;
    const std::string_view suffix = name.substr(prefix.size());
    return std::all_of(suffix.begin(), suffix.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
}

bool IsWritableValue(std::string_view value) {
    return !hasLineBreakOrNul(value);
}

EIniFileException::EIniFileException(const std::string& path)
    : std::runtime_error("Unable to write to " + path) {}

std::string IniFileRefusal(const std::string& path) {
    std::string text;
    std::string why;
    return readWholeFile(path, text, nullptr, kMaxIniFileBytes, &why) == ReadResult::Failed
               ? (why.empty() ? std::string("it cannot be read") : why)
               : std::string();
}

TIniFile::TIniFile(std::string fileName) : m_fileName(std::move(fileName)) {}

const std::optional<std::string>& TIniFile::text() const {
    struct stat now {};
    const bool there = ::stat(m_fileName.c_str(), &now) == 0;
    const Stamp stamp{there ? static_cast<uint64_t>(now.st_ino) : 0,
                      there ? static_cast<uint64_t>(now.st_size) : 0,
                      there ? static_cast<int64_t>(now.st_mtim.tv_sec) : 0,
                      there ? static_cast<int64_t>(now.st_mtim.tv_nsec) : 0};
    if (!m_read || !(stamp == m_stamp)) {
        m_read = true;
        m_stamp = stamp;
        std::string text;
        if (readWholeFile(m_fileName, text, nullptr, kMaxIniFileBytes) == ReadResult::Ok) {
            m_text = std::move(text);
        } else {
            m_text.reset();
        }
    }
    return m_text;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& def) const {
    try {
        if (!text())
            return def;
        const std::string& text = *m_text;
        const Location loc = locate(text, section, ident);
        if (!loc.identFound)
            return def;
        std::string_view value(text.data() + loc.valueBegin, loc.valueEnd - loc.valueBegin);
        // The value is text: a NUL byte ends it, as it would for any C string
        // the value is later handed to (a host name, for one).
        value = value.substr(0, value.find('\0'));
        value = trim(value);
        return std::string(value.substr(0, kMaxIniValueLength));
    } catch (...) {
        // Out of memory on a monstrous file: reads never fail.
        return def;
    }
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& ident, int32_t def) const {
    const std::string text = ReadString(section, ident, std::string());
    int32_t value = 0;
    return decodeInteger(text, value) ? value : def;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) const {
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
    if (!writable(section, ident, value))
        throw EIniFileException(m_fileName);

    commit([&](const std::string& text) { return withValue(text, section, ident, value); });
}

template <typename Edit> void TIniFile::commit(Edit edit) {
    bool ok = false;
    m_read = false; // the next read sees what was written
    try {
        ok = rewrite(m_fileName, m_private, edit);
    } catch (const std::exception&) {
        ok = false; // out of memory while building the new text
    }
    if (!ok)
        throw EIniFileException(m_fileName);
}

void TIniFile::WriteSection(const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& entries) {
    for (const auto& [ident, value] : entries) {
        if (!writable(section, ident, value))
            throw EIniFileException(m_fileName);
    }
    commit([&](const std::string& text) { return withSection(text, section, entries); });
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, int32_t value) {
    WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

} // namespace veltrum
