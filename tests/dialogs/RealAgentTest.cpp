// The probe and the interface walk against net-snmp's snmpd, in a network
// namespace of this test's own to which it adds veth interfaces: the walk
// must list exactly the namespace's interfaces, with their numbers and states.

#include "tests/dialogs/DialogFixture.h"

#include "support/ScriptedResponder.h"
#include "support/SnmpdAgent.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrum::test {
namespace {

// Moves the calling thread into a fresh network namespace with only lo up,
// and back when it goes. Interfaces made here are seen by no other test
// process running beside this one.
class OwnNetworkNamespace final {
public:
    OwnNetworkNamespace() {
        m_previous = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (m_previous < 0 || ::unshare(CLONE_NEWNET) != 0) {
            return;
        }
        m_entered = true;
        m_ready = std::system("ip link set lo up") == 0;
    }
    ~OwnNetworkNamespace() {
        if (m_entered) {
            (void)::setns(m_previous, CLONE_NEWNET);
        }
        if (m_previous >= 0) {
            ::close(m_previous);
        }
    }
    OwnNetworkNamespace(const OwnNetworkNamespace&) = delete;
    OwnNetworkNamespace& operator=(const OwnNetworkNamespace&) = delete;
    bool Ready() const { return m_ready; }

private:
    int m_previous = -1;
    bool m_entered = false;
    bool m_ready = false;
};

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return out;
}

struct Link {
    int Index = 0;
    std::string Name;
    std::string State; // from `ip -o link`
};

// The namespace's interfaces as the kernel lists them, by index.
std::vector<Link> Links() {
    std::vector<Link> links;
    std::istringstream lines(Capture("ip -o link show"));
    std::string line;
    while (std::getline(lines, line)) {
        Link link;
        std::istringstream fields(line);
        std::string index, name, word;
        fields >> index >> name;
        link.Index = std::stoi(index);
        name.pop_back(); // the colon
        link.Name = name.substr(0, name.find('@'));
        while (fields >> word) {
            if (word == "state" && fields >> link.State) {
                break;
            }
        }
        links.push_back(link);
    }
    return links;
}

// The agent reports up(1) for an interface that is up and running (a veth
// whose peer is down is up but not running) and down(2) otherwise.
std::string ExpectedStatus(const std::string& name) {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::snprintf(request.ifr_name, sizeof request.ifr_name, "%s", name.c_str());
    const bool running =
        s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_RUNNING) != 0;
    if (s >= 0) {
        ::close(s);
    }
    return running ? "Up" : "Down";
}

class RealAgentTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        if (!SnmpdAgent::Available()) {
            GTEST_SKIP() << "snmpd is not installed";
        }
        m_namespace = std::make_unique<OwnNetworkNamespace>();
        if (!m_namespace->Ready()) {
            GTEST_SKIP() << "cannot make a network namespace here (needs root)";
        }
    }
    void TearDown() override {
        for (const char* name : {"vtA", "vtC", "vtE"}) {
            Shell(std::string("ip link del ") + name);
        }
        DialogTest::TearDown(); // the windows' sockets close inside the namespace
        m_agent.reset();
        m_namespace.reset();
    }

    // Three veth pairs, the middle one deleted again so the numbers have a
    // gap; one pair up at both ends (running), one up at one end only.
    bool MakeInterfaces() {
        if (!Shell("ip link add vtA type veth peer name vtB") ||
            !Shell("ip link add vtC type veth peer name vtD") ||
            !Shell("ip link add vtE type veth peer name vtF") || !Shell("ip link del vtC")) {
            return false;
        }
        if (!Shell("ip link set vtA up") || !Shell("ip link set vtB up") || !Shell("ip link set vtE up")) {
            return false;
        }
        // Carrier changes reach the flags asynchronously; wait until they have.
        for (int i = 0; i < 300; ++i) {
            if (ExpectedStatus("vtA") == "Up" && ExpectedStatus("vtB") == "Up") {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    SnmpdAgent& Agent(std::vector<std::string> extraConfig = {}) {
        m_agent = std::make_unique<SnmpdAgent>("veltrum-test", std::move(extraConfig));
        m_agent->Start();
        return *m_agent;
    }

private:
    std::unique_ptr<OwnNetworkNamespace> m_namespace;
    std::unique_ptr<SnmpdAgent> m_agent;
};

TEST_F(RealAgentTest, ProbeAndWalkShowTheNamespacesInterfaces) {
    if (!MakeInterfaces()) {
        GTEST_SKIP() << "veth interfaces cannot be made here";
    }
    const std::vector<Link> links = Links();
    ASSERT_GE(links.size(), 5u);
    const Link& last = links.back();
    SnmpdAgent& agent = Agent();

    WriteProfile("Default.vlq",
                 {{"Host", agent.HostText()}, {"Haslo", agent.Community()}, {"NumerInterfaceu", "1"}});
    Windows& p = Start();
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    // An SNMPv1 profile of an agent that has 64-bit counters is told of them.
    EXPECT_EQ(p.konfiguracja.Label9->text().toStdString(),
              "This agent has 64-bit counters: SNMPv2c also counts the time Veltrum is closed\n" +
                  agent.SysDescr() + " (" + agent.SysName() + ")");
    EXPECT_EQ(p.konfiguracja.Label7->text(), "lo");

    Walk(p.interfejsy);
    std::vector<std::string> rows;
    for (int i = 0; i < p.interfejsy.ListBox1->count(); ++i) {
        rows.push_back(p.interfejsy.ListBox1->item(i)->text().toStdString());
    }
    std::vector<std::string> expected;
    for (const Link& link : links) {
        expected.push_back(" " + std::to_string(link.Index) + ": " + link.Name + " (" +
                           ExpectedStatus(link.Name) + ")");
    }
    EXPECT_EQ(rows, expected);
    // Both kinds of state are there: lo and vtA/vtB up, vtE (peer down) and vtF down.
    EXPECT_EQ(ExpectedStatus("vtE"), "Down");
    EXPECT_EQ(ExpectedStatus("vtF"), "Down");

    // The last row's number is past the gap, not its position.
    const int lastRow = p.interfejsy.ListBox1->count() - 1;
    ASSERT_GT(last.Index, lastRow + 1);
    p.interfejsy.ListBox1->setCurrentRow(lastRow);
    p.interfejsy.BitBtn1Click();
    Answered(p.konfiguracja);
    EXPECT_EQ(p.konfiguracja.SpinEdit1->value(), last.Index);
    EXPECT_EQ(p.konfiguracja.Label7->text().toStdString(), last.Name);
}

// Lets the event loop run until `done` holds (the keyring answers through it).
template <typename Done> bool WaitFor(Done done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

// A router on the profile, once it has its passphrases or keys, after two polls.
void StartAndPoll(Windows& q) {
    q.router.ReloadAndRestart(); // the main window's first showing, as at start-up
    ASSERT_TRUE(WaitFor(
        [&] { return q.router.SNMP.V3Session()->User().KeysMissing != v3::TFailure::KeyringSilent; }));
    for (int poll = 0; poll < 2; ++poll) {
        q.router.TheMonitor().Poll();
        Settle(q.router);
    }
}

// An SNMPv3 authPriv profile: without its secret the engine is still found
// and the hint says the passphrase is missing. With the passphrases typed, OK
// puts them in the desktop's keyring where one answers (keyring_test.sh runs
// one on a private session bus) and the profile keeps no secret; without
// one, only keys localised to the agent (file 0600). Either way a new router
// on the profile reads, and a passphrase typed again alone keeps the other.
TEST_F(RealAgentTest, SnmpV3ProfileKeepsNoPassphrase) {
    const bool keyring = std::getenv("VELTRUM_TEST_KEYRING") != nullptr;
    if (!keyring) {
        // Never the desktop's own keyring: no Secret Service answers here.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/veltrum-test-bus", 1);
    }
    const std::string auth = "v3-auth-passphrase";
    const std::string priv = "v3-priv-passphrase";
    SnmpdAgent& agent = Agent({"createUser watcher SHA-256 " + auth + " AES " + priv, "rouser watcher priv"});
    WriteProfile("Default.vlq", {{"Host", agent.HostText()},
                                 {"NumerInterfaceu", "1"},
                                 {"WersjaSNMP", "3"},
                                 {"UzytkownikV3", "watcher"},
                                 {"PoziomV3", "2"},
                                 {"AutoryzacjaV3", "SHA-256"},
                                 {"SzyfrV3", "AES"}});
    Windows& p = Start();
    p.konfiguracja.FormShow();
    Answered(p.konfiguracja);
    EXPECT_TRUE(p.konfiguracja.GroupBoxV3->isVisibleTo(&p.konfiguracja));
    EXPECT_NE(
        (p.konfiguracja.Label9->toolTip() + p.konfiguracja.Label9->text()).indexOf("passphrase is missing"),
        -1);
    p.konfiguracja.EditV3AuthPass->setText(QString::fromStdString(auth));
    p.konfiguracja.EditV3PrivPass->setText(QString::fromStdString(priv));
    p.konfiguracja.BitBtn1Click();
    Answered(p.konfiguracja);
    ASSERT_TRUE(WaitFor([&] { return p.konfiguracja.result() == QDialog::Accepted; }));

    const std::string profile = Path("Default.vlq");
    std::ifstream in(profile, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find(auth), std::string::npos);
    EXPECT_EQ(text.find(priv), std::string::npos);
    const std::string keys = Value(profile, "KluczeV3");
    EXPECT_EQ(keys.empty() || keys == "<absent>", keyring) << keys;
    struct stat status {};
    ASSERT_EQ(::stat(profile.c_str(), &status), 0);
    if (!keyring) {
        EXPECT_EQ(status.st_mode & 0777, 0600u);
    }
    Windows& q = Start();
    StartAndPoll(q);
    EXPECT_EQ(q.router.State().MissedPolls, 0);
    EXPECT_GT(q.router.State().Counters64Now[0], 0u);
    // The dialog's probe asks with them too, and says where they are.
    q.konfiguracja.FormShow();
    Answered(q.konfiguracja);
    const QString where = keyring ? "stored in the keyring" : "stored as keys localised to this agent";
    ASSERT_TRUE(WaitFor([&] { return q.konfiguracja.EditV3PrivPass->placeholderText() == where; }));
    Answered(q.konfiguracja); // the probe the keyring's answer asks again
    EXPECT_EQ(
        (q.konfiguracja.Label9->toolTip() + q.konfiguracja.Label9->text()).indexOf("passphrase is missing"),
        -1);
    EXPECT_NE(q.konfiguracja.LabelV3Secret->text().indexOf(keyring ? "keyring;" : "localised"), -1);
    q.konfiguracja.EditV3AuthPass->setText(QString::fromStdString(auth));
    q.konfiguracja.BitBtn1Click();
    Answered(q.konfiguracja);
    ASSERT_TRUE(WaitFor([&] { return q.konfiguracja.result() == QDialog::Accepted; }));
    Windows& r = Start();
    StartAndPoll(r);
    EXPECT_EQ(r.router.State().MissedPolls, 0);
}

// The passphrases in a keyring that is then locked (keyring_test.sh), or no
// keyring at all: the read says which, the poll sends the agent nothing and
// names the keyring.
TEST_F(RealAgentTest, LockedKeyringIsNamedAndNothingSent) {
    const bool keyring = std::getenv("VELTRUM_TEST_KEYRING") != nullptr;
    if (!keyring) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/veltrum-test-bus", 1);
    }
    ScriptedResponder agent([](const ScriptedResponder::Request&) { return std::nullopt; });
    WriteProfile("Default.vlq", {{"Host", agent.HostText()},
                                 {"Sesja", "Home"},
                                 {"WersjaSNMP", "3"},
                                 {"UzytkownikV3", "watcher"},
                                 {"PoziomV3", "2"}});
    const V3KeyringEntry entry{Path("Default.vlq"), "Home", "watcher", agent.HostText()};
    QObject context;
    if (keyring) {
        std::optional<KeyringAnswer> stored;
        StoreV3Passphrases(entry, {"a-passphrase", "p-passphrase"}, &context,
                           [&](KeyringAnswer a) { stored = a; });
        ASSERT_TRUE(WaitFor([&] { return stored == KeyringAnswer::Done; }));
        ASSERT_TRUE(Shell(
            "dbus-send --session --dest=org.freedesktop.secrets --print-reply /org/freedesktop/secrets "
            "org.freedesktop.Secret.Service.Lock array:objpath:/org/freedesktop/secrets/collection/login"));
    }
    Windows& q = Start();
    StartAndPoll(q);
    EXPECT_EQ(q.router.SNMP.V3Failure(), keyring ? v3::TFailure::KeyringLocked : v3::TFailure::KeyringAbsent);
    EXPECT_EQ(agent.RequestCount(), 0);
}

} // namespace
} // namespace veltrum::test
