#include "history/UsageStore.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum {

namespace {

// Each later version of the schema adds one script here: migration i takes
// a database of version i to version i + 1.
const char* const kMigrations[] = {
    // 0 -> 1: the first schema.
    "CREATE TABLE interface ("
    " id INTEGER PRIMARY KEY,"
    " agent TEXT NOT NULL,"
    " number INTEGER NOT NULL,"
    " description TEXT NOT NULL DEFAULT '',"
    " counter_bits INTEGER NOT NULL DEFAULT 0,"
    " in_octets INTEGER NOT NULL DEFAULT 0,"
    " out_octets INTEGER NOT NULL DEFAULT 0,"
    " in_packets INTEGER NOT NULL DEFAULT 0,"
    " out_packets INTEGER NOT NULL DEFAULT 0,"
    " reading_time INTEGER NOT NULL DEFAULT 0,"
    " up_time INTEGER,"
    " speed INTEGER NOT NULL DEFAULT 0,"
    " recorded_until INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX interface_by_agent ON interface(agent, number);"
    "CREATE TABLE fiveminute (interface INTEGER NOT NULL REFERENCES interface(id), start INTEGER NOT NULL,"
    " in_octets INTEGER NOT NULL DEFAULT 0, out_octets INTEGER NOT NULL DEFAULT 0,"
    " in_packets INTEGER NOT NULL DEFAULT 0, out_packets INTEGER NOT NULL DEFAULT 0,"
    " sampled INTEGER NOT NULL DEFAULT 0, missed INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY (interface, start)) WITHOUT ROWID;"
    "CREATE TABLE hour (interface INTEGER NOT NULL REFERENCES interface(id), start INTEGER NOT NULL,"
    " utc_offset INTEGER NOT NULL,"
    " in_octets INTEGER NOT NULL DEFAULT 0, out_octets INTEGER NOT NULL DEFAULT 0,"
    " in_packets INTEGER NOT NULL DEFAULT 0, out_packets INTEGER NOT NULL DEFAULT 0,"
    " sampled INTEGER NOT NULL DEFAULT 0, missed INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY (interface, start)) WITHOUT ROWID;"
    "CREATE TABLE day (interface INTEGER NOT NULL REFERENCES interface(id), day INTEGER NOT NULL,"
    " in_octets INTEGER NOT NULL DEFAULT 0, out_octets INTEGER NOT NULL DEFAULT 0,"
    " in_packets INTEGER NOT NULL DEFAULT 0, out_packets INTEGER NOT NULL DEFAULT 0,"
    " sampled INTEGER NOT NULL DEFAULT 0, missed INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY (interface, day)) WITHOUT ROWID;"
    "CREATE TABLE month (interface INTEGER NOT NULL REFERENCES interface(id), month INTEGER NOT NULL,"
    " in_octets INTEGER NOT NULL DEFAULT 0, out_octets INTEGER NOT NULL DEFAULT 0,"
    " in_packets INTEGER NOT NULL DEFAULT 0, out_packets INTEGER NOT NULL DEFAULT 0,"
    " sampled INTEGER NOT NULL DEFAULT 0, missed INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY (interface, month)) WITHOUT ROWID;",
    // 1 -> 2: the first moment recorded, kept rather than worked out from the
    // rows (0: a history of version 1, whose rows are all there is).
    "ALTER TABLE interface ADD COLUMN recorded_since INTEGER NOT NULL DEFAULT 0;",
};
static_assert(std::size(kMigrations) == kUsageSchemaVersion);

#define VELTRUM_COUNTS "in_octets, out_octets, in_packets, out_packets, sampled, missed"
#define VELTRUM_ADD                                                                                          \
    " SET in_octets = in_octets + ?3, out_octets = out_octets + ?4, in_packets = in_packets + ?5,"           \
    " out_packets = out_packets + ?6, sampled = sampled + ?7, missed = missed + ?8"
#define VELTRUM_INTERFACE                                                                                    \
    "SELECT id, agent, number, description, counter_bits, in_octets, out_octets, in_packets, out_packets,"   \
    " reading_time, up_time, speed, recorded_until, recorded_since FROM interface "

enum Slot : size_t {
    kByDescription,
    kByNumberUnnamed,
    kByNumber,
    kById,
    kAllInterfaces,
    kAddInterface,
    kName,
    kRenumber,
    kKeepReading,
    kAddFive,
    kSumFive,
    kAddHour,
    kSumHour,
    kAddDay,
    kSumDay,
    kAddMonth,
    kSumMonth,
    kDays,
    kHours,
    kAllTime,
    kFirstDay,
    kDropFive,
    kDropHour,
    kSlotCount,
};
static_assert(kSlotCount == 23, "UsageStore::m_statements holds one statement per slot");

int64_t asStored(uint64_t value) {
    return static_cast<int64_t>(value);
}

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The folder and its missing parents, each made with mode 0700 from the
// start; an existing folder keeps its mode. Empty, or why it failed.
std::string makePrivateFolder(const std::string& file) {
    const size_t slash = file.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return {};
    }
    const std::string folder = file.substr(0, slash);
    for (size_t from = 1;;) {
        const size_t end = folder.find('/', from);
        const std::string part = folder.substr(0, end);
        struct stat st {};
        // A folder above ours may refuse a look inside yet exist.
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST &&
            !(::stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
            return errnoText("cannot create the folder " + part);
        }
        if (end == std::string::npos) {
            return {};
        }
        from = end + 1;
    }
}

// Year, month, day, hour, minute and second as two digits each, no separators.
std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &tm);
    return text;
}

UsageCounts countsAt(sqlite3_stmt* statement, int first) {
    UsageCounts counts;
    counts.InOctets = static_cast<uint64_t>(sqlite3_column_int64(statement, first));
    counts.OutOctets = static_cast<uint64_t>(sqlite3_column_int64(statement, first + 1));
    counts.InPackets = static_cast<uint64_t>(sqlite3_column_int64(statement, first + 2));
    counts.OutPackets = static_cast<uint64_t>(sqlite3_column_int64(statement, first + 3));
    counts.Sampled = sqlite3_column_int64(statement, first + 4);
    counts.Missed = sqlite3_column_int64(statement, first + 5);
    return counts;
}

// PRAGMA user_version; `rc` tells whether it could be read.
int32_t userVersion(sqlite3* db, int& rc) {
    sqlite3_stmt* statement = nullptr;
    int32_t version = 0;
    rc = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
        version = sqlite3_column_int(statement, 0);
        rc = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    return version;
}

} // namespace

UsageCounts& UsageCounts::operator+=(const UsageCounts& other) {
    InOctets += other.InOctets;
    OutOctets += other.OutOctets;
    InPackets += other.InPackets;
    OutPackets += other.OutPackets;
    Sampled += other.Sampled;
    Missed += other.Missed;
    return *this;
}

bool EUsageStore::Busy() const {
    return (Code & 0xFF) == SQLITE_BUSY || (Code & 0xFF) == SQLITE_LOCKED;
}

bool EUsageStore::Damaged() const {
    return (Code & 0xFF) == SQLITE_CORRUPT || (Code & 0xFF) == SQLITE_NOTADB;
}

// A prepared statement in use: bound, stepped, and reset when done so that
// it can be used again.
class UsageStore::Statement final {
public:
    Statement(UsageStore& store, size_t slot, const char* sql)
        : m_store(store), m_s(store.prepared(slot, sql)) {}
    ~Statement() {
        sqlite3_reset(m_s);
        sqlite3_clear_bindings(m_s);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, int64_t value) {
        check(sqlite3_bind_int64(m_s, index, value));
        return *this;
    }
    Statement& Bind(int index, const std::string& text) {
        check(sqlite3_bind_text(m_s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& BindCounts(const UsageCounts& counts) {
        return Bind(3, asStored(counts.InOctets))
            .Bind(4, asStored(counts.OutOctets))
            .Bind(5, asStored(counts.InPackets))
            .Bind(6, asStored(counts.OutPackets))
            .Bind(7, counts.Sampled)
            .Bind(8, counts.Missed);
    }
    // True while rows come.
    bool Step() {
        const int rc = sqlite3_step(m_s);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            m_store.fail(rc);
        }
        return false;
    }
    sqlite3_stmt* Get() const { return m_s; }

private:
    void check(int rc) const {
        if (rc != SQLITE_OK) {
            m_store.fail(rc);
        }
    }
    UsageStore& m_store;
    sqlite3_stmt* m_s;
};

UsageStore::UsageStore(std::string path, StoreMode mode) : m_path(std::move(path)), m_mode(mode) {
    open();
}

UsageStore::~UsageStore() {
    close();
}

void UsageStore::Reopen() {
    close();
    open();
}

void UsageStore::close() noexcept {
    for (sqlite3_stmt*& statement : m_statements) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void UsageStore::open() {
    m_reason.clear();
    try {
        const bool opened = m_mode == StoreMode::Record ? openRecording() : openReading();
        if (opened) {
            m_state = StoreState::Ready;
        }
    } catch (const EUsageStore& error) {
        close();
        m_state = StoreState::Unavailable;
        m_reason = error.what();
    }
}

bool UsageStore::openReading() {
    if (!exists(m_path)) {
        m_state = StoreState::Missing;
        return false;
    }
    // Only read: a history in a read-only folder, or one the user may not
    // write, is read as it stands. Where SQLite cannot even read it so (its
    // journal's index cannot be made), it is read as immutable: the last
    // flushes still in the journal are then not seen.
    int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr);
    int versionRc = SQLITE_OK;
    int32_t found = 0;
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, 2000);
        found = userVersion(m_db, versionRc);
    }
    if (rc != SQLITE_OK || (versionRc & 0xFF) == SQLITE_CANTOPEN || (versionRc & 0xFF) == SQLITE_READONLY) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        char* uri = sqlite3_mprintf("file:%q?immutable=1", m_path.c_str());
        rc = sqlite3_open_v2(uri, &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
        sqlite3_free(uri);
        if (rc != SQLITE_OK) {
            fail(rc);
        }
        sqlite3_extended_result_codes(m_db, 1);
        found = userVersion(m_db, versionRc);
    }
    if (versionRc != SQLITE_OK) {
        fail(versionRc);
    }
    if (refuseVersion(found)) {
        return false;
    }
    if (found < kUsageSchemaVersion) {
        m_state = StoreState::Missing; // nothing recorded in it yet
        return false;
    }
    return true;
}

// A version outside the known range is never used to pick a migration: a
// newer one belongs to a newer program, and a negative one, or a database
// without a version that holds tables, is not a usage history at all.
bool UsageStore::refuseVersion(int32_t version) {
    if (version > kUsageSchemaVersion) {
        m_state = StoreState::Newer;
        m_reason = "the usage history " + m_path + " was written by a newer version of Veltrum (schema " +
                   std::to_string(version) + "; this one knows schema " +
                   std::to_string(kUsageSchemaVersion) + ")";
        return true;
    }
    if (version < 0) {
        m_state = StoreState::Refused;
        m_reason = "the usage history " + m_path + " has schema version " + std::to_string(version) +
                   ", which no version of Veltrum writes; it is left as it is";
        return true;
    }
    if (version == 0) {
        sqlite3_stmt* statement = nullptr;
        int rc = sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &statement, nullptr);
        const bool tables = rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW &&
                            sqlite3_column_int64(statement, 0) > 0;
        sqlite3_finalize(statement);
        if (rc != SQLITE_OK && rc != SQLITE_ROW) {
            fail(rc);
        }
        if (tables) {
            m_state = StoreState::Refused;
            m_reason = m_path + " is a database of another program, not a usage history; it is left as it is";
            return true;
        }
    }
    return false;
}

bool UsageStore::openRecording() {
    if (const std::string error = makePrivateFolder(m_path); !error.empty()) {
        throw EUsageStore(SQLITE_CANTOPEN, error);
    }
    // Made here with mode 0600 so that SQLite, which gives its journal files
    // the database's mode, keeps the whole history the user's alone.
    if (!exists(m_path)) {
        const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            throw EUsageStore(SQLITE_CANTOPEN, errnoText("cannot create " + m_path));
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    struct stat opened {};
    m_inode = ::stat(m_path.c_str(), &opened) == 0 ? opened.st_ino : 0;
    int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Another copy's flush takes milliseconds; wait for it rather than fail.
    sqlite3_busy_timeout(m_db, 2000);

    std::string damage;
    const int32_t version = userVersion(m_db, rc);
    if ((rc & 0xFF) == SQLITE_NOTADB || (rc & 0xFF) == SQLITE_CORRUPT) {
        damage = "it is not a usage history database";
    } else if (rc != SQLITE_OK) {
        fail(rc);
    }
    if (damage.empty() && refuseVersion(version)) {
        if (m_state == StoreState::Newer) {
            m_reason += ", so this one does not record into it";
        }
        return false;
    }
    if (damage.empty()) {
        sqlite3_stmt* statement = nullptr;
        rc = sqlite3_prepare_v2(m_db, "PRAGMA quick_check", -1, &statement, nullptr);
        if (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            if (text == nullptr || std::strcmp(text, "ok") != 0) {
                damage = std::string("its integrity check failed: ") + (text != nullptr ? text : "");
            }
            rc = SQLITE_OK;
        }
        sqlite3_finalize(statement);
        if ((rc & 0xFF) == SQLITE_NOTADB || (rc & 0xFF) == SQLITE_CORRUPT) {
            damage = "its integrity check failed";
        } else if (rc != SQLITE_OK) {
            fail(rc);
        }
    }
    if (!damage.empty()) {
        if (!m_notice.empty()) {
            throw EUsageStore(SQLITE_CORRUPT, "the new usage history " + m_path + " is damaged as well");
        }
        setAside(damage);
        return openRecording();
    }
    // A flush changes one row of each table and the interface's: small
    // pages keep what each flush adds to the journal (and what reaches the
    // disk) small. Only a new file takes it; an older one keeps its pages.
    exec("PRAGMA page_size = 1024");
    // A kill at any moment leaves the last committed flush intact; with WAL
    // a commit needs no sync, so a flush stays cheap.
    exec("PRAGMA journal_mode = WAL");
    exec("PRAGMA synchronous = NORMAL");
    // The journal is folded back (with the only syncs) every thousand pages,
    // a quarter of an hour of flushes or so, and cut back after, so the
    // history stays about the size of its rows.
    exec("PRAGMA wal_autocheckpoint = 1000");
    exec("PRAGMA journal_size_limit = 524288");
    migrate();
    return true;
}

void UsageStore::setAside(const std::string& why) {
    close();
    // Another copy starting at the same moment may have set the file aside
    // already and started a new one: that one is not moved.
    struct stat now {};
    if (::stat(m_path.c_str(), &now) != 0 || now.st_ino != m_inode) {
        return;
    }
    // A name of its own: a rename never replaces an earlier set-aside.
    const std::string stamp = m_path + ".damaged-" + timeStamp();
    std::string aside = stamp;
    for (int n = 2;; ++n) {
        if (::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            break;
        }
        if (errno != EEXIST || n > 100) {
            throw EUsageStore(SQLITE_CANTOPEN, errnoText("cannot rename the damaged " + m_path));
        }
        aside = stamp + "-" + std::to_string(n);
    }
    // The journal belongs to the damaged file; the shared-memory index is
    // rebuilt from it.
    ::renameat2(AT_FDCWD, (m_path + "-wal").c_str(), AT_FDCWD, (aside + "-wal").c_str(), RENAME_NOREPLACE);
    ::unlink((m_path + "-shm").c_str());
    m_notice = "The usage history " + m_path + " was damaged (" + why + "); it was kept as " + aside +
               " and a new one was started.";
}

void UsageStore::migrate() {
    exec("BEGIN IMMEDIATE");
    try {
        int rc = SQLITE_OK;
        const int32_t version = userVersion(m_db, rc);
        if (rc != SQLITE_OK) {
            fail(rc);
        }
        if (version < 0 || version > kUsageSchemaVersion) {
            throw EUsageStore(SQLITE_MISMATCH, m_path + ": schema version " + std::to_string(version));
        }
        for (int32_t from = version; from < kUsageSchemaVersion; ++from) {
            exec(kMigrations[from]);
        }
        if (version < kUsageSchemaVersion) {
            exec(("PRAGMA user_version = " + std::to_string(kUsageSchemaVersion)).c_str());
        }
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void UsageStore::exec(const char* sql) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
    }
}

sqlite3_stmt* UsageStore::prepared(size_t slot, const char* sql) {
    if (m_db == nullptr) {
        throw EUsageStore(SQLITE_MISUSE, "the usage history " + m_path + " is not open");
    }
    if (m_statements[slot] == nullptr) {
        const int rc =
            sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statements[slot], nullptr);
        if (rc != SQLITE_OK) {
            fail(rc);
        }
    }
    return m_statements[slot];
}

void UsageStore::fail(int code) const {
    std::string message = sqlite3_errstr(code);
    if (m_db != nullptr && sqlite3_extended_errcode(m_db) == code) {
        message = sqlite3_errmsg(m_db);
    }
    throw EUsageStore(code, m_path + ": " + message);
}

namespace {

UsageInterface rowFrom(sqlite3_stmt* s) {
    UsageInterface row;
    row.Id = sqlite3_column_int64(s, 0);
    const auto* agent = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
    row.Agent = agent != nullptr ? agent : "";
    row.Number = sqlite3_column_int(s, 2);
    const auto* description = reinterpret_cast<const char*>(sqlite3_column_blob(s, 3));
    row.Description.assign(description != nullptr ? description : "",
                           static_cast<size_t>(sqlite3_column_bytes(s, 3)));
    row.Last.CounterBits = static_cast<uint8_t>(sqlite3_column_int(s, 4));
    for (int i = 0; i < 4; ++i) {
        row.Last.Values[static_cast<size_t>(i)] = static_cast<uint64_t>(sqlite3_column_int64(s, 5 + i));
    }
    row.Last.Time = sqlite3_column_int64(s, 9);
    row.Last.UpTimeKnown = sqlite3_column_type(s, 10) != SQLITE_NULL;
    row.Last.UpTime = static_cast<uint32_t>(sqlite3_column_int64(s, 10));
    row.Last.Speed = static_cast<uint64_t>(sqlite3_column_int64(s, 11));
    row.RecordedUntil = sqlite3_column_int64(s, 12);
    row.RecordedSince = sqlite3_column_int64(s, 13);
    return row;
}

} // namespace

std::optional<UsageInterface> UsageStore::OpenInterface(const std::string& agent, int32_t number,
                                                        const std::string& description) {
    const bool record = m_mode == StoreMode::Record;
    if (!description.empty()) {
        {
            // Two interfaces of one agent may share a description: the
            // number tells them apart, and a row under another number is
            // followed only when it is the only one of that description.
            Statement byName(*this, kByDescription,
                             VELTRUM_INTERFACE "WHERE agent = ?1 AND description = ?2"
                                               " ORDER BY number = ?3 DESC, id DESC LIMIT 2");
            byName.Bind(1, agent).Bind(2, description).Bind(3, number);
            if (byName.Step()) {
                UsageInterface row = rowFrom(byName.Get());
                if (row.Number == number || !byName.Step()) {
                    return row;
                }
            }
        }
        // A row kept before the description was known.
        Statement unnamed(*this, kByNumberUnnamed,
                          VELTRUM_INTERFACE "WHERE agent = ?1 AND number = ?2 AND description = ''"
                                            " ORDER BY id DESC LIMIT 1");
        unnamed.Bind(1, agent).Bind(2, number);
        if (unnamed.Step()) {
            UsageInterface row = rowFrom(unnamed.Get());
            if (record) {
                Statement name(*this, kName, "UPDATE interface SET description = ?2 WHERE id = ?1");
                name.Bind(1, row.Id).Bind(2, description).Step();
                row.Description = description;
            }
            return row;
        }
    } else {
        Statement byNumber(*this, kByNumber,
                           VELTRUM_INTERFACE "WHERE agent = ?1 AND number = ?2 ORDER BY id DESC LIMIT 1");
        byNumber.Bind(1, agent).Bind(2, number);
        if (byNumber.Step()) {
            return rowFrom(byNumber.Get());
        }
    }
    if (!record) {
        return std::nullopt;
    }
    return AddInterface(agent, number, description);
}

UsageInterface UsageStore::AddInterface(const std::string& agent, int32_t number,
                                        const std::string& description) {
    Statement add(*this, kAddInterface,
                  "INSERT INTO interface (agent, number, description) VALUES (?1, ?2, ?3)");
    add.Bind(1, agent).Bind(2, number).Bind(3, description).Step();
    return Interface(sqlite3_last_insert_rowid(m_db));
}

UsageInterface UsageStore::Interface(int64_t id) {
    Statement byId(*this, kById, VELTRUM_INTERFACE "WHERE id = ?1");
    byId.Bind(1, id);
    if (!byId.Step()) {
        throw EUsageStore(SQLITE_NOTFOUND, m_path + ": no interface row " + std::to_string(id));
    }
    return rowFrom(byId.Get());
}

std::vector<UsageInterface> UsageStore::Interfaces() {
    Statement all(*this, kAllInterfaces, VELTRUM_INTERFACE "ORDER BY id");
    std::vector<UsageInterface> rows;
    while (all.Step()) {
        rows.push_back(rowFrom(all.Get()));
    }
    return rows;
}

void UsageStore::Renumber(int64_t id, int32_t number) {
    Statement renumber(*this, kRenumber, "UPDATE interface SET number = ?2, counter_bits = 0 WHERE id = ?1");
    renumber.Bind(1, id).Bind(2, number).Step();
}

namespace {

// Consecutive segments of the same row summed: one row change per row.
template <typename Key>
std::vector<std::pair<Key, UsageCounts>> rowsOf(std::span<const UsageSegment> segments,
                                                Key (*key)(const BucketKeys&)) {
    std::vector<std::pair<Key, UsageCounts>> rows;
    for (const UsageSegment& segment : segments) {
        const Key k = key(segment.Keys);
        if (rows.empty() || !(rows.back().first == k)) {
            rows.emplace_back(k, UsageCounts{});
        }
        rows.back().second += segment.Counts;
    }
    return rows;
}

using HourKey = std::pair<int64_t, int32_t>;

} // namespace

void UsageStore::Write(int64_t id, std::span<const UsageSegment> segments, const StoredReading& last,
                       int64_t recordedUntil, int64_t recordedSince) {
    exec("BEGIN IMMEDIATE");
    try {
        const auto add = [&](size_t insertSlot, const char* insert, size_t sumSlot, const char* sum,
                             int64_t key, const int32_t* offset, const UsageCounts& counts) {
            Statement ensure(*this, insertSlot, insert);
            ensure.Bind(1, id).Bind(2, key);
            if (offset != nullptr) {
                ensure.Bind(3, *offset);
            }
            ensure.Step();
            Statement plus(*this, sumSlot, sum);
            plus.Bind(1, id).Bind(2, key).BindCounts(counts).Step();
        };
        for (const auto& [key, counts] :
             rowsOf<int64_t>(segments, [](const BucketKeys& k) { return k.FiveMinute; })) {
            add(kAddFive, "INSERT OR IGNORE INTO fiveminute (interface, start) VALUES (?1, ?2)", kSumFive,
                "UPDATE fiveminute" VELTRUM_ADD " WHERE interface = ?1 AND start = ?2", key, nullptr, counts);
        }
        for (const auto& [key, counts] : rowsOf<HourKey>(segments, [](const BucketKeys& k) {
                 return HourKey{k.Hour, k.HourOffset};
             })) {
            add(kAddHour, "INSERT OR IGNORE INTO hour (interface, start, utc_offset) VALUES (?1, ?2, ?3)",
                kSumHour, "UPDATE hour" VELTRUM_ADD " WHERE interface = ?1 AND start = ?2", key.first,
                &key.second, counts);
        }
        for (const auto& [key, counts] :
             rowsOf<int64_t>(segments, [](const BucketKeys& k) { return int64_t{k.Day}; })) {
            add(kAddDay, "INSERT OR IGNORE INTO day (interface, day) VALUES (?1, ?2)", kSumDay,
                "UPDATE day" VELTRUM_ADD " WHERE interface = ?1 AND day = ?2", key, nullptr, counts);
        }
        for (const auto& [key, counts] :
             rowsOf<int64_t>(segments, [](const BucketKeys& k) { return int64_t{k.Month}; })) {
            add(kAddMonth, "INSERT OR IGNORE INTO month (interface, month) VALUES (?1, ?2)", kSumMonth,
                "UPDATE month" VELTRUM_ADD " WHERE interface = ?1 AND month = ?2", key, nullptr, counts);
        }
        Statement keep(
            *this, kKeepReading,
            "UPDATE interface SET counter_bits = ?2, in_octets = ?3, out_octets = ?4, in_packets = ?5,"
            " out_packets = ?6, reading_time = ?7, up_time = ?8, speed = ?9, recorded_until = ?10,"
            " recorded_since = CASE WHEN ?11 > 0 AND (recorded_since = 0 OR ?11 < recorded_since) THEN ?11"
            " ELSE recorded_since END WHERE id = ?1");
        keep.Bind(1, id).Bind(2, last.CounterBits);
        for (int i = 0; i < 4; ++i) {
            keep.Bind(3 + i, asStored(last.Values[static_cast<size_t>(i)]));
        }
        keep.Bind(7, last.Time);
        if (last.UpTimeKnown) {
            keep.Bind(8, int64_t{last.UpTime});
        }
        keep.Bind(9, asStored(last.Speed)).Bind(10, recordedUntil).Bind(11, recordedSince).Step();
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void UsageStore::DropOldRows(int64_t id, int64_t now) {
    Statement five(*this, kDropFive, "DELETE FROM fiveminute WHERE interface = ?1 AND start < ?2");
    five.Bind(1, id).Bind(2, now - kFiveMinuteRowsKept).Step();
    Statement hour(*this, kDropHour, "DELETE FROM hour WHERE interface = ?1 AND start < ?2");
    hour.Bind(1, id).Bind(2, now - kHourRowsKept).Step();
}

std::vector<DayRow> UsageStore::Days(int64_t id, int32_t fromDay, int32_t toDay) {
    Statement days(*this, kDays,
                   "SELECT day, " VELTRUM_COUNTS " FROM day WHERE interface = ?1 AND day >= ?2 AND day < ?3"
                   " ORDER BY day");
    days.Bind(1, id).Bind(2, fromDay).Bind(3, toDay);
    std::vector<DayRow> rows;
    while (days.Step()) {
        rows.push_back(DayRow{sqlite3_column_int(days.Get(), 0), countsAt(days.Get(), 1)});
    }
    return rows;
}

std::vector<HourRow> UsageStore::Hours(int64_t id, int64_t from, int64_t to) {
    Statement hours(*this, kHours,
                    "SELECT start, utc_offset, " VELTRUM_COUNTS
                    " FROM hour WHERE interface = ?1 AND start >= ?2 AND start < ?3 ORDER BY start");
    hours.Bind(1, id).Bind(2, from).Bind(3, to);
    std::vector<HourRow> rows;
    while (hours.Step()) {
        rows.push_back(HourRow{sqlite3_column_int64(hours.Get(), 0), sqlite3_column_int(hours.Get(), 1),
                               countsAt(hours.Get(), 2)});
    }
    return rows;
}

UsageCounts UsageStore::AllTime(int64_t id) {
    Statement sum(
        *this, kAllTime,
        "SELECT coalesce(sum(in_octets), 0), coalesce(sum(out_octets), 0), coalesce(sum(in_packets), 0),"
        " coalesce(sum(out_packets), 0), coalesce(sum(sampled), 0), coalesce(sum(missed), 0)"
        " FROM month WHERE interface = ?1");
    sum.Bind(1, id);
    return sum.Step() ? countsAt(sum.Get(), 0) : UsageCounts{};
}

int32_t UsageStore::FirstDay(int64_t id) {
    Statement first(*this, kFirstDay, "SELECT coalesce(min(day), 0) FROM day WHERE interface = ?1");
    first.Bind(1, id);
    return first.Step() ? sqlite3_column_int(first.Get(), 0) : 0;
}

} // namespace veltrum
