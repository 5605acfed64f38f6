#pragma once
// The program's command line: --help, --version, --profile FILE, and
// --usage [--json | --csv]. Parsed before any window exists, so that --help,
// --version and --usage work without a display.

#include "app/ProgramFolders.h"
#include "history/UsageReport.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace veltrum {

struct StartOptions {
    enum class Action { Run, Help, Version, Usage, Fail };
    Action What = Action::Run;
    // With Run and Usage: the profile to start with instead of the one
    // app.ini names (absolute), or empty; with Run, every one given, each
    // watched beside the others.
    std::string Profile;
    std::vector<std::string> Profiles;
    // With Usage: every interface the history holds, not only the profile's.
    bool All = false;
    // With Usage: how the figures are printed.
    UsageFormat Format = UsageFormat::Text;
    // With Help and Version: the text for standard output; with Fail: the
    // message for standard error.
    QString Text;
};

// `arguments` as QCoreApplication::arguments() gives them; the folders are
// shown by --help.
StartOptions ParseCommandLine(const QStringList& arguments, const ProgramFolders& folders);

// `veltrum --usage`: prints the usage figures of the profile's interface
// from the history in `folders.Data`, which it only reads, and returns the
// exit status.
int RunUsageCommand(const StartOptions& options, const ProgramFolders& folders);

// The exit status of a command line that cannot be used.
inline constexpr int kUsageExitStatus = 2;

} // namespace veltrum
