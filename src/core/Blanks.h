#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Blanks as the settings file and the light-program files count them: spaces and tabs only.
// Line ends and other white space are never trimmed, since both formats give them a meaning of
// their own.
namespace Blanks {

// Whether c is a blank (a space or a tab).
constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
constexpr bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Narrows [begin, end) of text so that it neither starts nor ends with a blank.
template <typename Text>
void trimRange(const Text& text, qsizetype& begin, qsizetype& end) {
    while (begin < end && isBlank(text.at(begin))) {
        ++begin;
    }
    while (end > begin && isBlank(text.at(end - 1))) {
        --end;
    }
}

// text without the blanks at its start and end.
template <typename Text>
Text trimmed(const Text& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    trimRange(text, begin, end);
    return text.sliced(begin, end - begin);
}

}  // namespace Blanks
