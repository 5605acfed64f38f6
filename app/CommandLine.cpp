#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace veltrum {

namespace {

QString description(const ProgramFolders& folders) {
    const QString config = QString::fromStdString(folders.Config);
    const QString pictures = QString::fromStdString(folders.Pictures);
    return QStringLiteral(
               "A small bandwidth monitor. Once a second it asks the SNMP agent named in the current\n"
               "profile (usually your router) for the counters of one interface and shows the rates.\n"
               "\n"
               "Settings (app.ini, profiles): %1\n"
               "Chart bitmaps (Save as BMP):  %2\n"
               "\n"
               "On a Wayland session the program runs through XWayland, where it can stay on top and\n"
               "keep its position. Set QT_QPA_PLATFORM (for example QT_QPA_PLATFORM=wayland) to\n"
               "choose another Qt platform.")
        .arg(config, pictures);
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
                       "is unless you load or save a profile from the menu."),
        QStringLiteral("file"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(profile);

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
        if (values.size() > 1) {
            return fail(QStringLiteral("Only one --profile may be given."), arguments);
        }
        // A profile holds the agent's community: starting on a mistyped name
        // would quietly create a new one, so only an existing file is taken.
        const QFileInfo file(values.front());
        if (!file.exists()) {
            return fail(QStringLiteral("No such profile file: %1").arg(values.front()), arguments);
        }
        if (!file.isFile()) {
            return fail(QStringLiteral("Not a profile file: %1").arg(values.front()), arguments);
        }
        if (!file.isReadable()) {
            return fail(QStringLiteral("Cannot read the profile file: %1").arg(values.front()), arguments);
        }
        options.Profile = file.absoluteFilePath().toStdString();
    }
    return options;
}

} // namespace veltrum
