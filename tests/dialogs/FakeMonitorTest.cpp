// The settings dialog on its own: this binary links the dialogs' library and
// nothing of the main window, and a stand-in records what the dialog asks of
// the monitor.

#include "core/MonitorControl.h"
#include "core/MonitorState.h"
#include "dialogs/DialogControls.h"
#include "dialogs/Konfiguracja.h"
#include "snmp/IdSNMP.h"
#include "widgets/ErrorBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace veltrum::test {
namespace {

class FakeMonitor final : public MonitorControl {
public:
    ViewSettings Settings() const override { return ViewSettingsOf(state); }
    const std::string& ConfigDir() const override { return dir; }
    WindowPosition MainPosition() const override { return {30, 40}; }
    void PausePolling() override { calls.emplace_back("PausePolling"); }
    void ResumePolling() override { calls.emplace_back("ResumePolling"); }
    void PauseStayOnTop() override { calls.emplace_back("PauseStayOnTop"); }
    void ResumeStayOnTop() override { calls.emplace_back("ResumeStayOnTop"); }
    void ReloadAndRestart() override { calls.emplace_back("ReloadAndRestart"); }
    void ApplyMainOpacity(uint16_t level) override {
        state.MainOpacity = level;
        calls.emplace_back("ApplyMainOpacity");
    }
    void ApplyGraphOpacity(uint16_t level) override {
        state.GraphOpacity = level;
        calls.emplace_back("ApplyGraphOpacity");
    }
    void OpenWebPageSoon() override { calls.emplace_back("OpenWebPageSoon"); }
    void AskProbe(const AgentTarget& target, ProbeScope scope,
                  std::function<void(const ProbeResult&)> answered) override {
        calls.emplace_back("Probe");
        answered(ProbeAgent(SNMPConf, target, scope));
    }
    std::unique_ptr<InterfaceWalkSession> StartInterfaceWalk(const AgentTarget& target,
                                                             std::function<void()>) override {
        calls.emplace_back("StartInterfaceWalk");
        return std::make_unique<InterfaceWalkSession>(SNMPConf, target);
    }
    void WriteMainPosition() override {
        TIniFile ini(state.ProfilePath);
        WriteSettingInteger(ini, SettingKey::PozTop, MainPosition().Top);
        WriteSettingInteger(ini, SettingKey::PozLeft, MainPosition().Left);
    }
    void WriteSettings(const DialogSettings& settings) override {
        WriteDialogSettings(state.ProfilePath, settings);
    }

    // The calls named `names`, in the order they came.
    std::vector<std::string> Only(const std::vector<std::string>& names) const {
        std::vector<std::string> kept;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(kept), [&](const std::string& call) {
            return std::find(names.begin(), names.end(), call) != names.end();
        });
        return kept;
    }

    MonitorState state;
    std::string dir;
    std::vector<std::string> calls;
    TIdSNMP SNMPConf;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SettingsDialogAlone : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        monitor.dir = m_folder.path().toStdString() + "/";
        monitor.state.ProfilePath = monitor.dir + "Default.vlq";
        monitor.state.TimeoutMs = 100;
        monitor.state.MainOpacity = 200;
        monitor.state.GraphOpacity = 180;
        // Nothing listens on the discard port of loopback: the probe fails at once.
        std::ofstream(monitor.state.ProfilePath, std::ios::binary)
            << "[Host]\n01=127.0.0.1:9\n[Sesja]\n01=Lab\n[TStopien]\n01=200\n[TStopienGraph]\n01=180\n";
    }

    FakeMonitor monitor;

private:
    QTemporaryDir m_folder;
};

TEST_F(SettingsDialogAlone, OkWritesTheProfileThenRestartsTheMonitorBetweenPauseAndResume) {
    TFormKonfiguracja dialog(monitor);
    dialog.FormShow();
    EXPECT_EQ(monitor.calls.front(), "PauseStayOnTop");
    // The agent is asked through the monitor, once per opening.
    EXPECT_EQ(monitor.Only({"Probe"}), std::vector<std::string>{"Probe"});
    EXPECT_EQ(dialog.Edit1->text(), "127.0.0.1:9");
    EXPECT_EQ(dialog.Edit3->text(), "Lab");
    // The main window's position goes into the profile as the dialog opens.
    const std::string opened = ReadFile(monitor.state.ProfilePath);
    EXPECT_NE(opened.find("[PozTop]\n01=30\n"), std::string::npos) << opened;
    EXPECT_NE(opened.find("[PozLeft]\n01=40\n"), std::string::npos) << opened;

    dialog.Edit3->setText(QStringLiteral("Office"));
    monitor.calls.clear();
    dialog.BitBtn1Click();
    EXPECT_EQ(monitor.Only({"PausePolling", "ReloadAndRestart", "ResumePolling"}),
              (std::vector<std::string>{"PausePolling", "ReloadAndRestart", "ResumePolling"}));
    EXPECT_NE(ReadFile(monitor.state.ProfilePath).find("[Sesja]\n01=Office\n"), std::string::npos);
    dialog.FormHide();
    EXPECT_EQ(monitor.calls.back(), "ResumeStayOnTop");
}

TEST_F(SettingsDialogAlone, CancelPutsBothOpacityPreviewsBack) {
    TFormKonfiguracja dialog(monitor);
    dialog.FormShow();
    dialog.ScrollBar1->setValue(90);
    dialog.ScrollBar2->setValue(70);
    EXPECT_EQ(monitor.state.MainOpacity, 90);
    EXPECT_EQ(monitor.state.GraphOpacity, 70);
    monitor.calls.clear();
    dialog.BitBtn2Click();
    EXPECT_EQ(monitor.state.MainOpacity, 200);
    EXPECT_EQ(monitor.state.GraphOpacity, 180);
    EXPECT_EQ(monitor.Only({"ApplyMainOpacity", "ApplyGraphOpacity"}),
              (std::vector<std::string>{"ApplyMainOpacity", "ApplyGraphOpacity"}));
}

// OK over a profile the opening could not read (a folder in its place)
// writes nothing and stops no poll; a failed write stops it, and leaving
// the dialog starts again that poll, once.
TEST_F(SettingsDialogAlone, UnreadableProfileIsNotWrittenOverAndLeavingResumesThePollOkStopped) {
    std::vector<std::string> errors; // first lines
    SetErrorBoxHook([&](const QString& text) { errors.push_back(text.section('\n', 0, 0).toStdString()); });
    std::filesystem::create_directory(monitor.dir + "Busy.vlq");
    std::ofstream(monitor.dir + "file") << "x";
    TFormKonfiguracja dialog(monitor);
    for (const auto& [profile, error, calls] :
         {std::tuple{"Busy.vlq", "Unable to read ", std::vector<std::string>{}},
          std::tuple{"file/Default.vlq", "Unable to write to ",
                     std::vector<std::string>{"PausePolling", "ResumePolling"}}}) {
        monitor.state.ProfilePath = monitor.dir + profile;
        dialog.FormShow();
        monitor.calls.clear();
        errors.clear();
        dialog.BitBtn1Click();
        dialog.FormHide();
        dialog.FormHide();
        EXPECT_EQ(monitor.Only({"PausePolling", "ResumePolling"}), calls);
        EXPECT_EQ(errors, std::vector<std::string>{error + monitor.state.ProfilePath});
    }
    SetErrorBoxHook({});
}

// The quota's settings came after the first profiles: while they keep
// their defaults OK leaves a profile without them byte for byte as it was;
// once set they are written, and they stay written back at their defaults.
// A size is kept as whole GB or a decimal with a point; one that cannot be
// read is refused at OK, naming its field, and nothing is written.
TEST_F(SettingsDialogAlone, QuotaSettingsAreWrittenOnlyWhenTheySaySomething) {
    std::vector<std::string> errors;
    SetErrorBoxHook([&](const QString& text) { errors.push_back(text.toStdString()); });
    TFormKonfiguracja dialog(monitor);
    const auto ok = [&](const char* limit, int direction, int day, const char* usedBefore) {
        dialog.FormShow();
        dialog.Edit5->setText(QString::fromLatin1(limit));
        dialog.ComboBox2->setCurrentIndex(direction);
        dialog.SpinEdit6->setValue(day);
        dialog.Edit6->setText(QString::fromLatin1(usedBefore));
        dialog.BitBtn1Click();
        dialog.FormHide();
        return ReadFile(monitor.state.ProfilePath);
    };
    const std::string before = ok("0", 0, 1, "0"); // every other key OK writes, now in the file
    ASSERT_EQ(before.find("LimitGB"), std::string::npos);
    EXPECT_EQ(ok("0", 0, 1, "0"), before);

    struct Row {
        const char* limit;
        int direction, day;
        const char* usedBefore;
        const char* written;
    };
    const Row rows[] = {
        {"50", 1, 15, "0", "[LimitGB]\n01=50\n[LimitKierunek]\n01=1\n[DzienRozliczenia]\n01=15\n"},
        {"1,5", 1, 15, "2.25 GB",
         "[LimitGB]\n01=1.5\n[LimitKierunek]\n01=1\n[DzienRozliczenia]\n01=15\n[ZuzyteWczesniejGB]\n01=2."
         "25\n"},
        {"2 TB", 1, 15, "2.25",
         "[LimitGB]\n01=2000\n[LimitKierunek]\n01=1\n[DzienRozliczenia]\n01=15\n[ZuzyteWczesniejGB]\n01=2."
         "25\n"},
        // Refused: the profile stays as the row before left it.
        {"150 GiB", 1, 15, "2.25",
         "[LimitGB]\n01=2000\n[LimitKierunek]\n01=1\n[DzienRozliczenia]\n01=15\n[ZuzyteWczesniejGB]\n01=2."
         "25\n"},
        {"0", 0, 1, "0",
         "[LimitGB]\n01=0\n[LimitKierunek]\n01=0\n[DzienRozliczenia]\n01=1\n[ZuzyteWczesniejGB]\n01=0\n"},
    };
    for (const Row& row : rows) {
        errors.clear();
        EXPECT_EQ(ok(row.limit, row.direction, row.day, row.usedBefore), before + row.written) << row.limit;
        const bool refused = std::string(row.limit) == "150 GiB";
        ASSERT_EQ(errors.size(), refused ? 1u : 0u) << row.limit;
        if (refused) {
            EXPECT_EQ(errors[0].rfind("\"Quota (GB, 0: none)\" cannot be \"150 GiB\".", 0), 0u) << errors[0];
        }
    }
    dialog.FormShow(); // what was written shows at the next opening
    EXPECT_EQ(std::tuple(dialog.Edit5->text().toStdString(), dialog.ComboBox2->currentIndex(),
                         dialog.SpinEdit6->value()),
              std::tuple(std::string("0"), 0, 1));
    SetErrorBoxHook({});
}

// The tray's two settings follow the same rule; without a tray (none runs
// here) they are greyed out and say why.
TEST_F(SettingsDialogAlone, TraySettingsAreGreyedOutWithoutATrayAndWrittenOnlyWhenSet) {
    TFormKonfiguracja dialog(monitor);
    const auto ok = [&](bool icon, bool hide) {
        dialog.FormShow();
        dialog.CheckBox4->setChecked(icon);
        dialog.CheckBox5->setChecked(hide);
        dialog.BitBtn1Click();
        dialog.FormHide();
        return ReadFile(monitor.state.ProfilePath);
    };
    const std::string before = ok(false, false);
    ASSERT_EQ(before.find("PokazIkone"), std::string::npos);
    EXPECT_EQ(ok(true, true), before + "[PokazIkone]\n01=1\n[UkryjOkno]\n01=1\n");
    EXPECT_EQ(ok(false, false), before + "[PokazIkone]\n01=0\n[UkryjOkno]\n01=0\n");
    dialog.FormShow();
    EXPECT_FALSE(dialog.CheckBox4->isEnabled());
    EXPECT_FALSE(dialog.CheckBox5->isEnabled());
    EXPECT_FALSE(dialog.Label16->text().isEmpty());
}

} // namespace
} // namespace veltrum::test
