// The settings dialog's agent probe and the interface walk against a scripted
// agent on 127.0.0.1: every answer (silence, errors, short replies) is the
// test's choice.

#include "tests/dialogs/DialogFixture.h"

#include "widgets/Gauge.h"

#include "core/PollCycle.h"
#include "core/RecordingView.h"
#include "dialogs/DialogControls.h"
#include "support/ScriptedResponder.h"
#include "support/TableAgent.h"

#include <QComboBox>
#include <QCursor>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QToolTip>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>

#include <sys/stat.h>

namespace veltrum::test {
namespace {

using Request = ScriptedResponder::Request;
using Reply = ScriptedResponder::Reply;
using VarBind = ScriptedResponder::VarBind;

constexpr const char* kSysDescr = "1.3.6.1.2.1.1.1.0";
constexpr const char* kSysName = "1.3.6.1.2.1.1.5.0";

// An agent with the given interfaces (number -> description, ifOperStatus),
// its description and name; it answers GetRequest, GetNextRequest and
// GetBulkRequest over its table, rejecting what it lacks as RFC 1157 agents
// do: noSuchName (2) with the request's empty values.
ScriptedResponder::Handler InterfaceAgent(std::map<int, std::pair<std::string, std::string>> interfaces) {
    TableAgent::Interfaces table;
    for (const auto& [number, cells] : interfaces) {
        table[number] = {cells.first, cells.second};
    }
    auto agent = std::make_shared<TableAgent>(table);
    agent->SetObject(kSysDescr, 0x04, "Scripted agent");
    agent->SetObject(kSysName, 0x04, "bench");
    return [agent](const Request& r) { return agent->Answer(r); };
}

class ScriptedAgentTest : public DialogTest {
protected:
    // The profile names the agent, with a short time-out so silent cases stay quick.
    Windows& StartWith(const ScriptedResponder& agent, const std::string& timeout = "100") {
        return StartWith(agent.HostText(), timeout);
    }
    Windows& StartWith(const std::string& host, const std::string& timeout = "100") {
        WriteProfile("Default.vlq", {{"Host", host}, {"Haslo", "public"}, {"Timeout", timeout}});
        return Start();
    }
    static std::vector<std::string> Rows(const TFormInterfejsy& list) {
        std::vector<std::string> rows;
        for (int i = 0; i < list.ListBox1->count(); ++i) {
            rows.push_back(list.ListBox1->item(i)->text().toStdString());
        }
        return rows;
    }
};

using AgentProbeTest = ScriptedAgentTest;

TEST_F(AgentProbeTest, ShowsInterfaceDescriptionAndAgentDescriptionWithName) {
    std::mutex m;
    std::vector<Request> requests;
    std::atomic<bool> waitCursorShown{true};
    ScriptedResponder agent([&](const Request& r) -> std::optional<Reply> {
        const QCursor* cursor = QApplication::overrideCursor();
        if (cursor == nullptr || cursor->shape() != Qt::WaitCursor) {
            waitCursorShown = false;
        }
        const std::lock_guard lock(m);
        requests.push_back(r);
        return InterfaceAgent({{3, {"eth2", "1"}}})(r);
    });
    WriteProfile("Default.vlq", {{"Host", agent.HostText()}, {"Haslo", "public"}, {"NumerInterfaceu", "3"}});
    Windows& p = Start();
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);

    EXPECT_EQ(p.konfiguracja.Label7->text(), "eth2");
    EXPECT_EQ(p.konfiguracja.Label9->text(), "Scripted agent (bench)");
    const std::lock_guard lock(m);
    ASSERT_EQ(requests.size(), 3u); // filling the fields probes no extra time
    EXPECT_EQ(requests[0].PduTag, 0xA0);
    EXPECT_EQ(requests[0].Community, "public");
    EXPECT_EQ(requests[0].Oids, (std::vector<std::string>{"1.3.6.1.2.1.2.2.1.2.3"}));
    EXPECT_EQ(requests[1].Oids, (std::vector<std::string>{kSysDescr, kSysName}));
    // Last, in SNMPv2c: whether 64-bit counters are there to suggest.
    EXPECT_EQ(requests[2].Oids, (std::vector<std::string>{"1.3.6.1.2.1.31.1.1.1.6.3"}));
    EXPECT_EQ(static_cast<uint8_t>(requests[2].Raw[4]), 1);
    EXPECT_TRUE(waitCursorShown);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The version chosen in the dialog: the probe asks in SNMPv2c, also for
// ifHCInOctets, and its hint says which counters the poll will read; OK
// writes the version, which the next opening shows again.
TEST_F(AgentProbeTest, SnmpV2cChoiceProbesInThatVersionAndIsWritten) {
    std::mutex m;
    std::vector<Request> requests;
    ScriptedResponder agent([&](const Request& r) -> std::optional<Reply> {
        const std::lock_guard lock(m);
        requests.push_back(r);
        if (r.Oids.size() == 1 && r.Oids[0].rfind("1.3.6.1.2.1.31.1.1.1.6.", 0) == 0) {
            return ScriptedResponder::Respond(r, {{"", 0x81, ""}}); // noSuchInstance
        }
        return InterfaceAgent({{1, {"eth0", "1"}}})(r);
    });
    Windows& p = StartWith(agent);
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.ComboBox1->currentText(), "SNMPv1");
    EXPECT_EQ(p.konfiguracja.Label7->toolTip(), "SNMPv1, 32-bit counters");
    {
        const std::lock_guard lock(m);
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_EQ(static_cast<uint8_t>(requests[0].Raw[4]), 0); // version field
        requests.clear();
    }
    p.konfiguracja.ComboBox1->setCurrentIndex(1);
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.Label7->text(), "eth0");
    EXPECT_EQ(p.konfiguracja.Label7->toolTip(),
              "SNMPv2c, 32-bit counters (the agent has no 64-bit counters for this interface)");
    {
        const std::lock_guard lock(m);
        ASSERT_EQ(requests.size(), 3u);
        for (const Request& r : requests) {
            EXPECT_EQ(static_cast<uint8_t>(r.Raw[4]), 1);
        }
        EXPECT_EQ(requests[1].Oids, (std::vector<std::string>{"1.3.6.1.2.1.31.1.1.1.6.1"}));
    }
    p.konfiguracja.BitBtn1Click();
    Answered(p.konfiguracja);
    EXPECT_EQ(Value(Path("Default.vlq"), "WersjaSNMP"), "1");
    EXPECT_EQ(p.router.State().SnmpVersion, 1);
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.ComboBox1->currentText(), "SNMPv2c");
}

TEST_F(AgentProbeTest, SecondRequestUnansweredClearsTheInterfaceAndSaysWhy) {
    ScriptedResponder agent([](const Request& r) -> std::optional<Reply> {
        if (r.Oids.size() == 1) {
            return ScriptedResponder::Respond(r, {{"", 0x04, "eth0"}});
        }
        return std::nullopt;
    });
    Windows& p = StartWith(agent);
    p.konfiguracja.Label9->setText(QStringLiteral("stale"));
    const double ms = ElapsedMs([&] {
        p.konfiguracja.FormShow();
        Answered(p.konfiguracja);
    });
    EXPECT_TRUE(p.konfiguracja.Label7->text().isEmpty());
    EXPECT_TRUE(p.konfiguracja.Label9->text().contains(QString::fromStdString(agent.HostText())));
    EXPECT_EQ(agent.RequestCount(), 2);
    EXPECT_GE(ms, 90.0); // one reply wait of the 100 ms time-out
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(AgentProbeTest, SilentAgentCostsOneTimeOutPerProbe) {
    ScriptedResponder agent([](const Request&) -> std::optional<Reply> { return std::nullopt; });
    Windows& p = StartWith(agent);
    const double ms = ElapsedMs([&] {
        p.konfiguracja.FormShow();
        Answered(p.konfiguracja);
    });
    EXPECT_EQ(agent.RequestCount(), 1);
    EXPECT_GE(ms, 90.0);
    EXPECT_LT(ms, 1000.0);
    EXPECT_TRUE(p.konfiguracja.Label7->text().isEmpty());
}

TEST_F(AgentProbeTest, EditedTimeOutProbesWithTheOneInForce) {
    ScriptedResponder agent([](const Request&) -> std::optional<Reply> { return std::nullopt; });
    Windows& p = StartWith(agent);
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    const int before = agent.RequestCount();
    const double ms = ElapsedMs([&] {
        p.konfiguracja.SpinEdit4->setValue(750);
        Answered(p.konfiguracja);
    });
    EXPECT_EQ(agent.RequestCount(), before + 1); // the change probed
    EXPECT_LT(ms, 600.0);                        // with 100 ms, not 750 ms
}

TEST_F(AgentProbeTest, ErrorStatusIsNotInspectedAndShortRepliesFail) {
    std::atomic<int> mode{0};
    ScriptedResponder agent([&](const Request& r) -> std::optional<Reply> {
        if (mode == 0) { // values shown whatever the error status says
            if (r.Oids.size() == 1) {
                return ScriptedResponder::Respond(r, {{"", 0x04, "tun0"}}, 5);
            }
            return ScriptedResponder::Respond(r, {{"", 0x04, "box"}, {"", 0x02, "42"}}, 5);
        }
        // One value where two were asked for.
        return ScriptedResponder::Respond(r, {{"", 0x04, "only one"}});
    });
    Windows& p = StartWith(agent);
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.Label7->text(), "tun0");
    EXPECT_EQ(p.konfiguracja.Label9->text(), "box (42)");

    mode = 1;
    p.konfiguracja.SpinEdit1Change();
    Answered(p.konfiguracja);
    EXPECT_TRUE(p.konfiguracja.Label7->text().isEmpty());
    EXPECT_TRUE(p.konfiguracja.Label9->text().contains(QString::fromStdString(agent.HostText())));
}

TEST_F(AgentProbeTest, LeavingTheHostFieldProbesWhatWasTyped) {
    ScriptedResponder agent(InterfaceAgent({{1, {"lo", "1"}}}));
    WriteProfile("Default.vlq", {{"Host", "127.0.0.1:9"}, {"Timeout", "100"}});
    Windows& p = Start();
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    EXPECT_TRUE(p.konfiguracja.Label9->text().startsWith(QStringLiteral("127.0.0.1:9 ")));
    p.konfiguracja.Edit1->setText(QString::fromStdString(agent.HostText()));
    p.konfiguracja.Edit2->setText(QStringLiteral("anything"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(p.konfiguracja.Edit1, &out);
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.Label7->text(), "lo");
    EXPECT_EQ(p.konfiguracja.Label9->text(), "Scripted agent (bench)");
}

// OK keeps the interface's description as the probe read it beside its
// number; a profile that never had one stays without it while the probe
// reads none; another number with no answer forgets the old description.
TEST_F(AgentProbeTest, OkKeepsTheProbedDescription) {
    ScriptedResponder silent([](const Request&) -> std::optional<Reply> { return std::nullopt; });
    Windows& p = StartWith(silent);
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    p.konfiguracja.BitBtn1Click();
    Answered(p.konfiguracja);
    EXPECT_EQ(Value(Path("Default.vlq"), "OpisInterfaceu"), "<absent>");

    ScriptedResponder agent(InterfaceAgent({{3, {"eth2", "1"}}}));
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    p.konfiguracja.Edit1->setText(QString::fromStdString(agent.HostText()));
    p.konfiguracja.SpinEdit1->setValue(3);
    Answered(p.konfiguracja);
    p.konfiguracja.BitBtn1Click();
    Answered(p.konfiguracja);
    EXPECT_EQ(Value(Path("Default.vlq"), "OpisInterfaceu"), "eth2");
    EXPECT_EQ(p.router.State().InterfaceDescription, "eth2");

    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    p.konfiguracja.Edit1->setText(QString::fromStdString(silent.HostText()));
    p.konfiguracja.SpinEdit1->setValue(4);
    Answered(p.konfiguracja);
    p.konfiguracja.BitBtn1Click();
    Answered(p.konfiguracja);
    EXPECT_EQ(Value(Path("Default.vlq"), "OpisInterfaceu"), "");
}

// OK keeps the description read from the agent it writes: a host typed and
// confirmed at once (no probe yet) is asked then, without the NUL that ends
// a Windows agent's ifDescr; a silent agent leaves none.
TEST_F(AgentProbeTest, OkAsksAChangedHostForItsDescription) {
    TableAgent old({{2, {"old router", "1"}}});
    TableAgent windows({{2, {std::string("MS TCP Loopback interface\0", 26), "1"}}});
    ScriptedResponder silent([](const Request&) -> std::optional<Reply> { return std::nullopt; });
    WriteProfile("Default.vlq", {{"Host", old.Host()}, {"NumerInterfaceu", "2"}, {"Timeout", "100"}});
    auto& k = Start().konfiguracja;
    for (const auto& [host, stored] :
         {std::pair{windows.Host(), "MS TCP Loopback interface"}, std::pair{silent.HostText(), ""}}) {
        k.FormShow();
        Answered(k);
        EXPECT_FALSE(k.Label7->text().isEmpty());
        k.Edit1->setText(QString::fromStdString(host));
        k.BitBtn1Click();
        Answered(k);
        EXPECT_EQ(Value(Path("Default.vlq"), "OpisInterfaceu"), stored);
    }
}

// A failed probe says why, in the words of the main window's hint for a
// poll of the same agent: in the agent's line, or in the interface's line
// when only the interface is missing.
TEST_F(AgentProbeTest, FailedProbeSaysWhyAsThePollDoes) {
    const std::pair<ScriptedResponder::Handler, bool> rows[] = {
        {[](const Request&) -> std::optional<Reply> { return std::nullopt; }, false}, // a wrong v1 community
        {[](const Request& r) { return ScriptedResponder::Respond(r, {}); }, false},  // no values
        {InterfaceAgent({{1, {"lo", "1"}}}), true},                                   // no interface 5
    };
    WriteProfile("Default.vlq", {{"Host", "127.0.0.1:9"}, {"NumerInterfaceu", "5"}, {"Timeout", "100"}});
    auto& k = Start().konfiguracja;
    k.FormShow();
    Answered(k);
    for (const auto& [script, interfaceLine] : rows) {
        ScriptedResponder agent(script);
        k.Edit1->setText(QString::fromStdString(agent.HostText()));
        k.SpinEdit1Change();
        Answered(k);
        MonitorState state;
        state.InterfaceNumber = 5;
        state.TimeoutMs = 100;
        TIdSNMP snmp;
        snmp.Host = agent.HostText();
        RecordingView poll;
        RunPollCycle(state, snmp, poll, NumberLocale{});
        ASSERT_EQ(poll.Reasons.size(), 1u);
        const QString reason = QString::fromStdString(poll.Reasons[0]);
        EXPECT_EQ(k.Label7->text(), interfaceLine ? reason : QString());
        EXPECT_EQ(k.Label9->text(), interfaceLine ? QStringLiteral("Scripted agent (bench)") : reason);
    }
}

// What an agent sends stays text in the labels, their hints and the list,
// control characters written out: markup naming a FIFO, which Qt would hang
// reading were it taken for rich text, is drawn as it is.
TEST_F(AgentProbeTest, AgentTextsAreShownAsPlainText) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    const std::string markup = "<img src=\"" + Path("fifo") + "\">";
    TableAgent agent({{1, {markup + "\a", "1"}}});
    agent.SetObject(kSysDescr, 0x04, markup + std::string(300, 'x') + "\r\nline two");
    agent.SetObject(kSysName, 0x04, "gw\x1b[31m");
    Windows& p = StartWith(agent.Host());
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    Walk(p.interfejsy);
    EXPECT_EQ(p.konfiguracja.Label7->text().toStdString(), markup + "\\x07");
    EXPECT_TRUE(p.konfiguracja.Label9->text().endsWith(QStringLiteral("line two (gw\\x1B[31m)")));
    EXPECT_EQ(Rows(p.interfejsy), std::vector<std::string>{" 1: " + markup + "\\x07 (Up)"});
    for (QWidget* shown : std::initializer_list<QWidget*>{p.konfiguracja.Label7, p.konfiguracja.Label9,
                                                          p.interfejsy.ListBox1->viewport()}) {
        shown->grab();
        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), shown->mapToGlobal(QPoint(4, 4)));
        QCoreApplication::sendEvent(shown, &help);
        EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("&lt;img src=")))
            << shown->objectName().toStdString();
        for (QWidget* tip : QApplication::topLevelWidgets()) {
            if (tip->inherits("QTipLabel")) {
                tip->grab();
            }
        }
        QToolTip::hideText();
    }
}

// At a restart the monitor follows a renumbered interface by its description
// and writes the new number; with no match it keeps the number and says so
// in its hint.
TEST_F(AgentProbeTest, RestartFollowsTheInterfaceByItsDescription) {
    TableAgent agent({{1, {"lo", "1"}}, {2, {"eth0", "1"}}, {7, {"eth1", "1"}}});
    const auto counters = [&agent] {
        for (const char* counter : {"10.7", "16.7", "11.7", "17.7"}) {
            agent.SetObject(std::string("1.3.6.1.2.1.2.2.1.") + counter, 0x41, "1000");
        }
    };
    counters();
    WriteProfile("Default.vlq", {{"Host", agent.Host()},
                                 {"Haslo", "public"},
                                 {"Timeout", "100"},
                                 {"NumerInterfaceu", "2"},
                                 {"OpisInterfaceu", "eth1"}});
    Windows& p = Start();
    const auto restart = [&p] {
        p.router.FormShow();
        Settle(p.router); // the walk goes on between events
    };
    restart();
    EXPECT_EQ(p.router.State().InterfaceNumber, 7);
    EXPECT_EQ(Value(Path("Default.vlq"), "NumerInterfaceu"), "7");
    EXPECT_TRUE(p.glowny.Gauge1->toolTip().startsWith(QString::fromUtf8("Download \u2014 ")));

    agent.SetInterfaces({{1, {"lo", "1"}}, {7, {"eth0", "1"}}});
    counters();
    restart();
    EXPECT_EQ(p.router.State().InterfaceNumber, 7);
    EXPECT_EQ(
        p.glowny.Gauge1->toolTip().toStdString(),
        "Interface 7 is now \"eth0\", and no interface of the agent is \"eth1\" any more. Still watching "
        "interface 7.");
}

// While the agent is slow to answer, the dialog takes Cancel and edits as
// they come: no question holds it. Cancel during the opening probe ends the
// dialog and Settings opens again; Cancel during OK's question writes
// nothing; an interface chosen while the last one is still asked about is
// the one described.
TEST_F(AgentProbeTest, ASlowAgentHoldsNoChoiceBack) {
    ScriptedResponder agent([](const Request& r) -> std::optional<Reply> {
        std::optional<Reply> reply = InterfaceAgent({{2, {"eth0", "1"}}, {5, {"wan", "1"}}})(r);
        reply->DelayMs = 300;
        return reply;
    });
    Windows& p = StartWith(agent, "750");
    TFormKonfiguracja& k = p.konfiguracja;
    const auto wait = [](int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
    };

    int opened = 0;
    const int cancelled = ExecWith(k, [&] { k.BitBtn2Click(); });
    const int again = ExecWith(k, [&] { opened = k.isVisible() ? 1 : 0; });
    EXPECT_EQ(cancelled, QDialog::Rejected);
    EXPECT_EQ(again, QDialog::Rejected);
    EXPECT_EQ(opened, 1) << "Settings opens again";

    const int okThenCancel = ExecWith(k, [&] {
        Answered(k);
        k.Edit2->setText(QStringLiteral("typed")); // not yet asked about: OK asks first
        k.BitBtn1Click();
        k.BitBtn2Click();
    });
    wait(1000);
    EXPECT_EQ(okThenCancel, QDialog::Rejected);
    EXPECT_EQ(Value(Path("Default.vlq"), "Haslo"), "public") << "Cancel wrote the profile";

    k.FormShow();
    Answered(k);
    QTimer::singleShot(100, &k, [&k] { k.SpinEdit1->setValue(5); });
    k.SpinEdit1->setValue(2);
    wait(150);
    Answered(k);
    EXPECT_EQ(k.Label7->text(), "wan");
    k.BitBtn2Click();
}

using InterfaceWalkTest = ScriptedAgentTest;

TEST_F(InterfaceWalkTest, RowsKeepTheirInterfaceNumbers) {
    ScriptedResponder agent(InterfaceAgent({{1, {"lo", "1"}}, {2, {"eth0", "2"}}, {5, {"wan", "1"}}}));
    Windows& p = StartWith(agent);
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    const int probeRequests = agent.RequestCount();
    auto& list = p.interfejsy;
    Walk(list);

    // GetNext row by row (the first asks again without ifName and ifAlias,
    // which this agent lacks), not one request per number.
    EXPECT_EQ(agent.RequestCount() - probeRequests, 5);
    ASSERT_EQ(list.ListBox1->count(), 3);
    EXPECT_EQ(list.ListBox1->item(0)->text(), " 1: lo (Up)");
    EXPECT_EQ(list.ListBox1->item(1)->text(), " 2: eth0 (Down)");
    EXPECT_EQ(list.ListBox1->item(2)->text(), " 5: wan (Up)");
    EXPECT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.RowInterfaces()[0], 1);
    EXPECT_EQ(list.RowInterfaces()[1], 2);
    EXPECT_EQ(list.RowInterfaces()[2], 5);
    EXPECT_EQ(list.RowInterfaces().size(), 3u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Choosing the third row sets 5, not 3, and probes interface 5.
    list.ListBox1->setCurrentRow(2);
    list.BitBtn1Click();
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.SpinEdit1->value(), 5);
    EXPECT_EQ(p.konfiguracja.Label7->text(), "wan");
}

TEST_F(InterfaceWalkTest, StatusWordsAndEmptyDescriptions) {
    ScriptedResponder agent(InterfaceAgent({{1, {"a", "1"}},
                                            {2, {"b", "2"}},
                                            {3, {"c", "3"}},
                                            {4, {"", "1"}},  // no description: skipped
                                            {6, {"d", "5"}}, // dormant
                                            {7, {"e", "7"}}, // lowerLayerDown
                                            {8, {"f", "4"}},
                                            {9, {"g", "6"}},
                                            {10, {"h", "8"}}, // no such status
                                            {128, {"last", "1"}},
                                            {129, {"beyond", "1"}}})); // numbers above 128 too
    Windows& p = StartWith(agent);
    p.konfiguracja.Edit1->setText(QString::fromStdString(agent.HostText()));
    Walk(p.interfejsy);
    std::vector<std::string> rows;
    for (int i = 0; i < p.interfejsy.ListBox1->count(); ++i) {
        rows.push_back(p.interfejsy.ListBox1->item(i)->text().toStdString());
    }
    EXPECT_EQ(rows,
              (std::vector<std::string>{" 1: a (Up)", " 2: b (Down)", " 3: c (Testing)", " 6: d (Dormant)",
                                        " 7: e (LowerLayerDown)", " 8: f (Unknown)", " 9: g (NotPresent)",
                                        " 10: h (Unknown)", " 128: last (Up)", " 129: beyond (Up)"}));
    EXPECT_TRUE(p.interfejsy.EmptyReason->isHidden());
}

TEST(StatusWord, ExactTextComparison) {
    EXPECT_EQ(TFormInterfejsy::StatusWord("1"), "Up");
    EXPECT_EQ(TFormInterfejsy::StatusWord("2"), "Down");
    EXPECT_EQ(TFormInterfejsy::StatusWord("3"), "Testing");
    EXPECT_EQ(TFormInterfejsy::StatusWord("4"), "Unknown");
    EXPECT_EQ(TFormInterfejsy::StatusWord("5"), "Dormant");
    EXPECT_EQ(TFormInterfejsy::StatusWord("6"), "NotPresent");
    EXPECT_EQ(TFormInterfejsy::StatusWord("7"), "LowerLayerDown");
    EXPECT_EQ(TFormInterfejsy::StatusWord("0"), "Unknown");
    EXPECT_EQ(TFormInterfejsy::StatusWord("8"), "Unknown");
    EXPECT_EQ(TFormInterfejsy::StatusWord(""), "Unknown");
    EXPECT_EQ(TFormInterfejsy::StatusWord(" 1"), "Unknown");
    EXPECT_EQ(TFormInterfejsy::StatusWord("up"), "Unknown");
}

TEST_F(InterfaceWalkTest, SilentAgentGivesAnEmptyListAfterOneTimeOut) {
    ScriptedResponder agent([](const Request&) -> std::optional<Reply> { return std::nullopt; });
    Windows& p = StartWith(agent);
    p.konfiguracja.Edit1->setText(QString::fromStdString(agent.HostText()));
    const double ms = ElapsedMs([&] { Walk(p.interfejsy); });
    EXPECT_EQ(p.interfejsy.ListBox1->count(), 0);
    EXPECT_EQ(agent.RequestCount(), 1);
    EXPECT_GE(ms, 90.0);
    EXPECT_LT(ms, 1000.0);
    // The empty list says why.
    EXPECT_FALSE(p.interfejsy.EmptyReason->isHidden());
    EXPECT_TRUE(p.interfejsy.EmptyReason->text().startsWith(
        QString::fromStdString("No reply from " + agent.HostText() + " within 100 ms.")));
}

TEST_F(InterfaceWalkTest, AgentWithoutInterfacesSaysSo) {
    ScriptedResponder agent(InterfaceAgent({}));
    Windows& p = StartWith(agent);
    p.konfiguracja.Edit1->setText(QString::fromStdString(agent.HostText()));
    Walk(p.interfejsy);
    EXPECT_EQ(p.interfejsy.ListBox1->count(), 0);
    EXPECT_EQ(p.interfejsy.EmptyReason->text().toStdString(),
              agent.HostText() + " shows this community no interface.");
    // A walk that finds rows again hides the reason.
    ScriptedResponder other(InterfaceAgent({{1, {"lo", "1"}}}));
    p.konfiguracja.Edit1->setText(QString::fromStdString(other.HostText()));
    Walk(p.interfejsy);
    EXPECT_EQ(p.interfejsy.ListBox1->count(), 1);
    EXPECT_TRUE(p.interfejsy.EmptyReason->isHidden());
}

TEST_F(InterfaceWalkTest, FirstFailureEndsTheWalkKeepingEarlierRows) {
    TableAgent agent({{1, {"if1", "1", "if1", ""}},
                      {2, {"if2", "1", "if2", ""}},
                      {3, {"if3", "1", "if3", ""}},
                      {4, {"if4", "1", "if4", ""}}});
    // Silent when asked what follows interface 2.
    agent.SetSilentWhen([](const Request& r) { return r.Oids.at(0) == "1.3.6.1.2.1.2.2.1.2.2"; });
    Windows& p = StartWith(agent.Host());
    p.konfiguracja.Edit1->setText(QString::fromStdString(agent.Host()));
    Walk(p.interfejsy);
    ASSERT_EQ(p.interfejsy.ListBox1->count(), 2);
    EXPECT_EQ(p.interfejsy.ListBox1->item(1)->text(), " 2: if2 (Up)");
    EXPECT_EQ(agent.Requests(), 3);
}

// Interfaces numbered anywhere appear, with ifName and ifAlias where they add
// to the description, walked in the version chosen in the settings dialog.
TEST_F(InterfaceWalkTest, EveryInterfaceWhateverItsNumber) {
    TableAgent agent({{1, {"lo", "1", "lo", ""}},
                      {2, {"eth0", "2", "eth0", "uplink"}},
                      {200, {"vlan200", "1", "Vl200", "office"}},
                      {70000, {"port 70000", "7", "Gi7/0/0", ""}}});
    const std::vector<std::string> want{" 1: lo (Up)", " 2: eth0 \"uplink\" (Down)",
                                        " 200: vlan200 [Vl200] \"office\" (Up)",
                                        " 70000: port 70000 [Gi7/0/0] (LowerLayerDown)"};
    Windows& p = StartWith(agent.Host());
    p.konfiguracja.Edit1->setText(QString::fromStdString(agent.Host()));
    for (const int version : {0, 1}) {
        p.konfiguracja.ComboBox1->setCurrentIndex(version);
        Answered(p.konfiguracja);
        const int before = agent.Requests();
        Walk(p.interfejsy);
        EXPECT_EQ(Rows(p.interfejsy), want);
        EXPECT_EQ(p.interfejsy.RowInterfaces(), (std::vector<int32_t>{1, 2, 200, 70000}));
        const Request last = agent.Received().back();
        EXPECT_EQ(last.PduTag, version == 1 ? 0xA5 : 0xA1); // GetBulk, GetNext
        EXPECT_EQ(static_cast<uint8_t>(last.Raw[4]), version);
        EXPECT_LE(agent.Requests() - before, version == 1 ? 1 : 6);
    }
    p.interfejsy.ListBox1->setCurrentRow(3);
    p.interfejsy.BitBtn1Click();
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.SpinEdit1->value(), 70000);
}

TEST_F(InterfaceWalkTest, UsesHostAndCommunityAsTyped) {
    std::mutex m;
    std::set<std::string> communities;
    ScriptedResponder agent([&](const Request& r) -> std::optional<Reply> {
        {
            const std::lock_guard lock(m);
            communities.insert(r.Community);
        }
        return InterfaceAgent({{2, {"eth0", "1"}}})(r);
    });
    WriteProfile("Default.vlq", {{"Host", "127.0.0.1:9"}, {"Haslo", "saved"}, {"Timeout", "100"}});
    Windows& p = Start();
    p.konfiguracja.Edit1->setText(QString::fromStdString(agent.HostText()));
    p.konfiguracja.Edit2->setText(QStringLiteral("typed"));
    Walk(p.interfejsy);
    EXPECT_EQ(p.interfejsy.ListBox1->count(), 1);
    const std::lock_guard lock(m);
    EXPECT_EQ(communities, (std::set<std::string>{"typed"}));
}

TEST_F(InterfaceWalkTest, DoubleClickConfirmsCancelAndNoSelectionOnlyClose) {
    ScriptedResponder agent(InterfaceAgent({{1, {"lo", "1"}}, {9, {"br0", "1"}}}));
    Windows& p = StartWith(agent);
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    auto& list = p.interfejsy;

    // From the settings dialog's "<" button: the list opens modally, walked.
    QTimer::singleShot(0, &list, [&] {
        EXPECT_TRUE(list.isVisible());
        while (list.Walking()) {
            QCoreApplication::processEvents();
        }
        ASSERT_EQ(list.ListBox1->count(), 2);
        list.ListBox1->setCurrentRow(1);
        emit list.ListBox1->itemDoubleClicked(list.ListBox1->item(1));
        Answered(p.konfiguracja);
        EXPECT_FALSE(list.isVisible());
    });
    p.konfiguracja.BitBtn3Click();
    EXPECT_EQ(p.konfiguracja.SpinEdit1->value(), 9);
    EXPECT_EQ(p.konfiguracja.Label7->text(), "br0");

    const int cancelled = ExecWith(list, [&] {
        list.ListBox1->setCurrentRow(0);
        list.BitBtn2Click();
    });
    EXPECT_EQ(cancelled, QDialog::Rejected);
    EXPECT_EQ(p.konfiguracja.SpinEdit1->value(), 9);

    const int unselected = ExecWith(list, [&] {
        list.ListBox1->clearSelection();
        list.ListBox1->setCurrentRow(-1);
        list.BitBtn1Click();
    });
    EXPECT_EQ(unselected, QDialog::Accepted);
    EXPECT_EQ(p.konfiguracja.SpinEdit1->value(), 9);
}

} // namespace
} // namespace veltrum::test
