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
// Writing: pending counts go to the store in one transaction when a minute
// of ticks has passed (no timer of its own: it rides on the poll) and at
// Close(). A kill loses at most that minute. When the store cannot be
// written (a full disk, a read-only folder, another copy holding it too
// long) the counts wait in memory and recording resumes at a later flush.
//
// One recorder per interface: the first recorder to hold the interface's
// lock (an open-file-description lock on one byte of a file beside the
// database, which the system releases when its process ends, however it
// ends) records; the others stand by and try again at each flush, so a copy
// that dies leaves the interface to the next within a minute or two.
//
// Time away: the store keeps the last readings. The first reading of a
// later start counts the traffic since them when it can be known: 64-bit
// counters of an agent whose sysUpTime shows it ran all the while, or 32-bit
// counters when the time away is too short for them to wrap at the
// interface's speed. Otherwise the time away is missed.

#include "history/UsageStore.h"
#include "history/UsageTick.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace veltrum {

struct RecorderOptions {
    int64_t FlushEvery = 60; // seconds of ticks between writes
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
    // The monitor follows the interface under another number (found by its
    // description): the history row follows, the readings kept are dropped.
    void Renumbered(int32_t number) noexcept;

    RecordingState State() const { return m_state; }
    // A sentence for the hint; empty while recording.
    std::string StatusText() const;
    // What the user must be told once (a damaged history set aside), then
    // empty.
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
    void tryToRecord(int64_t now);
    void account(const UsageTick& tick);
    void addSpan(int64_t from, int64_t to, const UsageCounts& counts, bool sampled);
    void addPiece(int64_t at, const UsageCounts& counts);
    bool countableAway(const UsageTick& tick, UsageCounts& away) const;
    void flush(int64_t now);
    void keepReading(const UsageTick& tick);

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

    bool m_recording = false;     // holds the interface's lock
    bool m_resumePending = false; // the first reading since recording began is still to come
    std::optional<int64_t> m_prevTick;
    int64_t m_lastTime = 0; // counted up to here
    int64_t m_nextTry = 0;  // next attempt to open, lock or write
    int64_t m_nextFlush = 0;
    int64_t m_nextPruning = 0;
    StoredReading m_last; // the newest readings, written with each flush
    std::vector<UsageSegment> m_pending;
    // The rows of the seconds [m_cacheFrom, m_cacheTo): the local-time
    // look-up runs once per row, not once per tick.
    BucketKeys m_cacheKeys;
    int64_t m_cacheFrom = 0;
    int64_t m_cacheTo = 0;
};

} // namespace veltrum
