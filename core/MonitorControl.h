#pragma once
// What the windows may ask of the monitor. Each router (app/Router.h)
// implements it for its Monitor; the dialogs receive it when they are
// created, so none of them needs the router's class, and a test can drive a
// dialog through a stand-in.

#include "core/AgentQuery.h"
#include "core/SettingsTable.h"
#include "core/StartupLoad.h"
#include "core/ViewSettings.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltrum {

// What OK in the settings dialog writes: its fields, the interface's
// description when it is to change (absent: the stored one stays), and the
// protocol version.
struct DialogSettings {
    std::vector<SettingWrite> Writes;
    std::optional<std::string> Description;
    int32_t Version = 0;
    // SNMPv3's settings, written while SNMPv3 is chosen and otherwise only
    // where the profile holds them.
    V3Settings V3;
};

// Writes them into the profile at `profilePath`: every value is checked
// before the first is written. Throws EIniFileException.
void WriteDialogSettings(const std::string& profilePath, const DialogSettings& settings);

class MonitorControl {
public:
    // The product web page that OpenWebPageSoon opens.
    static constexpr const char* kProductUrl = "https://veltrum.example.org/";

    virtual ~MonitorControl() = default;

    // A copy of the settings in force; its ProfilePath is the current profile.
    virtual ViewSettings Settings() const = 0;
    // Ends in "/": app.ini and the default profile live there.
    virtual const std::string& ConfigDir() const = 0;
    // The main window's top-left corner, as the profile stores it.
    virtual WindowPosition MainPosition() const = 0;

    // The poll timer.
    virtual void PausePolling() = 0;
    virtual void ResumePolling() = 0;
    // The re-assertion of the main window's stay-on-top state, paused while a
    // dialog of ours should stay in front of it.
    virtual void PauseStayOnTop() = 0;
    virtual void ResumeStayOnTop() = 0;

    // The start-up load then the monitor restart, so that a rewritten profile
    // takes effect at once. Throws what the start-up load throws.
    virtual void ReloadAndRestart() = 0;
    // MainOpacity set to `level` and applied to the main window (the
    // dialog's preview, or the level it puts back); GraphOpacity to both
    // graph windows.
    virtual void ApplyMainOpacity(uint16_t level) = 0;
    virtual void ApplyGraphOpacity(uint16_t level) = 0;
    // Opens the product web page a tenth of a second later, once the window
    // that asked has closed.
    virtual void OpenWebPageSoon() = 0;

    // The dialogs' questions to an agent they name, asked through the
    // monitor's client for them (SNMPConf), never through the poll's. The
    // probe's answer comes through `answered`, later, from the event loop;
    // only the last question asked is answered (Monitor::AskProbe).
    virtual void AskProbe(const AgentTarget& target, ProbeScope scope,
                          std::function<void(const ProbeResult&)> answered) = 0;
    // An interface walk that the caller steps, an exchange at a time;
    // `ready` says when a step that found the client busy may be tried again.
    virtual std::unique_ptr<InterfaceWalkSession> StartInterfaceWalk(const AgentTarget& target,
                                                                     std::function<void()> ready) = 0;

    // The settings dialog's writes to the current profile; each throws
    // EIniFileException. The main window's place goes first, as the dialog
    // opens: OK reloads the profile and places the window from it.
    virtual void WriteMainPosition() = 0;
    virtual void WriteSettings(const DialogSettings& settings) = 0;

protected:
    MonitorControl() = default;
    MonitorControl(const MonitorControl&) = default;
    MonitorControl& operator=(const MonitorControl&) = default;
};

} // namespace veltrum
