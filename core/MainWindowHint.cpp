#include "core/MainWindowHint.h"

namespace veltrum {

std::string MainWindowHint(std::string_view part, const ViewSettings& settings,
                           const std::optional<QuotaUse>& quota, const NumberLocale& locale) {
    std::string hint(part);
    if (!hint.empty()) {
        hint += " \u2014 ";
    }
    if (!settings.SessionName.empty()) {
        hint += settings.SessionName + ": ";
    }
    if (!settings.AgentHost.empty()) {
        hint += settings.AgentHost + ", ";
    }
    hint += "interface " + std::to_string(settings.InterfaceNumber);
    if (!settings.InterfaceDescription.empty()) {
        hint += " (" + settings.InterfaceDescription + ")";
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
