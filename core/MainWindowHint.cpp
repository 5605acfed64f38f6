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
    // A hand-written version the program does not know is polled as
    // SNMPv1, and says so rather than leave the user guessing.
    const int32_t version = settings.SnmpVersion;
    if (version != 0 && version != kSnmpVersion2c && version != kSnmpVersion3) {
        hint += "\nWersjaSNMP=" + std::to_string(version) +
                " is not a version Veltrum knows (0: SNMPv1, 1: SNMPv2c, 3: SNMPv3); SNMPv1 is used.";
    }
    return hint;
}

bool HintCarriesWarning(const std::optional<QuotaUse>& quota, const std::string& usageStatus) {
    return (quota && quota->Percent >= kQuotaThresholds.front()) || !usageStatus.empty();
}

} // namespace veltrum
