#pragma once
// The program's command line: --help, --version, --profile FILE. Parsed
// before any window exists, so that --help and --version work without a
// display.

#include "app/ProgramFolders.h"

#include <QString>
#include <QStringList>

#include <string>

namespace veltrum {

struct StartOptions {
    enum class Action { Run, Help, Version, Fail };
    Action What = Action::Run;
    // With Run: the profile to start with instead of the one app.ini names
    // (absolute), or empty.
    std::string Profile;
    // With Help and Version: the text for standard output; with Fail: the
    // message for standard error.
    QString Text;
};

// `arguments` as QCoreApplication::arguments() gives them; the folders are
// shown by --help.
StartOptions ParseCommandLine(const QStringList& arguments, const ProgramFolders& folders);

// The exit status of a command line that cannot be used.
inline constexpr int kUsageExitStatus = 2;

} // namespace veltrum
