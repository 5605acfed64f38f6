#pragma once
// The main window's usual hints. Two copies of the program may watch two
// agents side by side, and their tiny windows look alike: each hint names
// whose rates it shows.

#include "core/MonitorState.h"

#include <string>
#include <string_view>

namespace veltrum {

// `part` (what a gauge or label shows, e.g. "Download"; empty for the panel
// behind them), then the session, agent and interface:
// "Download — Office: 10.0.0.1, interface 2 (eth0)". The interface's
// description is added when the profile keeps one; the community never is.
std::string MainWindowHint(std::string_view part, const MonitorState& state);

} // namespace veltrum
