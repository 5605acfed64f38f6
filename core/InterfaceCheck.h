#pragma once
// The interface kept by name. Agents may renumber their interfaces (a
// firmware update, a reboot, a module added), and the number in the profile
// would then silently name another interface. A profile that keeps the
// interface's ifDescr as last seen (OpisInterfaceu) is checked against it at
// each restart and after a run of failed polls: if the number names another
// description now, the interface with the kept description is looked up in
// the agent's table and monitored instead. A profile without the description
// costs no request at all.

#include "core/InterfaceWalk.h"
#include "core/MonitorState.h"

#include <cstdint>
#include <optional>
#include <string>

namespace veltrum {

class TIdSNMP;

enum class InterfaceCheckKind {
    NotChecked, // the profile keeps no description: nothing was asked
    Unanswered, // no usable answer: nothing can be told, nothing changes
    Confirmed,  // the number still names the description
    Switched,   // another number names it now, and the state follows it
    NotFound,   // no interface has the description: the number stays
    Ambiguous,  // several interfaces have it: the number stays
    Incomplete, // the number names another description, and the table could
                // not be read to its end: the number stays
};

struct InterfaceCheck {
    InterfaceCheckKind Kind = InterfaceCheckKind::NotChecked;
    int32_t Number = 0;      // the number that was checked
    int32_t NewNumber = 0;   // Switched: the number that names the description now
    std::string Seen;        // what Number names now (empty: nothing)
    std::string Description; // the description kept
};

// One check, an exchange at a time. The first step asks for ifDescr of
// state.InterfaceNumber in a GetRequest of its own (in the state's protocol
// version, waiting at most the read time-out). When that names another
// description, the following steps walk the agent's ifDescr column for the
// one interface that has the kept description. Only a walk that reached the
// end of the table may switch or say the description is gone: a walk cut
// short by silence or by its row bound may have missed a match or a second
// one. On a single match the last step sets state.InterfaceNumber to it and
// writes NumerInterfaceu to the profile (a profile that cannot be written
// keeps the old number, and the next check finds the match again), unless
// the state has meanwhile moved to another interface or profile. Each step
// leaves the client's query and reply as any exchange does; the poll builds
// its own request afresh, so polls may run between steps.
class InterfaceCheckRun final {
public:
    explicit InterfaceCheckRun(const MonitorState& state);
    // True once the check has ended, with Result() final. Never throws.
    bool Step(MonitorState& state, TIdSNMP& snmp) noexcept;
    bool Finished() const { return m_finished; }
    // A walk is under way: the check takes more than one exchange.
    bool Walking() const { return m_walk.has_value() && !m_finished; }
    const InterfaceCheck& Result() const { return m_check; }

private:
    bool finish(InterfaceCheckKind kind);
    void concludeWalk(MonitorState& state);

    InterfaceCheck m_check;
    std::string m_profilePath;
    bool m_finished = false;
    std::optional<InterfaceWalker> m_walk;
};

// The whole check at once, blocking, for callers without a window.
InterfaceCheck KeepInterfaceByName(MonitorState& state, TIdSNMP& snmp) noexcept;

// The main window's hint for a check: the mismatch for NotFound, Ambiguous
// and Incomplete, empty otherwise.
std::string InterfaceCheckText(const InterfaceCheck& check);

} // namespace veltrum
