#include "core/MainWindowHint.h"

namespace veltrum {

std::string MainWindowHint(std::string_view part, const MonitorState& state,
                           const std::optional<QuotaUse>& quota, const NumberLocale& locale) {
    std::string hint(part);
    if (!hint.empty()) {
        hint += " \u2014 ";
    }
    if (!state.SessionName.empty()) {
        hint += state.SessionName + ": ";
    }
    if (!state.AgentHost.empty()) {
        hint += state.AgentHost + ", ";
    }
    hint += "interface " + std::to_string(state.InterfaceNumber);
    if (!state.InterfaceDescription.empty()) {
        hint += " (" + state.InterfaceDescription + ")";
    }
    if (quota) {
        hint += "\n" + QuotaText(*quota, locale);
    }
    return hint;
}

bool HintCarriesWarning(const std::optional<QuotaUse>& quota, const std::string& usageStatus) {
    return (quota && quota->Percent >= kQuotaThresholds.front()) || !usageStatus.empty();
}

} // namespace veltrum
