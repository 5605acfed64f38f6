// Program entry: reads the command line, checks that there is a display,
// finds the program's folders, creates the main window and the two graph
// windows (the dialogs when they are first opened), and runs the message
// loop until the main window closes.

#include "app/CommandLine.h"
#include "app/Glowny.h"
#include "app/PanelViews.h"
#include "app/ProgramFolders.h"
#include "core/UsageRecording.h"
#include "dialogs/Interfejsy.h"
#include "dialogs/Konfiguracja.h"
#include "dialogs/Oprogramie.h"
#include "graphs/UsageWindow.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"

#include <QApplication>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <utility>

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
    std::string chosenProfile;
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
            chosenProfile = options.Profile;
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

    TFormGlowny glowny(folders.Config, chosenProfile, runningCopiesFolder());
    glowny.SetUsageDatabase(folders.Data + kUsageFileName);
    const BitmapFolder pictures(folders.Pictures, folders.Installed);
    TFormWykresPkt wykresPkt(glowny.State(), pictures);
    TFormWykres wykres(glowny.State(), pictures);
    // Made at their first opening, they live until the program ends; they
    // go before the main window they were given, and the settings dialog
    // before the interface list it points to.
    std::unique_ptr<TFormInterfejsy> interfejsy;
    std::unique_ptr<TFormKonfiguracja> konfiguracja;
    std::unique_ptr<TFormOprogramie> oprogramie;
    std::unique_ptr<TFormUsage> usage;
    // The usage history's figures of the interface watched, as the monitor's
    // recorder has written them.
    const UsageSource usageFigures = [&glowny] {
        return glowny.TheMonitor().Usage().Summary(glowny.State(), static_cast<int64_t>(std::time(nullptr)));
    };
    TFormGlowny::DialogMakers dialogs;
    dialogs.Konfiguracja = [&] {
        interfejsy = std::make_unique<TFormInterfejsy>();
        konfiguracja = std::make_unique<TFormKonfiguracja>(glowny);
        konfiguracja->SetInterfaceList(interfejsy.get());
        return std::make_pair(konfiguracja.get(), interfejsy.get());
    };
    dialogs.Oprogramie = [&] {
        oprogramie = std::make_unique<TFormOprogramie>(glowny);
        return oprogramie.get();
    };
    dialogs.Usage = [&] {
        usage = std::make_unique<TFormUsage>(glowny.State(), usageFigures);
        return usage.get();
    };
    glowny.SetForms(std::move(dialogs), &wykresPkt, &wykres);
    // The router's views beside its main window: after the graph windows,
    // they draw each sample last.
    AttachTray(glowny.TheMonitor(), glowny);
    AttachNotifier(glowny.TheMonitor(), glowny);

    QObject::connect(&glowny, &TFormGlowny::Closed, &app, &QCoreApplication::quit);
    glowny.show();
    return QApplication::exec();
}
