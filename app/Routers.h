#pragma once
// The routers of one program (TRouters): the command line's profiles or the
// ones app.ini remembers open, one TRouter each, their polls on one phase,
// and app.ini's list of what is open.

#include "app/Router.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

namespace veltrum {

// The routers of one program. The program ends when the last one closes.
class TRouters final : public QObject {
    Q_OBJECT

public:
    explicit TRouters(RouterFolders folders);
    ~TRouters() override;

    // The command line's profiles, or, without any, the profile app.ini
    // names followed by the others it remembers open (RememberedProfiles).
    // Each main window shows. A profile that cannot be read opens nothing;
    // a message box (and standard error) says which and why, and with no
    // router open the program ends once it is read.
    void OpenAtStart(const std::vector<std::string>& profiles);
    // One more router on `chosenProfile` (empty: app.ini's); its main window
    // shows. One already open is shown instead. Throws std::runtime_error,
    // saying why, when the profile cannot be read (IniFileRefusal).
    TRouter& Open(const std::string& chosenProfile);
    const std::vector<std::unique_ptr<TRouter>>& Routers() const { return m_routers; }
    // Every router's shutdown save and the history's last counts, without
    // the window system and without closing anything (TRouter::StopNow):
    // for a signal, a lost display, the program's end. app.ini keeps the
    // open profiles for the next start.
    void StopAll() noexcept;
    // Exit: every router closes with its shutdown save, app.ini keeps them
    // all as the open set, and the program ends.
    void ExitAll();

signals:
    void AllClosed();

private:
    void closed(TRouter* router);
    // app.ini's list of the open profiles, kept only while more than one is.
    void recordOpenProfiles();

    RouterFolders m_folders;
    std::vector<std::unique_ptr<TRouter>> m_routers;
    bool m_listed = false;  // app.ini holds a list of several
    bool m_exiting = false; // ExitAll closes them all: the open set stays
};

} // namespace veltrum
