#pragma once
// The usage history's whole use of SQLite, in one module. Opening creates
// the schema (or migrates an older one: PRAGMA user_version holds its
// version); each question is a named function with a prepared statement; a
// flush is one transaction that makes sure each row exists (INSERT OR
// IGNORE) and then adds to it; retention is a DELETE of rows past their
// time. Numbers go in and come out as integers.
//
// Tables: `interface` (one row per monitored interface: the agent's address
// as typed, the interface number, its description when known, the last
// counter readings, and the instants first and last recorded), and the
// buckets `fiveminute` (UTC, kept 35 days), `hour` (kept 400 days), `day`
// and `month` (kept for ever), each with octets and packets in and out and
// the seconds sampled and missed.

#include "history/Calendar.h"

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace veltrum {

inline constexpr int32_t kUsageSchemaVersion = 2;
inline constexpr int64_t kFiveMinuteRowsKept = 35 * 86400;
inline constexpr int64_t kHourRowsKept = 400 * 86400;

struct UsageCounts {
    uint64_t InOctets = 0;
    uint64_t OutOctets = 0;
    uint64_t InPackets = 0;
    uint64_t OutPackets = 0;
    int64_t Sampled = 0; // seconds
    int64_t Missed = 0;  // seconds
    UsageCounts& operator+=(const UsageCounts& other);
    bool operator==(const UsageCounts&) const = default;
};

// Counts that belong to one set of rows (one stretch of time).
struct UsageSegment {
    BucketKeys Keys;
    UsageCounts Counts;
};

// The readings kept with an interface for the next start.
struct StoredReading {
    uint8_t CounterBits = 0; // 0: none kept
    std::array<uint64_t, 4> Values{};
    int64_t Time = 0;
    bool UpTimeKnown = false;
    uint32_t UpTime = 0;
    uint64_t Speed = 0;
};

struct UsageInterface {
    int64_t Id = 0;
    std::string Agent;
    int32_t Number = 0;
    std::string Description;
    StoredReading Last;
    int64_t RecordedUntil = 0; // counts are written up to this instant; 0: none yet
    int64_t RecordedSince = 0; // the first instant recorded; 0: none yet, or not kept (an older history)
};

struct DayRow {
    int32_t Day = 0; // YYYYMMDD
    UsageCounts Counts;
};
struct HourRow {
    int64_t Start = 0;
    int32_t Offset = 0;
    UsageCounts Counts;
};

// A failed statement: SQLite's (extended) result code and its message.
class EUsageStore final : public std::runtime_error {
public:
    EUsageStore(int code, const std::string& message) : std::runtime_error(message), Code(code) {}
    int Code;
    bool Damaged() const;
    bool Busy() const;
};

enum class StoreMode : uint8_t {
    Record, // creates folder and file, checks integrity, renames a damaged file aside
    Read,   // opens an existing file and never writes
};

enum class StoreState : uint8_t {
    Ready,
    Missing, // Read: no file yet
    Newer,   // written by a newer program: read only, never written
    Refused, // not a usage history this program knows (an unknown schema, another program's database): left
             // alone
    Unavailable, // cannot be opened or created now (Reason says why)
};

class UsageStore final {
public:
    UsageStore(std::string path, StoreMode mode);
    ~UsageStore();
    UsageStore(const UsageStore&) = delete;
    UsageStore& operator=(const UsageStore&) = delete;

    StoreState State() const { return m_state; }
    const std::string& Path() const { return m_path; }
    // Why the state is not Ready.
    const std::string& Reason() const { return m_reason; }
    // A damaged file was renamed aside and a new one started: what to tell
    // the user, once. Empty otherwise.
    const std::string& Notice() const { return m_notice; }
    // Closes and opens again (after Unavailable, or a file found damaged).
    void Reopen();

    // The interface's row: the one of the agent, number and description;
    // else the agent's only row of that description under another number
    // (the interface found again under a new number; Record mode leaves the
    // renumbering to the caller, Renumber), else a row of that number kept
    // before the description was known. Read mode: nullopt when none.
    // Record mode: a missing row is made.
    std::optional<UsageInterface> OpenInterface(const std::string& agent, int32_t number,
                                                const std::string& description);
    // The interface is polled under a new number: its row follows, and the
    // readings kept (of the old number) are forgotten.
    void Renumber(int64_t id, int32_t number);
    UsageInterface Interface(int64_t id);
    // A new row for the interface, whatever rows there are (Record mode).
    UsageInterface AddInterface(const std::string& agent, int32_t number, const std::string& description);
    // Every interface the history holds, in the order they were first seen.
    std::vector<UsageInterface> Interfaces();

    // One flush: the segments added to their rows, the readings and the
    // instant written up to kept, all in one transaction; `recordedSince`
    // moves the first instant recorded back, never forward (0: leaves it).
    // Throws EUsageStore.
    void Write(int64_t id, std::span<const UsageSegment> segments, const StoredReading& last,
               int64_t recordedUntil, int64_t recordedSince = 0);
    // Drops five-minute and hourly rows of the interface past their time.
    void DropOldRows(int64_t id, int64_t now);

    std::vector<DayRow> Days(int64_t id, int32_t fromDay, int32_t toDay); // [from, to)
    std::vector<HourRow> Hours(int64_t id, int64_t from, int64_t to);     // starts in [from, to)
    UsageCounts AllTime(int64_t id);
    int32_t FirstDay(int64_t id); // 0 when none

    // Test and benchmark access to the connection.
    sqlite3* Handle() const { return m_db; }

private:
    class Statement;
    void open();
    void close() noexcept;
    bool openRecording();
    bool openReading();
    bool refuseVersion(int32_t version);
    void setAside(const std::string& why);
    void migrate();
    void exec(const char* sql);
    sqlite3_stmt* prepared(size_t slot, const char* sql);
    [[noreturn]] void fail(int code) const;

    std::string m_path;
    StoreMode m_mode;
    StoreState m_state = StoreState::Unavailable;
    std::string m_reason;
    std::string m_notice;
    sqlite3* m_db = nullptr;
    ino_t m_inode = 0; // the file opened, so that a set-aside moves no other
    std::array<sqlite3_stmt*, 23> m_statements{};
};

} // namespace veltrum
