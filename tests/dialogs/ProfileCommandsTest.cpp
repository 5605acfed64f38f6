// "Save as new profile" and "Load profile": what reaches the files, the
// pointer file and the monitor, the timers, and the failure cases.

#include "tests/dialogs/DialogFixture.h"

#include "core/SettingsTable.h"
#include "settings/IniFile.h"
#include "settings/ProfileFiles.h"

#include <QFileDialog>

#include <filesystem>
#include <variant>

namespace veltrum::test {
namespace {

class ProfileCommandsTest : public DialogTest {
protected:
    struct Seen {
        QString title, filter, suffix, directory;
        QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
        QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
        bool confirmsOverwrite = false;
        int shown = 0;
    };

    // Answers the next file dialogs by typing `name` (empty: Cancel).
    void Answer(const QString& name) {
        SetFileDialogRunner([this, name](QFileDialog& d) {
            seen.title = d.windowTitle();
            seen.filter = d.nameFilters().join(QStringLiteral(";;"));
            seen.suffix = d.defaultSuffix();
            seen.directory = d.directory().absolutePath();
            seen.acceptMode = d.acceptMode();
            seen.fileMode = d.fileMode();
            seen.confirmsOverwrite = !d.testOption(QFileDialog::DontConfirmOverwrite);
            ++seen.shown;
            if (name.isEmpty()) {
                return int{QDialog::Rejected};
            }
            d.selectFile(name);
            return int{QDialog::Accepted};
        });
    }

    Windows& Running() {
        Windows& p = Start();
        p.router.FormShow();
        return p;
    }

    std::string Pointer() const { return Value(Path("app.ini"), "Profil"); }

    Seen seen;
};

const std::vector<std::string> kEverySetting{"Host",
                                             "Haslo",
                                             "NumerInterfaceu",
                                             "Download",
                                             "Upload",
                                             "KolorDownload",
                                             "KolorUpload",
                                             "PokazSrednie",
                                             "Autoscala",
                                             "Sesja",
                                             "Timeout",
                                             "TStopien",
                                             "TStopienGraph",
                                             "PozTop",
                                             "PozLeft",
                                             "PozTopWykres",
                                             "PozLeftWykres",
                                             "PokazWykres",
                                             "PokazWykresPkt",
                                             "PozTopWykresPkt",
                                             "PozLeftWykresPkt",
                                             "LinieMax",
                                             "F"};

TEST_F(ProfileCommandsTest, SaveToANewFileWritesEverySetting) {
    WriteProfile("Default.vlq", {{"Sesja", "Home"}, {"LinieMax", "1"}, {"Host", "127.0.0.7"}, {"F", "1"}});
    Windows& p = Running();
    ASSERT_TRUE(p.router.State().ShowMaxLines);
    p.router.State().MainOpacity = 140; // e.g. a preview kept by the close box
    p.glowny.move(210, 220);
    Answer(QString::fromStdString(Path("Saved.vlq")));
    Saveprofile(p.router);

    EXPECT_EQ(seen.title, "Save profile");
    EXPECT_EQ(seen.filter, "Veltrum Saved Profile (*.vlq)");
    EXPECT_EQ(seen.suffix, "vlq");
    EXPECT_EQ(seen.directory.toStdString() + "/", std::filesystem::canonical(dir).string() + "/");
    EXPECT_EQ(seen.acceptMode, QFileDialog::AcceptSave);
    EXPECT_TRUE(seen.confirmsOverwrite);

    const std::string saved = Path("Saved.vlq");
    EXPECT_EQ(Sections(saved), kEverySetting);
    EXPECT_EQ(Value(saved, "Host"), "127.0.0.7");
    EXPECT_EQ(Value(saved, "TStopien"), "140");
    EXPECT_EQ(Value(saved, "PozTop"), std::to_string(p.glowny.y()));
    EXPECT_EQ(Value(saved, "PozLeft"), std::to_string(p.glowny.x()));
    EXPECT_EQ(Pointer(), saved);
    // The reload runs on the new file, which kept the maximum lines and the trace.
    EXPECT_EQ(p.router.State().ProfilePath, saved);
    EXPECT_TRUE(p.router.State().ShowMaxLines);
    EXPECT_TRUE(p.router.State().ResyncTrace);
    EXPECT_EQ(p.glowny.windowTitle(), "Home");
    EXPECT_TRUE(p.router.Timer1->isActive());
    EXPECT_TRUE(p.glowny.TimerStayOnTop->isActive());
    // The previous profile is untouched.
    EXPECT_EQ(Value(Path("Default.vlq"), "LinieMax"), "1");
    EXPECT_TRUE(errors.empty());
}

TEST_F(ProfileCommandsTest, ASavedAsProfileReloadsEverySetting) {
    Windows& p = Running();
    MonitorState& s = p.router.State();
    s.AgentHost = "127.0.0.9";
    s.AgentCommunity = "lab";
    s.InterfaceNumber = 7;
    s.SessionName = "Kept";
    s.DownloadScale = 4096;
    s.UploadScale = 512;
    s.DownloadColor = 0x00ABCDEF;
    s.UploadColor = 0x00123456;
    s.ShowAverages = false;
    s.AutoScale = false;
    s.TimeoutMs = 700;
    s.MainOpacity = 130;
    s.GraphOpacity = 90;
    s.ShowMaxLines = true;
    s.ResyncTrace = true;
    s.GraphWindowOpen = true;
    s.PacketGraphWindowOpen = true;
    s.GraphTop = 21;
    s.GraphLeft = 22;
    s.PacketGraphTop = 23;
    s.PacketGraphLeft = 24;
    p.glowny.move(31, 32);
    const MonitorState before = s;
    Answer(QString::fromStdString(Path("All.vlq")));
    Saveprofile(p.router);

    ASSERT_EQ(s.ProfilePath, Path("All.vlq"));
    for (const SettingDef& def : ProfileSettings()) {
        if (!std::holds_alternative<std::monostate>(def.Field)) {
            EXPECT_EQ(SettingFromState(def.Key, s), SettingFromState(def.Key, before)) << def.Name;
        }
    }
    EXPECT_EQ(p.glowny.pos(), QPoint(31, 32));
    EXPECT_TRUE(p.wykresPkt.isVisible());
}

TEST_F(ProfileCommandsTest, SaveOverAnExistingFileReplacesEverySettingAndKeepsOtherLines) {
    WriteProfile("Old.vlq", {{"LinieMax", "1"}, {"Notes", "mine"}, {"Host", "old"}, {"F", "1"}});
    WriteProfile("Default.vlq", {{"Host", "127.0.0.8"}});
    Windows& p = Running();
    Answer(QString::fromStdString(Path("Old.vlq")));
    Saveprofile(p.router);

    const std::string old = Path("Old.vlq");
    EXPECT_EQ(Value(old, "Host"), "127.0.0.8");
    EXPECT_EQ(Value(old, "LinieMax"), "0");
    EXPECT_EQ(Value(old, "PozTopWykresPkt"), "190");
    EXPECT_EQ(Value(old, "F"), "0");
    EXPECT_EQ(Value(old, "Notes"), "mine");
    EXPECT_EQ(Sections(old).size(), kEverySetting.size() + 1u); // the settings replaced in place
    EXPECT_FALSE(p.router.State().ShowMaxLines);
    EXPECT_EQ(p.router.State().PacketGraphTop, 190);
}

TEST_F(ProfileCommandsTest, ANameWithoutExtensionGetsVlq) {
    Windows& p = Running();
    Answer(QString::fromStdString(Path("NoExtension")));
    Saveprofile(p.router);
    EXPECT_TRUE(std::filesystem::exists(Path("NoExtension.vlq")));
    EXPECT_FALSE(std::filesystem::exists(Path("NoExtension")));
    EXPECT_EQ(Pointer(), Path("NoExtension.vlq"));
}

TEST_F(ProfileCommandsTest, CancellingEitherDialogChangesNothing) {
    Windows& p = Running();
    Answer(QString());
    Saveprofile(p.router);
    Loadprofile(p.router);
    EXPECT_EQ(seen.shown, 2);
    EXPECT_FALSE(std::filesystem::exists(Path("app.ini")));
    EXPECT_FALSE(std::filesystem::exists(Path("Default.vlq")));
    EXPECT_TRUE(p.glowny.TimerStayOnTop->isActive());
    EXPECT_TRUE(p.router.Timer1->isActive());
}

TEST_F(ProfileCommandsTest, LoadSwitchesAgentWithFreshCounters) {
    WriteProfile("Other.vlq",
                 {{"Host", "127.0.0.5"}, {"Haslo", "lab"}, {"Sesja", "Other"}, {"PozTop", "-30"}});
    Windows& p = Running();
    MonitorState& s = p.router.State();
    s.InOctetsNow = 1234;
    s.DownTotal = 99;
    s.PeakPktRate = 77;
    s.DownHistory[1] = 500;
    s.PollCount = 9;
    Answer(QString::fromStdString(Path("Other.vlq")));
    Loadprofile(p.router);

    EXPECT_EQ(seen.title, "Load profile");
    EXPECT_EQ(seen.fileMode, QFileDialog::ExistingFile);
    EXPECT_EQ(seen.acceptMode, QFileDialog::AcceptOpen);
    EXPECT_FALSE(seen.confirmsOverwrite);
    EXPECT_EQ(seen.suffix, "vlq");

    EXPECT_EQ(Pointer(), Path("Other.vlq"));
    EXPECT_EQ(s.ProfilePath, Path("Other.vlq"));
    EXPECT_EQ(s.AgentHost, "127.0.0.5");
    EXPECT_EQ(p.router.SNMP.Host, "127.0.0.5");
    EXPECT_EQ(p.router.SNMP.Community(), "lab");
    EXPECT_EQ(s.InOctetsNow, 0);
    EXPECT_EQ(s.DownTotal, 0u);
    EXPECT_EQ(s.PeakPktRate, 0);
    EXPECT_EQ(s.DownHistory[1], 0);
    EXPECT_EQ(s.PollCount, 0);
    EXPECT_EQ(p.glowny.y(), -30); // a negative position stays as read
    EXPECT_EQ(p.glowny.windowTitle(), "Other");
    EXPECT_TRUE(p.router.Timer1->isActive());
    EXPECT_TRUE(p.glowny.TimerStayOnTop->isActive());
    // Load writes nothing into the profile that was current before.
    EXPECT_FALSE(std::filesystem::exists(Path("Default.vlq")));
}

TEST_F(ProfileCommandsTest, SaveWriteFailureLeavesPointerAndPollAlone) {
    Windows& p = Running();
    std::filesystem::create_directory(Path("Busy.vlq")); // a folder cannot be replaced by a file
    Answer(QString::fromStdString(Path("Busy.vlq")));
    EXPECT_THROW(Saveprofile(p.router), EIniFileException);
    EXPECT_FALSE(std::filesystem::exists(Path("app.ini")));
    EXPECT_TRUE(p.router.Timer1->isActive());
    EXPECT_FALSE(p.glowny.TimerStayOnTop->isActive());
}

TEST_F(ProfileCommandsTest, MenuShowsTheWriteErrorInTheErrorBox) {
    Windows& p = Running();
    std::filesystem::create_directory(Path("app.ini")); // the pointer file cannot be written
    Answer(QString::fromStdString(Path("New.vlq")));
    p.glowny.Saveprofile1Click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + PointerFilePath(dir));
    // The new profile was written; no reload ran and both timers stay stopped.
    EXPECT_EQ(Sections(Path("New.vlq")), kEverySetting);
    EXPECT_NE(p.router.State().ProfilePath, Path("New.vlq"));
    EXPECT_FALSE(p.router.Timer1->isActive());
    EXPECT_FALSE(p.glowny.TimerStayOnTop->isActive());
}

TEST_F(ProfileCommandsTest, LoadPointerFailureRestartsOnlyTheStayOnTopTimer) {
    WriteProfile("Other.vlq", {{"Host", "127.0.0.5"}});
    Windows& p = Running();
    std::filesystem::create_directory(Path("app.ini"));
    Answer(QString::fromStdString(Path("Other.vlq")));
    p.glowny.Loadprofile1Click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + PointerFilePath(dir));
    EXPECT_NE(p.router.State().AgentHost, "127.0.0.5");
    EXPECT_FALSE(p.router.Timer1->isActive());
    EXPECT_TRUE(p.glowny.TimerStayOnTop->isActive());
}

// The command line's --profile: reloads keep the chosen file and app.ini is
// left alone, until a profile command makes app.ini decide again.
TEST_F(ProfileCommandsTest, ChosenProfileHoldsUntilALoad) {
    WriteProfile("Default.vlq", {{"Host", "127.0.0.9"}});
    WriteProfile("Lab.vlq", {{"Host", "127.0.0.7"}});
    WriteProfile("Other.vlq", {{"Host", "127.0.0.5"}});
    WritePointerFile(dir, Path("Default.vlq"));
    w = std::make_unique<Windows>(dir, Path("Lab.vlq"));
    w->router.FormShow();
    EXPECT_EQ(w->router.State().ProfilePath, Path("Lab.vlq"));
    EXPECT_EQ(w->router.SNMP.Host, "127.0.0.7");
    w->router.FormCreate(); // the settings dialog's reload
    w->router.FormShow();
    EXPECT_EQ(w->router.State().ProfilePath, Path("Lab.vlq"));
    EXPECT_EQ(Pointer(), Path("Default.vlq"));

    Answer(QString::fromStdString(Path("Other.vlq")));
    Loadprofile(w->router);
    EXPECT_EQ(Pointer(), Path("Other.vlq"));
    w->router.FormCreate();
    EXPECT_EQ(w->router.State().ProfilePath, Path("Other.vlq"));
    EXPECT_EQ(w->router.State().AgentHost, "127.0.0.5");
}

} // namespace
} // namespace veltrum::test
