#pragma once
// The usage recorder: one interface's traffic, tick by tick, into the
// history. Driven by plain calls: Record() once a poll, Close() at exit.
//
// Counting: each tick accounts for the time since the previous one. A
// counted tick's differences are added exactly and its time is sampled;
// the time of a failed poll, a reset or a priming reading is missed. A tick
// that spans several rows (a five-minute mark, an hour, midnight) shares its
// seconds between them, and its differences in proportion, the shares
// adding up to the differences exactly.
//
// Plausibility: a difference is counted only if the line could have carried
// it in the time since the reading it is measured from (LineBound,
// MostOctets); otherwise its time is missed, and the notice says so once.
// A reading the poll only primed with is measured from the last reading
// kept, like time away: counted when it could be known, missed otherwise.
//
// Time: how long passed is measured on a clock that never steps and runs on
// through a suspend; the wall clock only names the rows. When the wall clock
// steps (either way, by more than a few seconds against the other), the
// counts made so far are closed under the earlier of the two times they
// could have been made, written, and counting goes on from the new wall
// time: a step never fills the time between, and no row is written ahead of
// the clock in force.
//
// Writing: pending counts go to the store in one transaction every
// kUsageWriteEvery seconds of ticks (no timer of its own: it rides on the
// poll), at once after the first reading of a start (which may hold the time
// away), and at Close(). A kill loses the counts of those few seconds only,
// and leaves a gap short enough for the next start to count even on 32-bit
// counters. When the store cannot be written (a full disk, a read-only
// folder, another copy holding it too long) the counts wait in memory and
// recording resumes at a later flush.
//
// A failed poll decides nothing by itself: the next reading says whether
// the time since the last one is counted (its differences span it) or
// missed. Only once no later reading could count that time (32-bit
// counters that may have wrapped meanwhile) is it missed at once. So a
// second is either sampled or missed, never both.
//
// One recorder per interface: the first recorder to hold the interface's
// lock (an open-file-description lock on one byte of a file beside the
// database, which the system releases when its process ends, however it
// ends) records; the others stand by and try again at every tick, so a copy
// that ends leaves the interface to the next within a poll or two. The one
// that takes over counts the time since the stored reading as time away
// (WantsUpTime asks for the agent's uptime first). A lock
// that cannot be taken for another reason (its file cannot be opened) is
// told with that reason, and the counts wait in memory meanwhile.
//
// Time away: the store keeps the last readings. The first reading of a
// later start counts the traffic since them when it can be known: 64-bit
// counters of an agent whose sysUpTime shows it ran all the while, or 32-bit
// counters when the time away is too short for them to wrap at the line's
// bound, in both cases only what the line could have carried. Otherwise the
// time away is missed.

#include "history/UsageStore.h"
#include "history/UsageTick.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltrum {

// The clocks a recorder follows.
class UsageClock {
public:
    virtual ~UsageClock() = default;
    virtual int64_t Wall() const = 0;   // seconds since the epoch (UTC)
    virtual int64_t Steady() const = 0; // milliseconds; never steps, runs on through a suspend
};
// The system's clocks: time() and CLOCK_BOOTTIME.
const UsageClock& SystemUsageClock();

// Seconds of ticks between two writes of the history: what a kill can lose.
// A write is one small WAL commit that reaches the kernel, not the disk
// (synchronous=NORMAL), so writing this often costs no sync.
inline constexpr int64_t kUsageWriteEvery = 5;

struct RecorderOptions {
    int64_t FlushEvery = kUsageWriteEvery; // seconds of ticks between writes
    // nullptr: each tick's own Time serves as both clocks (a source whose
    // times never step, as a replay's).
    const UsageClock* Clock = nullptr;
};

enum class RecordingState : uint8_t {
    Recording, // this recorder writes the interface's history
    Standby,   // another running copy records it; this one counts nothing
    Paused,    // the history cannot be written now; counts wait in memory
    Stopped,   // a newer program's history: never written
};

class UsageRecorder final {
public:
    // The history at `path` for the interface polled at `agent` (as typed,
    // with its port) under `number`, with its description when known.
    UsageRecorder(std::string path, std::string agent, int32_t number, std::string description,
                  RecorderOptions options = {});
    // Writes what is pending, as Close() does.
    ~UsageRecorder();
    UsageRecorder(const UsageRecorder&) = delete;
    UsageRecorder& operator=(const UsageRecorder&) = delete;

    // One poll's tick; writes when a minute has passed. Never throws.
    void Record(const UsageTick& tick) noexcept;
    // Writes what is pending now; ticks after this are not counted.
    void Close() noexcept;
    // Whether the next tick should carry the agent's uptime: its reading
    // will be measured from a stored one (this recorder is about to take
    // over from a copy that ended, or resumes recording).
    bool WantsUpTime() const noexcept;
    // The monitor follows the interface under another number (found by its
    // description): the history row follows, the readings kept are dropped.
    void Renumbered(int32_t number) noexcept;

    RecordingState State() const { return m_state; }
    // A sentence for the hint; empty while recording.
    std::string StatusText() const;
    // What the user must be told once (a damaged history set aside, a
    // reading refused as implausible), then empty.
    std::string TakeNotice();
    // Whether this recorder is the one for that interface.
    bool Watches(const std::string& agent, int32_t number, const std::string& description) const;
    // The store, for the figures (nullptr only if it could not be made).
    UsageStore* Store() { return m_store.get(); }
    // The interface's row id, 0 until known.
    int64_t InterfaceId() const { return m_row ? m_row->Id : 0; }
    // The counts not written yet, for figures up to the last tick.
    std::span<const UsageSegment> Pending() const { return m_pending; }

private:
    class Lease;
    void tryToRecord(int64_t now, int64_t steady);
    bool takeLease();
    void account(const UsageTick& tick, int64_t now, int64_t steady);
    bool countableAway(const UsageTick& tick, int64_t now, UsageCounts& away) const;
    bool countableSinceLast(const UsageTick& tick, int64_t steady, UsageCounts& moved) const;
    bool unknowableSinceLast(const UsageTick& tick, int64_t steady) const;
    bool stillCountable(const UsageTick& tick, int64_t now, int64_t steady) const;
    void addSpan(int64_t from, int64_t to, const UsageCounts& counts, bool sampled);
    void addPiece(int64_t at, const UsageCounts& counts);
    void shiftPending(int64_t seconds);
    void flush(int64_t now, int64_t steady);
    void keepReading(const UsageTick& tick, int64_t now, int64_t steady);

    std::string m_agent;
    int32_t m_number;
    std::string m_description;
    RecorderOptions m_options;
    std::unique_ptr<UsageStore> m_store;
    std::unique_ptr<Lease> m_lease;
    std::optional<UsageInterface> m_row;
    RecordingState m_state = RecordingState::Recording;
    std::string m_reason;
    bool m_noticeTaken = false;
    bool m_closed = false;
    bool m_renumberPending = false;

    const UsageClock* m_clock;
    bool m_recording = false;     // holds the interface's lock
    bool m_counting = false;      // counts ticks: holds the lock, or cannot take it for another reason
    bool m_resumePending = false; // the first reading since recording began is still to come
    bool m_flushNow = false;
    bool m_implausible = false; // a reading was refused; told once
    bool m_implausibleTold = false;
    // Wall time = m_anchorWall + (steady - m_anchorSteady) / 1000 until the
    // wall clock steps.
    bool m_anchored = false;
    int64_t m_anchorWall = 0;
    int64_t m_anchorSteady = 0;
    std::optional<int64_t> m_prevTick;   // wall time of the previous tick
    int64_t m_prevSteady = 0;            // and its steady time
    int64_t m_lastTime = 0;              // counted or missed up to here (wall)
    int64_t m_firstTime = 0;             // the first moment recorded (wall), 0: none yet
    int64_t m_nextTry = 0;               // next attempt to open, lock or write (steady)
    int64_t m_nextFlush = 0;             // steady
    int64_t m_nextPruning = 0;           // wall
    StoredReading m_last;                // the newest readings, written with each flush
    std::optional<int64_t> m_lastSteady; // when m_last was taken, if in this run
    std::vector<UsageSegment> m_pending;
    std::vector<int64_t> m_pendingAt; // the first second of each pending segment
    // The rows of the seconds [m_cacheFrom, m_cacheTo): the local-time
    // look-up runs once per row, not once per tick.
    BucketKeys m_cacheKeys;
    int64_t m_cacheFrom = 0;
    int64_t m_cacheTo = 0;
};

} // namespace veltrum
