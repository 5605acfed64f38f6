// The settings dialog without an agent: opening, OK, Cancel, the close box,
// the opacity preview, the spin fields' rules, the colour pickers and the
// profile write failures.

#include "tests/dialogs/DialogFixture.h"

#include "dialogs/DialogControls.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>

#include <csignal>
#include <filesystem>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

namespace veltrum::test {
namespace {

// Writes into `folder` fail as on a full disk: a tmpfs over it, filled up,
// in a mount namespace of the test thread's own (as root); elsewhere a file
// size limit fails every write alike, with EFBIG for ENOSPC.
struct FullDisk {
    explicit FullDisk(const std::string& folder) : Folder(folder) {
        ::getrlimit(RLIMIT_FSIZE, &Limit);
        // Private first: the mount must not reach the machine's namespace.
        Mounted = ::unshare(CLONE_NEWNS) == 0 &&
                  ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                  ::mount("veltrum-full", Folder.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~FullDisk() {
        if (Mounted) {
            ::umount2(Folder.c_str(), MNT_DETACH);
        }
        ::setrlimit(RLIMIT_FSIZE, &Limit);
    }
    void Fill() { // what was written before stays readable
        if (!Mounted) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit oneOctet{1, Limit.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &oneOctet);
            return;
        }
        std::ofstream filler(Folder + "filler");
        while (filler << std::string(4096, 'x') << std::flush) {
        }
    }
    std::string Folder;
    bool Mounted = false;
    rlimit Limit{};
};

using FormShowTest = DialogTest;

TEST_F(FormShowTest, FirstStartShowsDefaultsAndWritesOnlyThePosition) {
    Windows& p = Start();
    p.glowny.move(321, 123);
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);

    EXPECT_EQ(p.konfiguracja.windowTitle().toStdString(), "Settings:  Default.vlq");
    EXPECT_EQ(Sections(Path("Default.vlq")), (std::vector<std::string>{"PozTop", "PozLeft"}));
    EXPECT_EQ(Value(Path("Default.vlq"), "PozTop"), std::to_string(p.glowny.y()));
    EXPECT_EQ(Value(Path("Default.vlq"), "PozLeft"), std::to_string(p.glowny.x()));

    auto& k = p.konfiguracja;
    EXPECT_EQ(k.Edit1->text(), "192.168.1.1");
    EXPECT_EQ(k.Edit2->text(), "qorvex");
    EXPECT_EQ(k.SpinEdit1->value(), 1);
    EXPECT_EQ(k.Edit3->text(), "Veltrum");
    EXPECT_EQ(k.SpinEdit4->value(), 250);
    EXPECT_EQ(k.SpinEdit2->value(), 1024);
    EXPECT_EQ(k.SpinEdit3->value(), 1024);
    EXPECT_EQ(k.Shape1->BrushColor(), 0x0000FFFFu);
    EXPECT_EQ(k.Shape2->BrushColor(), 0x000000FFu);
    EXPECT_TRUE(k.CheckBox1->isChecked());
    EXPECT_FALSE(k.CheckBox3->isChecked());
    EXPECT_TRUE(k.CheckBox2->isChecked());
    EXPECT_EQ(k.ScrollBar1->value(), 255);
    EXPECT_EQ(k.ScrollBar2->value(), 255);
    EXPECT_EQ(k.Label14->text(), "255");
    EXPECT_EQ(k.Label15->text(), "255");

    // The default agent 192.168.1.1 has no route in the test's namespace:
    // the probe fails on sending, without waiting for any reply, and says so.
    EXPECT_TRUE(k.Label7->text().isEmpty());
    EXPECT_TRUE(k.Label9->text().startsWith(QStringLiteral("192.168.1.1: ")));
    p.router.State().TimeoutMs = 5000;
    k.Label7->setText(QStringLiteral("stale"));
    const double ms = ElapsedMs([&] { k.SpinEdit1Change(); });
    EXPECT_LT(ms, 2500.0);
    EXPECT_TRUE(k.Label7->text().isEmpty());
    EXPECT_FALSE(p.glowny.TimerStayOnTop->isActive());
    EXPECT_TRUE(errors.empty());
}

TEST_F(FormShowTest, OkAddsTheFourteenKeysAndRestartsPolling) {
    Windows& p = Start();
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    p.konfiguracja.Edit3->setText(QStringLiteral("Office"));
    p.konfiguracja.SpinEdit2->setValue(4096);
    p.konfiguracja.BitBtn1Click();
    Answered(p.konfiguracja);

    EXPECT_EQ(Sections(Path("Default.vlq")),
              (std::vector<std::string>{"PozTop", "PozLeft", "Host", "Haslo", "NumerInterfaceu", "Download",
                                        "Upload", "KolorDownload", "KolorUpload", "PokazSrednie", "Autoscala",
                                        "Sesja", "Timeout", "TStopien", "TStopienGraph", "LinieMax"}));
    EXPECT_EQ(Value(Path("Default.vlq"), "Download"), "4096");
    EXPECT_EQ(Value(Path("Default.vlq"), "KolorDownload"), "65535");
    EXPECT_EQ(Value(Path("Default.vlq"), "PokazSrednie"), "1");
    EXPECT_EQ(Value(Path("Default.vlq"), "LinieMax"), "0");
    // The reload took the new values and the poll runs again.
    EXPECT_EQ(p.router.State().SessionName, "Office");
    EXPECT_EQ(p.router.State().DownloadScale, 4096);
    EXPECT_EQ(p.glowny.windowTitle(), "Office");
    EXPECT_TRUE(p.router.Timer1->isActive());
    EXPECT_EQ(p.router.Timer1->interval(), 1000);
    EXPECT_TRUE(errors.empty());
}

TEST_F(FormShowTest, CancelLeavesOnlyThePositionKeys) {
    Windows& p = Start();
    ExecWith(p.konfiguracja, [&] {
        p.konfiguracja.Edit1->setText(QStringLiteral("10.0.0.1"));
        p.konfiguracja.BitBtn2Click();
    });
    EXPECT_EQ(Sections(Path("Default.vlq")), (std::vector<std::string>{"PozTop", "PozLeft"}));
    EXPECT_TRUE(std::filesystem::exists(Path("Default.vlq")));
    // Hiding restarted the stay-on-top timer.
    EXPECT_TRUE(p.glowny.TimerStayOnTop->isActive());
}

TEST_F(FormShowTest, OutOfRangeProfileValuesShowAndSaveAtTheBounds) {
    WriteProfile("Default.vlq", {{"Timeout", "50"},
                                 {"TStopien", "300"},
                                 {"TStopienGraph", "10"},
                                 {"NumerInterfaceu", "0"},
                                 {"Download", "5"},
                                 {"Upload", "200000000"}});
    Windows& p = Start();
    EXPECT_EQ(p.router.State().MainOpacity, 255); // the load keeps the dialog's ranges too
    EXPECT_EQ(p.router.State().TimeoutMs, 100);
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    auto& k = p.konfiguracja;
    EXPECT_EQ(k.SpinEdit4->value(), 100);
    EXPECT_EQ(k.SpinEdit4->text(), "100");
    EXPECT_EQ(k.ScrollBar1->value(), 255);
    EXPECT_EQ(k.ScrollBar2->value(), 50);
    EXPECT_EQ(k.Label15->text(), "50");
    EXPECT_EQ(k.SpinEdit1->value(), 1); // any ifIndex from 1 up is taken
    EXPECT_EQ(k.SpinEdit2->value(), 128);
    EXPECT_EQ(k.SpinEdit3->value(), 100000000);
    EXPECT_EQ(p.router.State().GraphOpacity, 50);

    k.BitBtn1Click();
    const std::string file = Path("Default.vlq");
    EXPECT_EQ(Value(file, "Timeout"), "100");
    EXPECT_EQ(Value(file, "TStopien"), "255");
    EXPECT_EQ(Value(file, "TStopienGraph"), "50");
    EXPECT_EQ(Value(file, "NumerInterfaceu"), "1");
    EXPECT_EQ(Value(file, "Download"), "128");
    EXPECT_EQ(Value(file, "Upload"), "100000000");
    EXPECT_EQ(p.router.State().MainOpacity, 255);
    EXPECT_EQ(p.router.State().TimeoutMs, 100);
}

TEST_F(FormShowTest, EveryOpeningRefillsFromTheFile) {
    WriteProfile("Default.vlq", {{"Host", "127.0.0.9"}, {"Sesja", "Lab"}, {"LinieMax", "1"}});
    Windows& p = Start();
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.Edit1->text(), "127.0.0.9");
    EXPECT_EQ(p.konfiguracja.Edit3->text(), "Lab");
    EXPECT_TRUE(p.konfiguracja.CheckBox3->isChecked());
    p.konfiguracja.Edit3->setText(QStringLiteral("typed, then cancelled"));
    p.konfiguracja.CheckBox3->setChecked(false);
    p.konfiguracja.BitBtn2Click();

    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.Edit3->text(), "Lab");
    EXPECT_TRUE(p.konfiguracja.CheckBox3->isChecked());
    EXPECT_EQ(p.konfiguracja.windowTitle().toStdString(), "Settings:  Default.vlq");
}

TEST_F(FormShowTest, CaptionNamesTheCurrentProfileFile) {
    WriteProfile("Office.vlq", {{"Sesja", "Office"}});
    std::ofstream(Path("app.ini")) << "[Profil]\n01=" << Path("Office.vlq") << "\n";
    Windows& p = Start();
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.windowTitle().toStdString(), "Settings:  Office.vlq");
    EXPECT_EQ(Sections(Path("Office.vlq")), (std::vector<std::string>{"Sesja", "PozTop", "PozLeft"}));
}

using OpacityPreviewTest = DialogTest;

TEST_F(OpacityPreviewTest, CancelRestoresBothLevelsOnAllThreeWindows) {
    WriteProfile("Default.vlq", {{"TStopien", "200"}, {"TStopienGraph", "180"}});
    Windows& p = Start();
    p.router.FormShow(); // applies the levels as the program's first show does
    p.router.Timer1->stop();
    auto& k = p.konfiguracja;
    k.FormShow();
    EXPECT_EQ(k.SavedMainOpacity(), 200);
    EXPECT_EQ(k.SavedGraphOpacity(), 180);

    k.ScrollBar1->setValue(100);
    EXPECT_EQ(k.Label14->text(), "100");
    EXPECT_EQ(p.router.State().MainOpacity, 100);
    EXPECT_NEAR(p.glowny.windowOpacity(), 100 / 255.0, 0.01);
    k.ScrollBar2->setValue(60);
    EXPECT_EQ(k.Label15->text(), "60");
    EXPECT_EQ(p.router.State().GraphOpacity, 60);
    EXPECT_NEAR(p.wykres.windowOpacity(), 60 / 255.0, 0.01);
    EXPECT_NEAR(p.wykresPkt.windowOpacity(), 60 / 255.0, 0.01);

    k.BitBtn2Click();
    EXPECT_EQ(p.router.State().MainOpacity, 200);
    EXPECT_EQ(p.router.State().GraphOpacity, 180);
    EXPECT_NEAR(p.glowny.windowOpacity(), 200 / 255.0, 0.01);
    EXPECT_NEAR(p.wykres.windowOpacity(), 180 / 255.0, 0.01);
    EXPECT_NEAR(p.wykresPkt.windowOpacity(), 180 / 255.0, 0.01);
    EXPECT_EQ(Value(Path("Default.vlq"), "TStopien"), "200");
}

TEST_F(OpacityPreviewTest, EscapeIsCancel) {
    Windows& p = Start();
    const int result = ExecWith(p.konfiguracja, [&] {
        p.konfiguracja.ScrollBar1->setValue(80);
        EXPECT_EQ(p.router.State().MainOpacity, 80);
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&p.konfiguracja, &escape);
        EXPECT_FALSE(p.konfiguracja.isVisible());
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(p.router.State().MainOpacity, 255);
}

TEST_F(OpacityPreviewTest, CloseBoxKeepsThePreviewUnsaved) {
    Windows& p = Start();
    ExecWith(p.konfiguracja, [&] {
        p.konfiguracja.ScrollBar1->setValue(120);
        p.konfiguracja.ScrollBar2->setValue(70);
        p.konfiguracja.close(); // the title bar's close box
        EXPECT_FALSE(p.konfiguracja.isVisible());
    });
    EXPECT_EQ(p.router.State().MainOpacity, 120);
    EXPECT_EQ(p.router.State().GraphOpacity, 70);
    EXPECT_NEAR(p.wykres.windowOpacity(), 70 / 255.0, 0.01);
    EXPECT_EQ(Sections(Path("Default.vlq")), (std::vector<std::string>{"PozTop", "PozLeft"}));
    EXPECT_TRUE(p.glowny.TimerStayOnTop->isActive());
}

using ProfileWriteFailureTest = DialogTest;

// The fields show what the profile holds whatever the position write did:
// here nothing, so the defaults, and the probe runs.
TEST_F(ProfileWriteFailureTest, OpeningShowsTheErrorAndStillFillsTheFields) {
    Windows& p = Start();
    std::ofstream(Path("plain-file")) << "x";
    p.router.State().ProfilePath = Path("plain-file/Default.vlq");
    p.konfiguracja.Edit1->setText(QStringLiteral("typed before"));
    p.konfiguracja.Label7->setText(QStringLiteral("old"));
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);

    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + Path("plain-file/Default.vlq"));
    EXPECT_EQ(p.konfiguracja.Edit1->text(), "192.168.1.1");
    EXPECT_TRUE(p.konfiguracja.Label7->text().isEmpty());
    EXPECT_EQ(p.konfiguracja.windowTitle().toStdString(), "Settings:  Default.vlq");
}

// A full disk: the opening's position write fails and is shown, and the
// fields still show the profile's settings; OK fails, is shown and keeps
// the poll stopped while the dialog stays open; each way out starts it
// again; the profile keeps the user's settings throughout.
TEST_F(ProfileWriteFailureTest, FullDiskKeepsTheProfileAndEveryWayOutResumesPolling) {
    FullDisk disk(dir);
    WriteProfile("Default.vlq", {{"Host", "127.0.0.1:9"}, {"Haslo", "secret"}, {"NumerInterfaceu", "7"}});
    const auto profile = [this] {
        std::ostringstream text;
        text << std::ifstream(Path("Default.vlq")).rdbuf();
        return text.str();
    };
    const std::string before = profile();
    Windows& p = Start();
    p.router.FormShow();
    disk.Fill();
    auto& k = p.konfiguracja;
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    const std::function<void()> waysOut[] = {[&] { k.BitBtn2Click(); },
                                             [&] { QCoreApplication::sendEvent(&k, &escape); },
                                             [&] { k.close(); }}; // the title bar's close box
    for (const auto& leave : waysOut) {
        errors.clear();
        ExecWith(k, [&] {
            EXPECT_EQ(k.Edit1->text() + k.Edit2->text() + k.SpinEdit1->text(), "127.0.0.1:9secret7");
            k.BitBtn1Click();
            EXPECT_TRUE(k.isVisible() && !p.router.Timer1->isActive());
            leave();
        });
        EXPECT_TRUE(p.router.Timer1->isActive());
        EXPECT_EQ(errors, std::vector<std::string>(2, "Unable to write to " + Path("Default.vlq")));
    }
    EXPECT_EQ(profile(), before);
}

TEST_F(ProfileWriteFailureTest, OkKeepsTheDialogOpenWithThePollStoppedUntilItIsLeft) {
    Windows& p = Start();
    p.router.FormShow();
    p.router.Timer2->stop(); // no start-up check while the profile path is broken
    ASSERT_TRUE(p.router.Timer1->isActive());
    std::ofstream(Path("plain-file")) << "x";
    bool stillOpen = false;
    const int result = ExecWith(p.konfiguracja, [&] {
        p.router.State().ProfilePath = Path("plain-file/Default.vlq");
        p.konfiguracja.BitBtn1Click();
        Answered(p.konfiguracja);
        stillOpen = p.konfiguracja.isVisible();
        EXPECT_FALSE(p.router.Timer1->isActive());
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + Path("plain-file/Default.vlq"));
    EXPECT_TRUE(p.router.Timer1->isActive());
}

using LineBreakTest = DialogTest;

TEST_F(LineBreakTest, PastedTextIsCutAtItsFirstLineBreakAndOkWritesIt) {
    Windows& p = Start();
    auto& k = p.konfiguracja;
    k.FormShow();
    // Inserted in the middle: the insertion stops at the break, the text
    // after the cursor stays.
    k.Edit1->setText(QStringLiteral("19"));
    k.Edit1->setCursorPosition(1);
    k.Edit1->insert(QStringLiteral("27.0.0.\r\nrest"));
    EXPECT_EQ(k.Edit1->text(), "127.0.0.9");
    EXPECT_EQ(k.Edit1->cursorPosition(), 8);
    // A community copied with its line end, and a NUL.
    k.Edit2->clear();
    k.Edit2->insert(QStringLiteral("lab\n"));
    EXPECT_EQ(k.Edit2->text(), "lab");
    k.Edit3->setText(QStringLiteral("Home\nOffice"));
    EXPECT_EQ(k.Edit3->text(), "Home");
    k.Edit3->insert(QString(QChar(0)) + QStringLiteral("x"));
    EXPECT_EQ(k.Edit3->text(), "Home");
    // The spin fields are edit fields too: "5" and not the minimum.
    k.SpinEdit1->lineEdit()->selectAll();
    k.SpinEdit1->lineEdit()->insert(QStringLiteral("5\r\n6"));
    EXPECT_EQ(k.SpinEdit1->value(), 5);

    k.BitBtn1Click();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(Value(Path("Default.vlq"), "Host"), "127.0.0.9");
    EXPECT_EQ(Value(Path("Default.vlq"), "Haslo"), "lab");
    EXPECT_EQ(Value(Path("Default.vlq"), "Sesja"), "Home");
}

using SmallControlsTest = DialogTest;

TEST_F(SmallControlsTest, AgentDescriptionShowsWholeLinesAndElidesTheRest) {
    Windows& p = Start();
    TElidedLabel& label = *p.konfiguracja.Label9;
    const QFontMetrics metrics(label.font());
    const QString longText = QStringLiteral(
        "Cisco IOS Software, C880 Software (C880DATA-UNIVERSALK9-M), Version 15.1(4)M4, RELEASE SOFTWARE\r\n"
        "Technical Support: http://www.example.com/techsupport (gw-office)");
    label.setText(longText);
    const QStringList lines = label.ShownLines();
    EXPECT_EQ(lines.size(), 2); // two whole lines fit the box
    EXPECT_LE(lines.size() * metrics.lineSpacing(), label.contentsRect().height());
    for (const QString& line : lines) {
        EXPECT_LE(metrics.horizontalAdvance(line), label.contentsRect().width()) << line.toStdString();
    }
    EXPECT_TRUE(label.IsElided());
    EXPECT_TRUE(lines.back().endsWith(QChar(0x2026)));
    EXPECT_TRUE(lines.front().startsWith(QStringLiteral("Cisco IOS Software")));

    label.setText(QStringLiteral("Linux gw 6.1.0 (gw)"));
    EXPECT_FALSE(label.IsElided());
    EXPECT_EQ(label.ShownLines(), QStringList{QStringLiteral("Linux gw 6.1.0 (gw)")});
}

TEST_F(SmallControlsTest, OpacityBarsTakeNoFocusAndListRowsAreThirteenPixels) {
    Windows& p = Start();
    // Tab never stops on a scroll bar, so arrow keys cannot change an opacity unseen.
    for (QScrollBar* bar : {p.konfiguracja.ScrollBar1, p.konfiguracja.ScrollBar2}) {
        EXPECT_FALSE(bar->focusPolicy() & Qt::TabFocus) << bar->objectName().toStdString();
    }
    p.interfejsy.ListBox1->addItem(QStringLiteral(" 1: lo (Up)"));
    EXPECT_EQ(p.interfejsy.ListBox1->sizeHintForRow(0), 13);
}

TEST(TSpinEdit, TextThatIsNotANumberReadsAsTheMinimum) {
    TSpinEdit spin(1, 128);
    spin.setValue(7);
    spin.lineEdit()->setText(QStringLiteral("eth0"));
    EXPECT_EQ(spin.value(), 1);
    spin.lineEdit()->setText(QString());
    EXPECT_EQ(spin.value(), 1);
    spin.lineEdit()->setText(QStringLiteral("99999999999"));
    EXPECT_EQ(spin.value(), 1);
    spin.lineEdit()->setText(QStringLiteral("42"));
    EXPECT_EQ(spin.value(), 42);
}

TEST(TSpinEdit, OutOfRangeIsBroughtToTheBoundOnFocusLossAndWhenSet) {
    TSpinEdit spin(100, 750);
    spin.lineEdit()->setText(QStringLiteral("5000"));
    EXPECT_EQ(spin.value(), 750);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&spin, &out);
    EXPECT_EQ(spin.text(), "750");

    spin.lineEdit()->setText(QStringLiteral("abc"));
    QCoreApplication::sendEvent(&spin, &out);
    EXPECT_EQ(spin.text(), "100");

    spin.setValue(-3);
    EXPECT_EQ(spin.text(), "100");
    spin.setValue(100000);
    EXPECT_EQ(spin.value(), 750);
}

using ColourPickTest = DialogTest;

TEST_F(ColourPickTest, ConfirmedColourGoesToTheSwatchOnly) {
    Windows& p = Start();
    auto& k = p.konfiguracja;
    k.Shape1->SetBrushColor(0x00123456);
    QColor preset;
    QTimer::singleShot(0, k.ColorDialog1(), [&] {
        preset = k.ColorDialog1()->currentColor();
        k.ColorDialog1()->setCurrentColor(QColor(0x11, 0x22, 0x33));
        k.ColorDialog1()->accept();
    });
    k.BitBtn4Click();
    EXPECT_EQ(BgrFromColor(preset), 0x00123456u);
    EXPECT_EQ(k.Shape1->BrushColor(), 0x00332211u);     // red in the low byte
    EXPECT_EQ(p.router.State().DownloadColor, kYellow); // nothing else until OK

    QTimer::singleShot(0, k.ColorDialog1(), [&] {
        k.ColorDialog1()->setCurrentColor(QColor(0xAA, 0xBB, 0xCC));
        k.ColorDialog1()->reject();
    });
    k.BitBtn5Click();
    EXPECT_EQ(k.Shape2->BrushColor(), 0x000000FFu);
}

TEST(ColorFromBgr, RedIsTheLowByte) {
    EXPECT_EQ(ColorFromBgr(0x0000FFFF), QColor(255, 255, 0));
    EXPECT_EQ(ColorFromBgr(0x000000FF), QColor(255, 0, 0));
    EXPECT_EQ(BgrFromColor(QColor(0x01, 0x02, 0x03)), 0x00030201u);
}

} // namespace
} // namespace veltrum::test
