// Program entry: reads the command line, checks that there is a display,
// finds the program's folders, opens a router (app/Routers.h) for each
// profile, and runs the message loop until the last main window closes.

#include "app/CommandLine.h"
#include "app/ProgramFolders.h"
#include "app/Routers.h"
#include "app/StopSignals.h"
#include "core/UsageRecording.h"

#include <QApplication>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void nameApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Veltrum"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELTRUM_VERSION));
}

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Qt ends the process with abort() when its platform finds no display, after
// the settings folder was made. The X11 platform (the program's own choice,
// or asked for) is checked first, so that the user reads why in one line and
// nothing is written; any other platform named in QT_QPA_PLATFORM (offscreen,
// wayland, a list) is Qt's to judge. Returns the message, or empty.
std::string missingDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string name = platform == nullptr ? "" : platform;
    const bool x11 = name.empty() || name == "xcb" || name.rfind("xcb:", 0) == 0;
    if (!x11 || (name.empty() && !isSet("DISPLAY") && isSet("WAYLAND_DISPLAY"))) {
        return {};
    }
    const std::string needs = "veltrum: needs a graphical display (X11 or XWayland), and ";
    if (!isSet("DISPLAY")) {
        return needs + "DISPLAY is not set\n";
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool opened = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opened ? std::string() : needs + "cannot open display " + std::getenv("DISPLAY") + "\n";
}

// The routers to save when the process ends through exit() from inside the
// event loop: Qt's X11 platform does so when the display's connection
// breaks (the X server ended, the session logged out).
veltrum::TRouters* g_routersAtExit = nullptr;

void stopRoutersAtExit() {
    if (g_routersAtExit != nullptr) {
        g_routersAtExit->StopAll();
    }
}

// Where the running copies keep their main windows' places; empty without a
// runtime directory.
std::string runningCopiesFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || runtime[0] != '/') {
        return {};
    }
    std::string folder = runtime;
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder + "veltrum/";
}

} // namespace

int main(int argc, char** argv) {
    using namespace veltrum;

    // The command line is read before the GUI starts, so --help and
    // --version answer without a display.
    ProgramFolders folders;
    std::vector<std::string> chosenProfiles;
    {
        QCoreApplication parsing(argc, argv);
        nameApplication();
        folders = FindProgramFolders();
        const StartOptions options = ParseCommandLine(QCoreApplication::arguments(), folders);
        switch (options.What) {
        case StartOptions::Action::Help:
        case StartOptions::Action::Version:
            std::fputs(options.Text.toLocal8Bit().constData(), stdout);
            return EXIT_SUCCESS;
        case StartOptions::Action::Fail:
            std::fputs(options.Text.toLocal8Bit().constData(), stderr);
            return kUsageExitStatus;
        case StartOptions::Action::Usage:
            return RunUsageCommand(options, folders);
        case StartOptions::Action::Run:
            chosenProfiles = options.Profiles;
            break;
        }
    }
    if (const std::string missing = missingDisplay(); !missing.empty()) {
        std::fputs(missing.c_str(), stderr);
        return EXIT_FAILURE;
    }
    if (folders.Installed) {
        // Profiles hold the community string: the folder is the user's alone.
        // Without it the program still runs; a save then reports its failure.
        const std::string error = MakePrivateFolder(folders.Config);
        if (!error.empty()) {
            std::fprintf(stderr, "veltrum: cannot create the settings folder %s\n", error.c_str());
        }
    }

    // Always-on-top and window positions need X11; under Wayland the program
    // runs through XWayland.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") != nullptr) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0"); // fixed-pixel windows: no scaling for screen density
    QApplication app(argc, argv);
    // The name is also the X11 window class that the desktop entry's
    // StartupWMClass names; the desktop file name is the id a Wayland
    // compositor matches against the entry.
    nameApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral(VELTRUM_APP_ID));
    // The graph windows may stay visible; only the main window ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    TRouters routers(RouterFolders{folders.Config, folders.Data + kUsageFileName,
                                   BitmapFolder(folders.Pictures, folders.Installed), runningCopiesFolder()});
    QObject::connect(&routers, &TRouters::AllClosed, &app, &QCoreApplication::quit);
    // Every way out saves what Exit saves: a polite signal, the session's
    // end (which quits the application), a display that went away.
    const StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::Received, &app, [&routers] {
        routers.StopAll();
        QCoreApplication::exit(EXIT_SUCCESS); // dialogs' loops included
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &routers, [&routers] { routers.StopAll(); });
    g_routersAtExit = &routers;
    std::atexit(stopRoutersAtExit);
    routers.OpenAtStart(chosenProfiles);
    const int status = QApplication::exec();
    g_routersAtExit = nullptr;
    return status;
}
