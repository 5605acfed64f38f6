#pragma once
// The main window's usual hints. Two copies of the program may watch two
// agents side by side, and their tiny windows look alike: each hint names
// whose rates it shows.

#include "core/Formatting.h"
#include "core/MonitorState.h"
#include "core/Quota.h"
#include "core/ViewSettings.h"

#include <optional>
#include <string>
#include <string_view>

namespace veltrum {

// `part` (what a gauge or label shows, e.g. "Download"; empty for the panel
// behind them), then the session, agent and interface:
// "Download — Office: 10.0.0.1, interface 2 (eth0)". The interface's
// description is added when the profile keeps one; the community never is.
// With a quota set, the billing period's use against it follows on a line
// of its own (QuotaText).
std::string MainWindowHint(std::string_view part, const ViewSettings& settings,
                           const std::optional<QuotaUse>& quota = std::nullopt,
                           const NumberLocale& locale = NumberLocale{});
inline std::string MainWindowHint(std::string_view part, const MonitorState& state,
                                  const std::optional<QuotaUse>& quota = std::nullopt,
                                  const NumberLocale& locale = NumberLocale{}) {
    return MainWindowHint(part, ViewSettingsOf(state), quota, locale);
}

// Whether the usual hint carries a warning (the quota at 80 % or more, the
// usage history not recording) and so stays up as long as a failure's
// hint, not the second the rate's hint needs.
bool HintCarriesWarning(const std::optional<QuotaUse>& quota, const std::string& usageStatus);

} // namespace veltrum
