#include "CommandLine.h"

#include "Platform/BundleInfo.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

// Qt names the program only when an application object exists; ours does not exist yet.
QString usage(const QCommandLineParser& parser, const QStringList& arguments) {
    const QString program = QFileInfo(arguments.value(0, QStringLiteral("tamber"))).fileName();
    return parser.helpText().replace(QStringLiteral("<executable_name>"), program);
}

} // namespace

CommandLine::Outcome CommandLine::parse(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("%1: Velora meetings from the system tray.").arg(BundleInfo::appName()));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print these options and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the version and exit."));
    const QCommandLineOption joinNext(
        QStringLiteral("join-next"),
        QStringLiteral("Ask the running copy to join the meeting that runs or starts within the "
                       "next hour; exits 1 with the reason when there is none."));
    parser.addOptions({help, version, joinNext});

    Outcome outcome;
    if (!parser.parse(arguments)) {
        outcome.exitCode = 2;
        outcome.standardError =
            parser.errorText() + QLatin1String("\n\n") + usage(parser, arguments);
        return outcome;
    }
    if (!parser.positionalArguments().isEmpty()) {
        outcome.exitCode = 2;
        outcome.standardError = QStringLiteral("Unexpected argument '%1'.\n\n")
                                    .arg(parser.positionalArguments().first()) +
                                usage(parser, arguments);
        return outcome;
    }
    if (parser.isSet(help)) {
        outcome.exitCode = 0;
        outcome.standardOutput = usage(parser, arguments);
    } else if (parser.isSet(version)) {
        outcome.exitCode = 0;
        outcome.standardOutput =
            QStringLiteral("%1 %2\n").arg(BundleInfo::appName(), BundleInfo::version());
    } else {
        outcome.joinNext = parser.isSet(joinNext);
    }
    return outcome;
}

QStringList CommandLine::fromArgv(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}
