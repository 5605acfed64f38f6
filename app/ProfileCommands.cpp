#include "app/ProfileCommands.h"

#include "app/Glowny.h"
#include "app/Router.h"
#include "settings/ProfileFiles.h"

#include <QFileDialog>
#include <QTimer>

#include <string>
#include <utility>
#include <vector>

namespace veltrum {

namespace {

FileDialogRunner& Runner() {
    static FileDialogRunner runner;
    return runner;
}

enum class ProfileDialogKind { Load, Save, Another };

// Both dialogs are set up afresh before every showing: the settings folder
// as the starting folder, the profile filter and the default extension that a
// name typed without one receives. QFileDialog never changes the process's
// current folder and has no read-only check box, so those options need
// nothing here.
void prepareDialog(QFileDialog& dialog, const TRouter& main, ProfileDialogKind kind) {
    const bool save = kind == ProfileDialogKind::Save;
    dialog.setWindowTitle(save                                 ? QStringLiteral("Save profile")
                          : kind == ProfileDialogKind::Another ? QStringLiteral("Open another profile")
                                                               : QStringLiteral("Load profile"));
    dialog.setNameFilter(QStringLiteral("Veltrum Saved Profile (*.vlq)"));
    dialog.setDefaultSuffix(QString::fromLatin1(kProfileExtension));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Load accepts only an existing file in an existing folder.
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // Save asks before replacing a file; Load never replaces anything.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !save);
    dialog.setDirectory(QString::fromStdString(main.ConfigDir()));
    dialog.setSizeGripEnabled(true);
}

// The full path the user chose, or empty when the dialog was cancelled.
std::string chooseFile(QFileDialog& dialog) {
    const int result = Runner() ? Runner()(dialog) : dialog.exec();
    if (result != QDialog::Accepted) {
        return {};
    }
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? std::string() : files.front().toStdString();
}

// The profile the user picks, with the stay-on-top timer stopped while the
// dialog is up; empty, and the timer running again, when they cancel.
std::string askForProfile(TRouter& main, ProfileDialogKind kind) {
    main.PauseStayOnTop();
    QFileDialog& dialog = kind == ProfileDialogKind::Save ? *main.SaveDialog1() : *main.OpenDialog1();
    prepareDialog(dialog, main, kind);
    std::string path = chooseFile(dialog);
    if (path.empty()) {
        main.ResumeStayOnTop();
    }
    return path;
}

void reload(TRouter& main) {
    main.ReloadAndRestart();
}

} // namespace

void SetFileDialogRunner(FileDialogRunner runner) {
    Runner() = std::move(runner);
}

void Saveprofile(TRouter& main) {
    const std::string path = askForProfile(main, ProfileDialogKind::Save);
    if (path.empty()) {
        return;
    }

    // Key by key into the chosen file: a new file ends up with every setting
    // the monitor holds, a replaced one keeps any other lines it has.
    // A failed write leaves the pointer file alone, the poll running and the
    // stay-on-top timer stopped.
    main.TheMonitor().SaveProfileAs(path, main.MainPosition());

    // From here until the reload the poll stays stopped; a failed pointer
    // write keeps it (and the stay-on-top timer) stopped.
    main.PausePolling();
    main.RecordCurrentProfile(path);
    reload(main);
    main.ResumeStayOnTop();
}

void Loadprofile(TRouter& main) {
    const std::string path = askForProfile(main, ProfileDialogKind::Load);
    if (path.empty()) {
        return;
    }

    main.PausePolling();
    try {
        main.RecordCurrentProfile(path);
    } catch (...) {
        // The poll stays stopped; the window keeps floating on top.
        main.ResumeStayOnTop();
        throw;
    }
    main.ResumeStayOnTop();
    reload(main);
}

std::string AskForAnotherProfile(TRouter& main) {
    std::string path = askForProfile(main, ProfileDialogKind::Another);
    if (!path.empty()) {
        main.ResumeStayOnTop();
    }
    return path;
}

} // namespace veltrum
