#include "app/CommandLine.h"

#include "app/Routers.h"
#include "core/Quota.h"
#include "core/SettingsTable.h"
#include "core/StartupLoad.h"
#include "settings/ProfileFiles.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <ctime>

namespace veltrum {

namespace {

QString description(const ProgramFolders& folders) {
    const QString config = QString::fromStdString(folders.Config);
    const QString pictures = QString::fromStdString(folders.Pictures);
    const QString history = QString::fromStdString(folders.Data + kUsageFileName);
    return QStringLiteral(
               "A small bandwidth monitor. Once a second it asks the SNMP agent named in the current\n"
               "profile (usually your router) for the counters of one interface and shows the rates.\n"
               "\n"
               "Settings (app.ini, profiles): %1\n"
               "Chart bitmaps (Save as BMP):  %2\n"
               "Usage history:                %3\n"
               "\n"
               "On a Wayland session the program runs through XWayland, where it can stay on top and\n"
               "keep its position. Set QT_QPA_PLATFORM (for example QT_QPA_PLATFORM=wayland) to\n"
               "choose another Qt platform.")
        .arg(config, pictures, history);
}

QString usageHint(const QStringList& arguments) {
    const QString name =
        arguments.isEmpty() ? QStringLiteral("veltrum") : QFileInfo(arguments.front()).fileName();
    return QStringLiteral("Try '%1 --help' for more information.\n").arg(name);
}

StartOptions fail(const QString& message, const QStringList& arguments) {
    StartOptions options;
    options.What = StartOptions::Action::Fail;
    options.Text = QCoreApplication::applicationName().toLower() + QStringLiteral(": ") + message +
                   QLatin1Char('\n') + usageHint(arguments);
    return options;
}

} // namespace

StartOptions ParseCommandLine(const QStringList& arguments, const ProgramFolders& folders) {
    QCommandLineParser parser;
    parser.setApplicationDescription(description(folders));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the program's name and version and exit."));
    const QCommandLineOption profile(
        QStringLiteral("profile"),
        QStringLiteral("Start with this profile instead of the one app.ini names. app.ini is left as it "
                       "is unless you load or save a profile from the menu. Given more than once, each "
                       "profile's router is watched in its own windows."),
        QStringLiteral("file"));
    const QCommandLineOption usage(
        QStringLiteral("usage"),
        QStringLiteral(
            "Print how much the profile's interface carried today, yesterday, in this and the last "
            "billing period, by day and by period, then exit. Needs no display."));
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral("With --usage: print one JSON object (with --all, an array)."));
    const QCommandLineOption all(
        QStringLiteral("all"), QStringLiteral("With --usage: every interface the history holds, not only the "
                                              "profile's."));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("With --usage: print CSV (RFC 4180) with a header line."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(profile);
    parser.addOption(usage);
    parser.addOption(json);
    parser.addOption(csv);
    parser.addOption(all);

    if (!parser.parse(arguments)) {
        return fail(parser.errorText(), arguments);
    }
    StartOptions options;
    if (parser.isSet(help)) {
        options.What = StartOptions::Action::Help;
        options.Text = parser.helpText();
        return options;
    }
    if (parser.isSet(version)) {
        options.What = StartOptions::Action::Version;
        options.Text = QCoreApplication::applicationName() + QLatin1Char(' ') +
                       QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().front()),
                    arguments);
    }
    if (parser.isSet(profile)) {
        const QStringList values = parser.values(profile);
        if (values.size() > 1 && parser.isSet(usage)) {
            return fail(QStringLiteral("Only one --profile may be given with --usage."), arguments);
        }
        for (const QString& value : values) {
            // A profile holds the agent's community: starting on a mistyped
            // name would quietly create a new one, so only an existing file
            // is taken.
            const QFileInfo file(value);
            if (!file.exists()) {
                return fail(QStringLiteral("No such profile file: %1").arg(value), arguments);
            }
            if (!file.isFile()) {
                return fail(QStringLiteral("Not a profile file: %1").arg(value), arguments);
            }
            if (!file.isReadable()) {
                return fail(QStringLiteral("Cannot read the profile file: %1").arg(value), arguments);
            }
            options.Profiles.push_back(file.absoluteFilePath().toStdString());
        }
        options.Profile = options.Profiles.front();
    }
    if ((parser.isSet(json) || parser.isSet(csv)) && !parser.isSet(usage)) {
        return fail(QStringLiteral("--json and --csv go with --usage."), arguments);
    }
    if (parser.isSet(all) && !parser.isSet(usage)) {
        return fail(QStringLiteral("--all goes with --usage."), arguments);
    }
    if (parser.isSet(json) && parser.isSet(csv)) {
        return fail(QStringLiteral("Give --json or --csv, not both."), arguments);
    }
    if (parser.isSet(usage)) {
        options.What = StartOptions::Action::Usage;
        options.All = parser.isSet(all);
        options.Format = parser.isSet(json)  ? UsageFormat::Json
                         : parser.isSet(csv) ? UsageFormat::Csv
                                             : UsageFormat::Text;
    }
    return options;
}

namespace {

// The quota of the interface `row`: that of the first profile that polls it
// (the current one, then those app.ini remembers open); none otherwise, on
// the current profile's billing day.
QuotaSettings quotaOf(const UsageInterface& row, const std::vector<MonitorState>& profiles) {
    for (const MonitorState& profile : profiles) {
        if (profile.AgentHost == row.Agent && profile.InterfaceNumber == row.Number &&
            ProfileNamesAgent(profile.ProfilePath)) {
            return QuotaOf(profile);
        }
    }
    return QuotaSettings{.BillingDay = QuotaOf(profiles.front()).BillingDay};
}

// `--usage --all`: each interface of the history, in the order first seen;
// JSON makes an array of the objects `--usage --json` prints, CSV one table
// under one header.
int runUsageOfAll(const StartOptions& options, const ProgramFolders& folders,
                  const std::vector<MonitorState>& profiles) {
    UsageStore store(folders.Data + kUsageFileName, StoreMode::Read);
    if (store.State() == StoreState::Newer || store.State() == StoreState::Unavailable) {
        std::fprintf(stderr, "veltrum: cannot show the usage: %s\n", store.Reason().c_str());
        return 1;
    }
    const bool json = options.Format == UsageFormat::Json;
    const bool csv = options.Format == UsageFormat::Csv;
    std::string out = json ? "[" : "";
    try {
        const int64_t now = static_cast<int64_t>(std::time(nullptr));
        const std::vector<UsageInterface> rows =
            store.State() == StoreState::Ready ? store.Interfaces() : std::vector<UsageInterface>{};
        for (size_t i = 0; i < rows.size(); ++i) {
            const UsageIdentity who{rows[i].Agent, rows[i].Number, rows[i].Description};
            const UsageFigures figures = QueryFigures(store, rows[i].Id, now, quotaOf(rows[i], profiles));
            std::string one = json  ? UsageJson(who, figures)
                              : csv ? UsageCsv(who, figures)
                                    : UsageText(who, figures);
            while (json && !one.empty() && one.back() == '\n') {
                one.pop_back();
            }
            if (csv && i > 0) {
                one.erase(0, one.find("\r\n") + 2); // the header once
            }
            out += (i == 0 || csv ? "" : json ? "," : "\n") + one;
        }
    } catch (const EUsageStore& error) {
        std::fprintf(stderr, "veltrum: cannot read the usage history: %s\n", error.what());
        return 1;
    }
    if (json) {
        out += "]\n";
    } else if (out.empty() && !csv) {
        out = "No usage has been recorded yet.\n";
    }
    std::fputs(out.c_str(), stdout);
    return 0;
}

} // namespace

int RunUsageCommand(const StartOptions& options, const ProgramFolders& folders) {
    MonitorState state;
    LoadMonitorState(state, folders.Config, 1024, 768, options.Profile);
    if (options.All) {
        // Every interface the history holds, whichever profile recorded it,
        // each with the quota of a profile that polls it.
        std::vector<MonitorState> profiles{state};
        for (const std::string& path : RememberedProfiles(folders.Config)) {
            profiles.emplace_back();
            LoadMonitorState(profiles.back(), folders.Config, 1024, 768, path);
        }
        return runUsageOfAll(options, folders, profiles);
    }
    if (!ProfileNamesAgent(state.ProfilePath)) {
        // The first start's default agent is never recorded: naming it
        // would send the user looking for a router they never entered.
        const std::string none = "No router is set in the profile yet: nothing is recorded until one is.\n";
        std::fputs(none.c_str(), options.Format == UsageFormat::Text ? stdout : stderr);
        return 0;
    }
    const UsageAnswer answer = AnswerUsage(
        folders.Data + kUsageFileName, {state.AgentHost, state.InterfaceNumber, state.InterfaceDescription},
        QuotaOf(state), options.Format, static_cast<int64_t>(std::time(nullptr)));
    std::fputs(answer.Out.c_str(), stdout);
    std::fputs(answer.Err.c_str(), stderr);
    return answer.ExitStatus;
}

} // namespace veltrum
