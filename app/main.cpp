// Program entry: creates the six windows in their fixed order, the main
// window first, and runs the message loop until the main window closes.

#include "app/Glowny.h"
#include "dialogs/Interfejsy.h"
#include "dialogs/Konfiguracja.h"
#include "dialogs/Oprogramie.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    // Always-on-top and window positions need X11; under Wayland the program
    // runs through XWayland.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") != nullptr) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0"); // fixed-pixel windows: no scaling for screen density
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrum"));
    // The graph windows may stay visible; only the main window ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // Profiles, app.ini and chart bitmaps live beside the executable.
    const std::string programDir = QCoreApplication::applicationDirPath().toStdString() + "/";

    using namespace veltrum;
    TFormGlowny glowny(programDir);
    TFormKonfiguracja konfiguracja(glowny);
    TFormOprogramie oprogramie(glowny);
    TFormWykresPkt wykresPkt(glowny.State(), programDir);
    TFormInterfejsy interfejsy(glowny);
    TFormWykres wykres(glowny.State(), programDir);
    glowny.SetForms(&konfiguracja, &oprogramie, &wykresPkt, &interfejsy, &wykres);

    QObject::connect(&glowny, &TFormGlowny::Closed, &app, &QCoreApplication::quit);
    glowny.show();
    return QApplication::exec();
}
