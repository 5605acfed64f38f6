#include "history/UsageRecorder.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <time.h>
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
// How far the wall clock may drift from the steady clock before it counts
// as set: a second of rounding either way, and a slewing clock.
constexpr int64_t kStepTolerance = 5;

// Seconds as milliseconds, a "never" of a benchmark's included.
int64_t millisecondsOf(int64_t seconds) {
    constexpr int64_t kLongest = INT64_MAX / 4000;
    return (seconds > kLongest ? kLongest : seconds) * 1000;
}

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

std::array<uint64_t, 4> valuesOf(const UsageCounts& counts) {
    return {counts.InOctets, counts.OutOctets, counts.InPackets, counts.OutPackets};
}

// Whether 32-bit counters could have wrapped unseen in a span in which the
// line could carry `most` octets: their rise is then unknowable, not
// implausible.
bool wrapsUnseen(uint8_t bits, uint64_t most) {
    return bits == 32 && most >= (uint64_t{1} << 32);
}

bool hasReadings(const UsageTick& tick) {
    return tick.Kind != UsageTickKind::Failed && (tick.CounterBits == 32 || tick.CounterBits == 64);
}

// The readings' increases since `before`, if the line could have carried
// them in `ms` milliseconds: for 32-bit counters only when they could not
// have wrapped unseen.
bool movedWithin(const StoredReading& before, const UsageTick& tick, int64_t ms, uint64_t bound,
                 UsageCounts& moved) {
    if (before.CounterBits == 0 || before.CounterBits != tick.CounterBits || ms < 0) {
        return false;
    }
    const uint64_t most = MostOctets(bound, ms);
    if (wrapsUnseen(tick.CounterBits, most)) {
        return false;
    }
    std::array<uint64_t, 4> increases{};
    for (size_t i = 0; i < increases.size(); ++i) {
        increases[i] = tick.Readings[i] - before.Values[i];
        if (tick.CounterBits == 32) {
            increases[i] &= 0xFFFFFFFFu;
        }
    }
    if (!PlausibleIncreases(increases, most)) {
        return false;
    }
    moved = countsOf(increases);
    return true;
}

class SystemClock final : public UsageClock {
public:
    int64_t Wall() const override { return static_cast<int64_t>(std::time(nullptr)); }
    int64_t Steady() const override {
        timespec now{};
        ::clock_gettime(CLOCK_BOOTTIME, &now);
        return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
    }
};

} // namespace

const UsageClock& SystemUsageClock() {
    static const SystemClock clock;
    return clock;
}

// Who records an interface: a write lock on the byte at the interface's row
// id in "<database>.lock". Open-file-description locks belong to the open
// file, not the process, so two recorders in one process exclude each other
// too, and the system drops the lock when the file is closed or its
// process ends.
class UsageRecorder::Lease final {
public:
    enum class Outcome : uint8_t { Taken, Held, Failed };

    explicit Lease(const std::string& path) : m_path(path + ".lock") {}
    ~Lease() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    // Failed: Reason() says why.
    Outcome Take(int64_t id) {
        if (m_fd < 0) {
            m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (m_fd < 0) {
                m_reason = "cannot open " + m_path + ": " + std::strerror(errno);
                return Outcome::Failed;
            }
        }
        struct flock lock = byteOf(id);
        if (::fcntl(m_fd, F_OFD_SETLK, &lock) == 0) {
            return Outcome::Taken;
        }
        if (errno == EAGAIN || errno == EACCES) {
            return Outcome::Held;
        }
        m_reason = "cannot lock " + m_path + ": " + std::strerror(errno);
        return Outcome::Failed;
    }
    const std::string& Reason() const { return m_reason; }
    // Whether Take would succeed now; takes nothing.
    bool Free(int64_t id) const {
        struct flock lock = byteOf(id);
        return m_fd >= 0 && ::fcntl(m_fd, F_OFD_GETLK, &lock) == 0 && lock.l_type == F_UNLCK;
    }

private:
    static struct flock byteOf(int64_t id) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(id);
        lock.l_len = 1;
        return lock;
    }

    std::string m_path;
    std::string m_reason;
    int m_fd = -1;
};

UsageRecorder::UsageRecorder(std::string path, std::string agent, int32_t number, std::string description,
                             RecorderOptions options)
    : m_agent(std::move(agent)), m_number(number), m_description(std::move(description)), m_options(options),
      m_clock(options.Clock) {
    m_lease = std::make_unique<Lease>(path);
    m_store = std::make_unique<UsageStore>(std::move(path), StoreMode::Record);
    if (m_store->State() == StoreState::Newer || m_store->State() == StoreState::Refused) {
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
    if (!m_noticeTaken && !m_store->Notice().empty()) {
        m_noticeTaken = true;
        return m_store->Notice();
    }
    if (m_implausible && !m_implausibleTold) {
        m_implausibleTold = true;
        return "A reading of the interface's counters rose more than the line could carry; it was not "
               "counted, and its time is recorded as missed.";
    }
    return {};
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
        const int64_t wall = m_clock != nullptr ? m_clock->Wall() : tick.Time;
        int64_t steady = m_clock != nullptr ? m_clock->Steady() : tick.Time * 1000;
        if (!m_anchored) {
            m_anchored = true;
            m_anchorWall = wall;
            m_anchorSteady = steady;
        }
        steady = std::max(steady, m_anchorSteady);
        const int64_t now = m_anchorWall + (steady - m_anchorSteady) / 1000;
        const int64_t step = wall - now;
        if (!m_counting && steady >= m_nextTry) {
            tryToRecord(now, steady);
        }
        if (m_counting) {
            account(tick, now, steady);
        }
        if (tick.Kind != UsageTickKind::Failed) {
            keepReading(tick, now, steady);
        }
        m_prevTick = now;
        m_prevSteady = steady;
        if (step > kStepTolerance || step < -kStepTolerance) {
            // The wall clock was set. What was counted stays where it was
            // made; after a step back it moves back with the clock, so
            // that nothing lies ahead of the clock in force. The readings
            // kept move with the clock either way: the next start measures
            // the time away from them.
            if (step < 0) {
                shiftPending(step);
                m_lastTime += step;
                m_firstTime = std::min(m_firstTime, m_pendingAt.empty() ? m_lastTime : m_pendingAt.front());
            }
            if (m_last.Time != 0) {
                m_last.Time += step;
            }
            if (m_counting) {
                flush(std::min(now, wall), steady);
            }
            m_anchorWall = wall;
            m_anchorSteady = steady;
            m_lastTime = wall;
            m_prevTick = wall;
        } else if (m_counting && (m_flushNow || steady >= m_nextFlush)) {
            flush(now, steady);
        }
    } catch (...) {
        // Memory ran out in the middle of accounting: this tick is lost,
        // the poll goes on.
    }
}

void UsageRecorder::keepReading(const UsageTick& tick, int64_t now, int64_t steady) {
    if (!hasReadings(tick)) {
        return;
    }
    m_last.CounterBits = tick.CounterBits;
    m_last.Values = tick.Readings;
    m_last.Time = now;
    m_lastSteady = steady;
    if (tick.Speed != 0) {
        m_last.Speed = tick.Speed;
    }
    // Kept only with the reading it came with.
    m_last.UpTimeKnown = tick.UpTimeKnown;
    m_last.UpTime = tick.UpTime;
}

bool UsageRecorder::takeLease() {
    switch (m_lease->Take(m_row->Id)) {
    case Lease::Outcome::Taken:
        m_recording = true;
        return true;
    case Lease::Outcome::Held:
        m_recording = false;
        m_counting = false;
        m_state = RecordingState::Standby;
        m_nextTry = 0; // tried again at the next tick: a hand-over loses no more
        m_pending.clear();
        m_pendingAt.clear();
        return false;
    case Lease::Outcome::Failed:
        m_recording = false;
        m_state = RecordingState::Paused;
        m_reason = m_lease->Reason();
        return false;
    }
    return false;
}

void UsageRecorder::tryToRecord(int64_t now, int64_t steady) {
    m_nextTry = steady + millisecondsOf(m_options.FlushEvery);
    if (m_store->State() != StoreState::Ready) {
        m_store->Reopen();
    }
    if (m_store->State() == StoreState::Newer || m_store->State() == StoreState::Refused) {
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
        const bool followed = m_row->Number != m_number; // found by its description under another number
        if (!takeLease() && m_state == RecordingState::Standby) {
            if (!followed) {
                return;
            }
            // Another running copy records that row: another interface
            // of the same description, not this one renumbered.
            m_row = m_store->AddInterface(m_agent, m_number, m_description);
            if (!takeLease() && m_state == RecordingState::Standby) {
                return;
            }
        } else if (followed) {
            m_store->Renumber(m_row->Id, m_number);
        }
        // What the copy that recorded last (this one's earlier run, or one
        // that died) wrote up to.
        m_row = m_store->Interface(m_row->Id);
    } catch (const EUsageStore& error) {
        m_state = RecordingState::Paused;
        m_reason = error.what();
        return;
    }
    // Without the lock for a reason other than another copy: counted in
    // memory, written once the lock can be taken.
    m_counting = true;
    if (m_recording) {
        m_state = RecordingState::Recording;
        m_reason.clear();
    }
    const int64_t until = m_row->RecordedUntil;
    m_lastTime = until > 0 && until <= now ? until : m_prevTick.value_or(now);
    m_firstTime = m_firstTime != 0 ? std::min(m_firstTime, m_lastTime) : m_lastTime;
    if (m_last.CounterBits == 0) {
        m_last = m_row->Last;
        m_lastSteady.reset();
    }
    m_resumePending = true;
    m_nextFlush = steady + millisecondsOf(m_options.FlushEvery);
}

bool UsageRecorder::countableAway(const UsageTick& tick, int64_t now, UsageCounts& away) const {
    const StoredReading& stored = m_row->Last;
    const int64_t gap = now - stored.Time;
    // A reading in the same second as the one kept is as good as any other.
    if (stored.Time <= 0 || gap < 0 || !tick.UpTimeKnown || tick.UpTime / 100 + kUpTimeSlack < gap) {
        return false; // unknown readings, or the agent may have restarted meanwhile
    }
    const uint64_t speed = tick.Speed != 0 ? tick.Speed : stored.Speed;
    return movedWithin(stored, tick, gap * 1000, LineBound(speed, tick.MaxSpeed), away);
}

bool UsageRecorder::stillCountable(const UsageTick& tick, int64_t now, int64_t steady) const {
    // The reading the next one will be measured from, and how long ago.
    const bool stored = m_resumePending || !m_lastSteady;
    const StoredReading& from = stored ? m_row->Last : m_last;
    const int64_t ms = stored ? (now - from.Time) * 1000 : steady - *m_lastSteady;
    if (from.CounterBits == 0 || (stored && from.Time <= 0) || ms < 0 || ms > kLongestSpan * 1000) {
        return false;
    }
    const uint64_t speed = tick.Speed != 0 ? tick.Speed : from.Speed;
    return !wrapsUnseen(from.CounterBits, MostOctets(LineBound(speed, tick.MaxSpeed), ms));
}

bool UsageRecorder::unknowableSinceLast(const UsageTick& tick, int64_t steady) const {
    if (!m_lastSteady) {
        return false;
    }
    const uint64_t speed = tick.Speed != 0 ? tick.Speed : m_last.Speed;
    return wrapsUnseen(tick.CounterBits, MostOctets(LineBound(speed, tick.MaxSpeed), steady - *m_lastSteady));
}

bool UsageRecorder::countableSinceLast(const UsageTick& tick, int64_t steady, UsageCounts& moved) const {
    if (!m_lastSteady) {
        return false;
    }
    const uint64_t speed = tick.Speed != 0 ? tick.Speed : m_last.Speed;
    return movedWithin(m_last, tick, steady - *m_lastSteady, LineBound(speed, tick.MaxSpeed), moved);
}

void UsageRecorder::account(const UsageTick& tick, int64_t now, int64_t steady) {
    int64_t from = m_lastTime;
    const int64_t to = now < from ? from : now;
    if (tick.Kind == UsageTickKind::Failed) {
        // The next reading's differences will span this time, or it is
        // missed: decided then, unless no reading could count it any more.
        if (!stillCountable(tick, now, steady)) {
            addSpan(from, to, UsageCounts{}, false);
            m_lastTime = to;
        }
        return;
    }
    if (m_resumePending && hasReadings(tick)) {
        m_resumePending = false;
        m_flushNow = true; // what is known is written at once
        UsageCounts away;
        if (countableAway(tick, now, away)) {
            addSpan(from, to, away, true);
            m_lastTime = to;
            return;
        }
        // The time away is a gap; this tick's own interval counts as usual.
        const int64_t own = m_prevTick && *m_prevTick > from && *m_prevTick <= to ? *m_prevTick : to;
        addSpan(from, own, UsageCounts{}, false);
        from = own;
    }
    UsageCounts counted;
    bool sampled = false;
    if (tick.Kind == UsageTickKind::Counted) {
        // The poll's differences, measured from its last reading: they
        // stand if the line could have carried them in the time since, on
        // a clock that never steps.
        const int64_t since = m_lastSteady ? steady - *m_lastSteady : (to - from) * 1000;
        const uint64_t speed = tick.Speed != 0 ? tick.Speed : m_last.Speed;
        const uint64_t most = MostOctets(LineBound(speed, tick.MaxSpeed), since);
        const bool plausible = PlausibleIncreases(tick.Differences, most);
        sampled = plausible && !wrapsUnseen(tick.CounterBits, most);
        if (sampled) {
            counted = countsOf(tick.Differences);
        }
        // Only a rise truly refused is told; one that may hide a wrap is
        // merely unknowable.
        m_implausible = m_implausible || !plausible;
    } else if (hasReadings(tick)) {
        // A reading the poll only primed with (a stall or a suspend it
        // could not judge, the graph's reset) is measured from the last
        // reading, as time away is; the poll's doubt is told only when
        // that measure refuses it too.
        sampled = countableSinceLast(tick, steady, counted);
        m_implausible = m_implausible || (tick.Implausible && !sampled && !unknowableSinceLast(tick, steady));
    }
    addSpan(from, to, sampled ? counted : UsageCounts{}, sampled);
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
            const std::array<uint64_t, 4> whole = valuesOf(counts);
            std::array<uint64_t, 4> part{};
            for (size_t i = 0; i < part.size(); ++i) {
                part[i] = share(whole[i], end - from, seconds) - share(whole[i], at - from, seconds);
            }
            piece = countsOf(part);
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
        m_pendingAt.push_back(at);
    }
    m_pending.back().Counts += counts;
}

void UsageRecorder::shiftPending(int64_t seconds) {
    for (size_t i = 0; i < m_pending.size(); ++i) {
        m_pendingAt[i] += seconds;
        m_pending[i].Keys = KeysAt(m_pendingAt[i]);
    }
    m_cacheFrom = m_cacheTo = 0;
}

void UsageRecorder::flush(int64_t now, int64_t steady) {
    m_nextFlush = steady + millisecondsOf(m_options.FlushEvery);
    m_flushNow = false;
    if (m_store->State() != StoreState::Ready) {
        m_store->Reopen();
        if (m_store->State() != StoreState::Ready) {
            m_state = RecordingState::Paused;
            m_reason = m_store->Reason();
            return;
        }
    }
    try {
        if (!m_recording && !takeLease()) {
            return;
        }
        if (m_renumberPending) {
            m_store->Renumber(m_row->Id, m_number);
            m_renumberPending = false;
        }
        // No reading is dated ahead of the time it is written at.
        StoredReading last = m_last;
        last.Time = std::min(last.Time, std::max(now, m_lastTime));
        m_store->Write(m_row->Id, m_pending, last, m_lastTime, m_firstTime);
        m_pending.clear();
        m_pendingAt.clear();
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
            m_nextFlush = steady + 1000; // another copy held it longer than the wait: try at the next poll
        } else if (error.Damaged()) {
            // Found damaged while running: set aside and started anew at
            // the next flush, the interface's row made again there.
            m_store->Reopen();
            m_row.reset();
            m_recording = false;
            m_counting = false;
            m_nextTry = steady;
        }
    }
}

void UsageRecorder::Renumbered(int32_t number) noexcept {
    if (number == m_number) {
        return;
    }
    m_number = number;
    m_last.CounterBits = 0;
    m_lastSteady.reset();
    m_renumberPending = m_row.has_value();
}

bool UsageRecorder::WantsUpTime() const noexcept {
    if (m_closed || m_state == RecordingState::Stopped) {
        return false;
    }
    if (m_counting) {
        return m_resumePending;
    }
    return m_state == RecordingState::Standby && m_row && m_lease->Free(m_row->Id);
}

void UsageRecorder::Close() noexcept {
    if (m_closed) {
        return;
    }
    try {
        if (m_counting) {
            flush(m_lastTime, m_prevSteady);
        }
    } catch (...) {
    }
    m_closed = true;
}

} // namespace veltrum
