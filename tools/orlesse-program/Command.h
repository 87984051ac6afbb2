#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

class QTextStream;

// What every command of orlesse-program shares: the parse of its arguments with its own
// usage text, and the checks of values two commands take alike.
namespace Command {

// The exit status of a usage error, a file that cannot be read or an image that cannot be
// written.
inline constexpr int ExitUsage = 2;

// The options of one command, parsed with QCommandLineParser. -h and --help print the
// command's usage text, which says more than the parser's generated help could.
class Parser {
  public:
    // usage: the command's help text; out and err: where help and errors go.
    Parser(const char* usage, QTextStream& out, QTextStream& err);

    // Adds an option the command takes.
    void add(const QCommandLineOption& option) { m_parser.addOption(option); }

    // Parses the command's arguments (those after its name). Returns the exit status when the
    // command ends here, 0 after the help (asked for anywhere among the arguments) and
    // ExitUsage after an option the parser refuses; nothing when the command goes on.
    std::optional<int> parse(const QStringList& arguments);

    bool isSet(const QCommandLineOption& option) const { return m_parser.isSet(option); }
    QString value(const QCommandLineOption& option) const { return m_parser.value(option); }
    // The arguments that are no option, in order.
    QStringList positional() const { return m_parser.positionalArguments(); }
    // The one argument that is no option, empty when there is none; a second one is reported as
    // a usage error, and then nothing is returned.
    std::optional<QString> onePositional() const;
    // The image size a --size option asks for, 1200x600 when it is not given; a value that is
    // not WIDTHxHEIGHT in range is reported as a usage error, and then nothing is returned.
    std::optional<QSize> imageSize(const QCommandLineOption& option) const;

    // Reports a usage error ("orlesse-program: text", then the usage) and returns ExitUsage.
    int usageError(const QString& text) const;
    // Reports what keeps the command from working ("orlesse-program: text") and returns status.
    int fail(const QString& text, int status = ExitUsage) const;

  private:
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    const char* m_usage;
    QTextStream& m_out;
    QTextStream& m_err;
};

// A --size value, WIDTHxHEIGHT from 200x150 to 10000x10000; nothing for any other text.
std::optional<QSize> parseSize(const QString& text);

// Whether images of the kind the name's suffix says can be written.
bool writableImage(const QString& path);
// The message for an image name of a kind that cannot be written.
QString imageKindError(const QString& path);

}  // namespace Command

// The commands, each given its arguments after the command's name; each returns the exit
// status.
int checkCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
int plotCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
int playCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
int reportCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
int bidsCommand(const QStringList& arguments, QTextStream& out, QTextStream& err);
