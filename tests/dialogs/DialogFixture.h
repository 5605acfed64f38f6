#pragma once
// A program folder of its own for every test, the six windows as the program
// entry creates them, and recorders for the error box and the file dialogs.

#include "app/Glowny.h"
#include "app/ProfileCommands.h"
#include "dialogs/DialogControls.h"
#include "dialogs/Interfejsy.h"
#include "dialogs/Konfiguracja.h"
#include "dialogs/Oprogramie.h"
#include "graphs/Wykres.h"
#include "graphs/WykresPkt.h"
#include "support/Program.h"
#include "widgets/ErrorBox.h"

#include <QApplication>
#include <QDialog>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace veltrum::test {

using Windows = Program;

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        dir = m_folder.path().toStdString() + "/";
        SetErrorBoxHook([this](const QString& text) { errors.push_back(text.toStdString()); });
    }

    void TearDown() override {
        SetErrorBoxHook({});
        SetFileDialogRunner({});
        w.reset();
    }

    // Creates the windows; the main window's creation runs the start-up load.
    Windows& Start() {
        w = std::make_unique<Windows>(dir);
        return *w;
    }

    std::string Path(const std::string& name) const { return dir + name; }

    // Writes a profile file: every setting a section of its own with ident 01.
    void WriteProfile(const std::string& name,
                      const std::vector<std::pair<std::string, std::string>>& values) {
        std::ofstream out(Path(name), std::ios::binary);
        for (const auto& [key, value] : values) {
            out << "[" << key << "]\n01=" << value << "\n";
        }
    }

    // Section names of a file in the order they appear.
    static std::vector<std::string> Sections(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::string> sections;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
                sections.push_back(line.substr(1, line.size() - 2));
            }
        }
        return sections;
    }

    // The value of a setting's ident 01, or "<absent>".
    static std::string Value(const std::string& path, const std::string& key) {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        bool inSection = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!line.empty() && line.front() == '[') {
                inSection = line == "[" + key + "]";
            } else if (inSection && line.rfind("01=", 0) == 0) {
                return line.substr(3);
            }
        }
        return "<absent>";
    }

    // Runs `during` once `dialog` is showing modally, then lets exec() end.
    static int ExecWith(QDialog& dialog, const std::function<void()>& during) {
        QTimer::singleShot(0, &dialog, [&dialog, during] {
            during();
            if (dialog.isVisible()) {
                dialog.reject();
            }
        });
        return dialog.exec();
    }

    // Lets the event loop run until the settings dialog's question to the
    // agent has its answer (or gave up).
    static void Answered(TFormKonfiguracja& dialog) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (dialog.Asking() && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        EXPECT_FALSE(dialog.Asking());
    }

    // Starts the interface list's walk and lets it run to its end.
    static void Walk(TFormInterfejsy& list) {
        list.FormShow();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (list.Walking() && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents();
        }
        EXPECT_FALSE(list.Walking());
    }

    template <class F> static double ElapsedMs(F&& f) {
        const auto start = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }

    std::string dir;
    std::vector<std::string> errors;
    std::unique_ptr<Windows> w;

private:
    QTemporaryDir m_folder;
};

} // namespace veltrum::test
