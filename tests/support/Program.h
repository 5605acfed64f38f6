#pragma once
// The six windows, all made at once on a test folder (the program entry
// makes the three dialogs at their first opening instead).

#include "app/Glowny.h"
#include "app/PanelViews.h"
#include "dialogs/Interfejsy.h"
#include "dialogs/Konfiguracja.h"
#include "dialogs/Oprogramie.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>
#include <string>

namespace veltrum::test {

struct Program {
    explicit Program(const std::string& programDir, const std::string& chosenProfile = {})
        : glowny(programDir, chosenProfile), konfiguracja(glowny), oprogramie(glowny),
          wykresPkt(glowny.State(), programDir), wykres(glowny.State(), programDir) {
        glowny.SetForms(&konfiguracja, &oprogramie, &wykresPkt, &interfejsy, &wykres);
        konfiguracja.SetInterfaceList(&interfejsy);
        AttachTray(glowny.TheMonitor(), glowny);
        AttachNotifier(glowny.TheMonitor(), glowny);
    }
    TFormGlowny glowny;
    TFormKonfiguracja konfiguracja;
    TFormOprogramie oprogramie;
    TFormWykresPkt wykresPkt;
    TFormInterfejsy interfejsy;
    TFormWykres wykres;
};

// Watches for modal dialogs while a test waits, records the first one and
// the time it appeared, and closes every one so the test goes on.
class ModalWatcher final {
public:
    ModalWatcher() {
        m_clock.start();
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr) {
                return;
            }
            if (m_first == nullptr) {
                m_first = modal;
                m_firstAtMs = m_clock.elapsed();
            }
            ++m_count;
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            } else {
                modal->close();
            }
        });
        m_timer.start();
    }
    void Restart() {
        m_clock.restart();
        m_first = nullptr;
        m_count = 0;
    }
    QWidget* First() const { return m_first; }
    qint64 FirstAtMs() const { return m_firstAtMs; }
    int Count() const { return m_count; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    QWidget* m_first = nullptr;
    qint64 m_firstAtMs = -1;
    int m_count = 0;
};

} // namespace veltrum::test
