#include "Command.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QRegularExpression>
#include <QTextStream>

namespace Command {

Parser::Parser(const char* usage, QTextStream& out, QTextStream& err)
    : m_help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Print the help.")),
      m_usage(usage),
      m_out(out),
      m_err(err) {
    m_parser.addOption(m_help);
}

std::optional<int> Parser::parse(const QStringList& arguments) {
    // The parser takes the first argument for the program's name.
    const bool parsed = m_parser.parse(QStringList{QStringLiteral("orlesse-program")} + arguments);
    // The help wins over any error, as it always has.
    if (m_parser.isSet(m_help)) {
        m_out << m_usage;
        m_out.flush();
        return 0;
    }
    if (!parsed) {
        return usageError(m_parser.errorText());
    }
    return std::nullopt;
}

int Parser::usageError(const QString& text) const {
    m_err << "orlesse-program: " << text << "\n\n" << m_usage;
    m_err.flush();
    return ExitUsage;
}

int Parser::fail(const QString& text, int status) const {
    m_err << "orlesse-program: " << text << Qt::endl;
    return status;
}

std::optional<QString> Parser::onePositional() const {
    const QStringList arguments = positional();
    if (arguments.size() > 1) {
        usageError(QStringLiteral("unexpected argument %1").arg(arguments[1]));
        return std::nullopt;
    }
    return arguments.value(0);
}

std::optional<QSize> Parser::imageSize(const QCommandLineOption& option) const {
    if (!isSet(option)) {
        return QSize(1200, 600);
    }
    const std::optional<QSize> size = parseSize(value(option));
    if (!size) {
        usageError(QStringLiteral("--size needs WIDTHxHEIGHT, 200x150 to 10000x10000"));
    }
    return size;
}

std::optional<QSize> parseSize(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const QSize size(match.captured(1).toInt(), match.captured(2).toInt());
    if (size.width() < 200 || size.height() < 150 || size.width() > 10000 ||
        size.height() > 10000) {
        return std::nullopt;
    }
    return size;
}

bool writableImage(const QString& path) {
    return QImageWriter::supportedImageFormats().contains(
        QFileInfo(path).suffix().toLower().toLatin1());
}

QString imageKindError(const QString& path) {
    return QStringLiteral("cannot write images of the kind \"%1\"; use .png").arg(path);
}

}  // namespace Command
