#pragma once
// The profile commands of the main window's menu. "Save as new profile"
// writes the settings in force into a file the user names; "Load profile"
// makes a file the user picks current. Both record the file in app.ini and
// end with the router's start-up load and monitor restart, so the
// monitor runs on the new file at once.

#include <functional>
#include <string>

class QFileDialog;

namespace veltrum {

class TRouter;

// Both throw EIniFileException ("Unable to write to %s") when a file cannot be
// written; the menu handlers show it in the error box. Which timers stay
// stopped after such a failure is part of each command's contract (see the
// .cpp).
void Saveprofile(TRouter& main);
void Loadprofile(TRouter& main);
// "Open another profile...": the profile the user picks to watch beside this
// one, or empty when they cancel. Nothing is written.
std::string AskForAnotherProfile(TRouter& main);

// Runs a configured file dialog and returns its result code. Tests install
// one that answers the dialog instead of showing it; an empty function
// restores QFileDialog::exec().
using FileDialogRunner = std::function<int(QFileDialog&)>;
void SetFileDialogRunner(FileDialogRunner runner);

} // namespace veltrum
