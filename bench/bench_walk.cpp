// The interface list's walk of a 100-interface table: WalkInterfaces with
// GetBulk (SNMPv2c, ten rows a request) against net-snmp's snmpbulkwalk of
// the same four columns (ifDescr, ifOperStatus, ifName, ifAlias) with the
// same ten repetitions, both asking one local snmpd. snmpbulkwalk walks one
// column a run, so its side is four runs, each a process as a user starts
// it; MIB loading is switched off so it does no more than walk.
//
// The table: lo and 99 ifb interfaces, made in the private network namespace
// that scripts/bench runs in. They stay down and carry nothing; outside such
// a namespace the benchmark makes none and skips.
#include "core/InterfaceWalk.h"
#include "snmp/IdSNMP.h"
#include "support/NetworkGuard.h"
#include "support/SnmpdAgent.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kInterfaces = 100;
constexpr int kRepetitions = 10;
const char* const kColumns[] = {"1.3.6.1.2.1.2.2.1.2", "1.3.6.1.2.1.2.2.1.8", "1.3.6.1.2.1.31.1.1.1.1",
                                "1.3.6.1.2.1.31.1.1.1.18"};

// Runs a program with its output thrown away; its exit status, -1 when it
// could not start.
int Run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// The agent over a 100-interface table, made once for the whole run; null,
// with the benchmark skipped, where it cannot be.
veltrum::test::SnmpdAgent* TableAgent(benchmark::State& state) {
    static std::unique_ptr<veltrum::test::SnmpdAgent> agent;
    static std::string why;
    static bool tried = false;
    if (!tried) {
        tried = true;
        std::string route;
        if (std::getenv("VELTRUM_IN_NAMESPACE") == nullptr || !veltrum::test::OnlyLoopback(route)) {
            why = "needs the private network namespace of scripts/bench to make its interfaces";
        } else if (!veltrum::test::SnmpdAgent::Available()) {
            why = "snmpd is not installed";
        } else {
            for (int i = 1; i < kInterfaces && why.empty(); ++i) {
                const std::string name = "vwalk" + std::to_string(i);
                if (Run({"ip", "link", "add", name, "type", "ifb"}) != 0) {
                    why = "could not make interface " + name + " (ip link add ... type ifb)";
                }
            }
        }
        if (why.empty()) {
            agent = veltrum::test::SnmpdAgent::StartOrExplain(why);
        }
    }
    if (!agent) {
        state.SkipWithError(why.c_str());
    }
    return agent.get();
}

void WalkVeltrum(benchmark::State& state) {
    veltrum::test::SnmpdAgent* agent = TableAgent(state);
    if (agent == nullptr) {
        return;
    }
    veltrum::TIdSNMP snmp;
    snmp.Host = agent->HostText();
    snmp.SetCommunity(agent->Community());
    snmp.ReceiveTimeout = 1000;
    veltrum::WalkLimits limits;
    limits.MaxRepetitions = kRepetitions;
    int exchanges = 0;
    for (auto _ : state) {
        exchanges = 0;
        const std::vector<veltrum::InterfaceRow> rows =
            veltrum::WalkInterfaces(snmp, true, limits, &exchanges);
        if (rows.size() != kInterfaces) {
            const std::string why = "walk read " + std::to_string(rows.size()) + " rows";
            state.SkipWithError(why.c_str());
            break;
        }
    }
    state.counters["exchanges"] = exchanges;
}

void WalkNetSnmp(benchmark::State& state) {
    veltrum::test::SnmpdAgent* agent = TableAgent(state);
    if (agent == nullptr) {
        return;
    }
    const std::string repetitions = "-Cr" + std::to_string(kRepetitions);
    for (auto _ : state) {
        for (const char* column : kColumns) {
            if (Run({"snmpbulkwalk", "-v2c", "-c", agent->Community(), repetitions, "-m", "", "-On", "-r",
                     "0", "-t", "1", agent->HostText(), column}) != 0) {
                state.SkipWithError("snmpbulkwalk failed");
                return;
            }
        }
    }
    // Each column's walk asks until a row of the next column comes back.
    state.counters["exchanges"] = static_cast<double>(std::size(kColumns) * (kInterfaces / kRepetitions + 1));
}

BENCHMARK(WalkVeltrum)->Name("walk_interfaces_100/veltrum")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WalkNetSnmp)->Name("walk_interfaces_100/netsnmp")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
