#include "history/UsageRecorder.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace veltrum {

namespace {

// Products of two 64-bit values, exact.
__extension__ typedef unsigned __int128 Wide;

// Time away or a tick longer than this is counted over its last 35 days
// only: five-minute rows are not kept longer, and a gap of months is a gap
// whether or not each of its hours says so.
constexpr int64_t kLongestSpan = 35 * 86400;
// How far the agent's sysUpTime may fall short of the time away and still
// show that the agent ran all the while: clocks of agent and host differ.
constexpr int64_t kUpTimeSlack = 5;
constexpr int64_t kPruneEvery = 3600;

uint64_t share(uint64_t total, int64_t part, int64_t whole) {
    return static_cast<uint64_t>(static_cast<Wide>(total) * static_cast<uint64_t>(part) /
                                 static_cast<uint64_t>(whole));
}

UsageCounts countsOf(const std::array<uint64_t, 4>& values) {
    UsageCounts counts;
    counts.InOctets = values[0];
    counts.OutOctets = values[1];
    counts.InPackets = values[2];
    counts.OutPackets = values[3];
    return counts;
}

bool hasReadings(const UsageTick& tick) {
    return tick.Kind != UsageTickKind::Failed && (tick.CounterBits == 32 || tick.CounterBits == 64);
}

} // namespace

// Who records an interface: a write lock on the byte at the interface's row
// id in "<database>.lock". Open-file-description locks belong to the open
// file, not the process, so two recorders in one process exclude each other
// too, and the system drops the lock when the file is closed or its
// process ends.
class UsageRecorder::Lease final {
public:
    explicit Lease(const std::string& path) : m_path(path + ".lock") {}
    ~Lease() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    bool Take(int64_t id) {
        if (m_fd < 0) {
            m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (m_fd < 0) {
                return false;
            }
        }
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(id);
        lock.l_len = 1;
        return ::fcntl(m_fd, F_OFD_SETLK, &lock) == 0;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

UsageRecorder::UsageRecorder(std::string path, std::string agent, int32_t number, std::string description,
                             RecorderOptions options)
    : m_agent(std::move(agent)), m_number(number), m_description(std::move(description)), m_options(options) {
    m_lease = std::make_unique<Lease>(path);
    m_store = std::make_unique<UsageStore>(std::move(path), StoreMode::Record);
    if (m_store->State() == StoreState::Newer) {
        m_state = RecordingState::Stopped;
        m_reason = m_store->Reason();
    } else if (m_store->State() != StoreState::Ready) {
        m_state = RecordingState::Paused;
        m_reason = m_store->Reason();
    }
}

UsageRecorder::~UsageRecorder() {
    Close();
}

bool UsageRecorder::Watches(const std::string& agent, int32_t number, const std::string& description) const {
    return agent == m_agent && number == m_number && description == m_description;
}

std::string UsageRecorder::TakeNotice() {
    if (m_noticeTaken || m_store->Notice().empty()) {
        return {};
    }
    m_noticeTaken = true;
    return m_store->Notice();
}

std::string UsageRecorder::StatusText() const {
    switch (m_state) {
    case RecordingState::Recording:
        return {};
    case RecordingState::Standby:
        return "Another running copy of Veltrum records this interface's usage.";
    case RecordingState::Paused:
        return "Usage recording is paused (" + m_reason + "); it resumes when the history can be written.";
    case RecordingState::Stopped:
        return "Usage is not recorded: " + m_reason + ".";
    }
    return {};
}

void UsageRecorder::Record(const UsageTick& tick) noexcept {
    if (m_closed || m_state == RecordingState::Stopped) {
        return;
    }
    try {
        if (!m_recording && tick.Time >= m_nextTry) {
            tryToRecord(tick.Time);
        }
        if (m_recording) {
            account(tick);
        }
        if (tick.Kind != UsageTickKind::Failed) {
            keepReading(tick);
        }
        m_prevTick = tick.Time;
        if (m_recording && tick.Time >= m_nextFlush) {
            flush(tick.Time);
        }
    } catch (...) {
        // Memory ran out in the middle of accounting: this tick is lost,
        // the poll goes on.
    }
}

void UsageRecorder::keepReading(const UsageTick& tick) {
    if (!hasReadings(tick)) {
        return;
    }
    m_last.CounterBits = tick.CounterBits;
    m_last.Values = tick.Readings;
    m_last.Time = tick.Time;
    if (tick.Speed != 0) {
        m_last.Speed = tick.Speed;
    }
    // Kept only with the reading it came with.
    m_last.UpTimeKnown = tick.UpTimeKnown;
    m_last.UpTime = tick.UpTime;
}

void UsageRecorder::tryToRecord(int64_t now) {
    m_nextTry = now + m_options.FlushEvery;
    if (m_store->State() != StoreState::Ready) {
        m_store->Reopen();
    }
    if (m_store->State() == StoreState::Newer) {
        m_state = RecordingState::Stopped;
        m_reason = m_store->Reason();
        return;
    }
    if (m_store->State() != StoreState::Ready) {
        m_state = RecordingState::Paused;
        m_reason = m_store->Reason();
        return;
    }
    try {
        if (!m_row) {
            m_row = m_store->OpenInterface(m_agent, m_number, m_description);
        }
        if (!m_lease->Take(m_row->Id)) {
            m_state = RecordingState::Standby;
            m_pending.clear();
            return;
        }
        // What the copy that recorded last (this one's earlier run, or one
        // that died) wrote up to.
        m_row = m_store->Interface(m_row->Id);
    } catch (const EUsageStore& error) {
        m_state = RecordingState::Paused;
        m_reason = error.what();
        return;
    }
    m_recording = true;
    m_state = RecordingState::Recording;
    m_reason.clear();
    const int64_t until = m_row->RecordedUntil;
    m_lastTime = until > 0 && until <= now ? until : m_prevTick.value_or(now);
    if (m_last.CounterBits == 0) {
        m_last = m_row->Last;
    }
    m_resumePending = true;
    m_nextFlush = now + m_options.FlushEvery;
}

bool UsageRecorder::countableAway(const UsageTick& tick, UsageCounts& away) const {
    const StoredReading& stored = m_row->Last;
    const int64_t gap = tick.Time - stored.Time;
    if (stored.CounterBits == 0 || stored.CounterBits != tick.CounterBits || stored.Time <= 0 || gap <= 0 ||
        !tick.UpTimeKnown || tick.UpTime / 100 + kUpTimeSlack < gap) {
        return false; // unknown readings, or the agent may have restarted meanwhile
    }
    const uint64_t speed = tick.Speed != 0 ? tick.Speed : stored.Speed;
    const Wide most = static_cast<Wide>(speed / 8) * static_cast<uint64_t>(gap);
    const Wide room = static_cast<Wide>(1) << tick.CounterBits;
    if (tick.CounterBits == 32 && (speed == 0 || most >= room)) {
        return false; // a 32-bit counter could have wrapped unseen
    }
    std::array<uint64_t, 4> moved{};
    for (size_t i = 0; i < moved.size(); ++i) {
        moved[i] = tick.Readings[i] - stored.Values[i];
        if (tick.CounterBits == 32) {
            moved[i] &= 0xFFFFFFFFu;
        }
        // More than the line could carry (every packet has an octet): the
        // counters were reset after all.
        if (speed != 0 && moved[i] > most + most / 20 + 1) {
            return false;
        }
    }
    away = countsOf(moved);
    return true;
}

void UsageRecorder::account(const UsageTick& tick) {
    int64_t from = m_lastTime;
    const int64_t to = tick.Time < from ? from : tick.Time; // a clock set back counts no time
    if (m_resumePending && hasReadings(tick)) {
        m_resumePending = false;
        UsageCounts away;
        if (countableAway(tick, away)) {
            addSpan(from, to, away, true);
            m_lastTime = to;
            return;
        }
        // The time away is a gap; this tick's own interval counts as usual.
        const int64_t own = m_prevTick && *m_prevTick > from && *m_prevTick <= to ? *m_prevTick : to;
        addSpan(from, own, UsageCounts{}, false);
        from = own;
    }
    if (tick.Kind == UsageTickKind::Counted) {
        addSpan(from, to, countsOf(tick.Differences), true);
    } else {
        addSpan(from, to, UsageCounts{}, false);
    }
    m_lastTime = to;
}

void UsageRecorder::addSpan(int64_t from, int64_t to, const UsageCounts& counts, bool sampled) {
    if (to - from > kLongestSpan) {
        from = to - kLongestSpan;
    }
    const int64_t seconds = to - from;
    if (seconds <= 0) {
        if (!(counts == UsageCounts{})) {
            addPiece(to - 1, counts); // a second tick within the same second
        }
        return;
    }
    for (int64_t at = from; at < to;) {
        if (at < m_cacheFrom || at >= m_cacheTo) {
            m_cacheKeys = KeysAt(at);
            m_cacheFrom = at;
            m_cacheTo = NextBoundary(at, m_cacheKeys);
        }
        const int64_t end = m_cacheTo < to ? m_cacheTo : to;
        UsageCounts piece;
        if (at == from && end == to) {
            piece = counts;
        } else {
            // Cumulative shares, so that the pieces add up exactly.
            piece.InOctets =
                share(counts.InOctets, end - from, seconds) - share(counts.InOctets, at - from, seconds);
            piece.OutOctets =
                share(counts.OutOctets, end - from, seconds) - share(counts.OutOctets, at - from, seconds);
            piece.InPackets =
                share(counts.InPackets, end - from, seconds) - share(counts.InPackets, at - from, seconds);
            piece.OutPackets =
                share(counts.OutPackets, end - from, seconds) - share(counts.OutPackets, at - from, seconds);
        }
        (sampled ? piece.Sampled : piece.Missed) = end - at;
        addPiece(at, piece);
        at = end;
    }
}

void UsageRecorder::addPiece(int64_t at, const UsageCounts& counts) {
    if (at < m_cacheFrom || at >= m_cacheTo) {
        m_cacheKeys = KeysAt(at);
        m_cacheFrom = at;
        m_cacheTo = NextBoundary(at, m_cacheKeys);
    }
    if (m_pending.empty() || !(m_pending.back().Keys == m_cacheKeys)) {
        m_pending.push_back(UsageSegment{m_cacheKeys, UsageCounts{}});
    }
    m_pending.back().Counts += counts;
}

void UsageRecorder::flush(int64_t now) {
    m_nextFlush = now + m_options.FlushEvery;
    if (m_store->State() != StoreState::Ready) {
        m_store->Reopen();
        if (m_store->State() != StoreState::Ready) {
            m_state = RecordingState::Paused;
            m_reason = m_store->Reason();
            return;
        }
    }
    try {
        if (m_renumberPending) {
            m_store->Renumber(m_row->Id, m_number);
            m_renumberPending = false;
        }
        m_store->Write(m_row->Id, m_pending, m_last, m_lastTime);
        m_pending.clear();
        m_state = RecordingState::Recording;
        m_reason.clear();
        if (now >= m_nextPruning) {
            m_store->DropOldRows(m_row->Id, now);
            m_nextPruning = now + kPruneEvery;
        }
    } catch (const EUsageStore& error) {
        m_state = RecordingState::Paused;
        m_reason = error.what();
        if (error.Busy()) {
            m_nextFlush = now + 1; // another copy held it longer than the wait: try at the next poll
        } else if (error.Damaged()) {
            // Found damaged while running: set aside and started anew at
            // the next flush, the interface's row made again there.
            m_store->Reopen();
            m_row.reset();
            m_recording = false;
            m_nextTry = now;
        }
    }
}

void UsageRecorder::Renumbered(int32_t number) noexcept {
    if (number == m_number) {
        return;
    }
    m_number = number;
    m_last.CounterBits = 0;
    m_renumberPending = m_row.has_value();
}

void UsageRecorder::Close() noexcept {
    if (m_closed) {
        return;
    }
    try {
        if (m_recording) {
            flush(m_lastTime);
        }
    } catch (...) {
    }
    m_closed = true;
}

} // namespace veltrum
