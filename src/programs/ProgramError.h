#pragma once

#include <QString>
#include <stdexcept>

// A failure that ends a light-program run: what went wrong and the file line it belongs to
// (0 when it belongs to no line, such as a file that cannot be opened).
class ProgramError : public std::runtime_error {
  public:
    ProgramError(int line, const QString& reason)
        : std::runtime_error(reason.toStdString()), m_line(line), m_reason(reason) {}

    // The line of the program file, counting from 1; 0 for none.
    int line() const { return m_line; }
    // The reason, without the line.
    const QString& reason() const { return m_reason; }
    // The message the user sees, such as "Line 4: the start frequency is 0".
    QString message() const {
        return m_line > 0 ? QStringLiteral("Line %1: %2").arg(m_line).arg(m_reason) : m_reason;
    }
    // The same failure with the line filled in when it had none.
    ProgramError atLine(int line) const { return {m_line > 0 ? m_line : line, m_reason}; }

  private:
    int m_line;
    QString m_reason;
};
