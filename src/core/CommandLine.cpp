#include "core/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <algorithm>

#include "core/BuildInfo.h"

namespace CommandLine {

void nameApplication(const QString& applicationName) {
    QCoreApplication::setOrganizationName(QStringLiteral("Corvexa"));
    QCoreApplication::setApplicationName(applicationName);
    QCoreApplication::setApplicationVersion(QLatin1String(OrlesseVersion));
}

bool answerHelpOrVersion(QCommandLineParser& parser, int argc, char* argv[]) {
    if (!asksForHelpOrVersion(parser, argc, argv)) {
        return false;
    }
    const QCoreApplication textOnly(argc, argv);
    parser.process(textOnly);
    return true;
}

bool asksForHelpOrVersion(QCommandLineParser& parser, int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    // Errors are reported when the application processes the arguments again.
    parser.parse(arguments);
    // The names of the built-in options as they were found, by any of their spellings.
    static const QStringList TextOptions = {QStringLiteral("h"),    QStringLiteral("?"),
                                            QStringLiteral("help"), QStringLiteral("help-all"),
                                            QStringLiteral("v"),    QStringLiteral("version")};
    const QStringList found = parser.optionNames();
    return std::any_of(found.begin(), found.end(),
                       [](const QString& name) { return TextOptions.contains(name); });
}

}  // namespace CommandLine
