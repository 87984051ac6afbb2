#include "settings/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <vector>

#include "core/Blanks.h"

namespace ProfileFile {

namespace {

// One line of the file: its text is content[begin, end), its line end content[end, next).
struct Line {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
};

enum class LineKind { Other, Section, Key };

// What a line means to the reader. For a section, name is the section name; for a key, name is
// the key name and valueBegin..valueEnd the trimmed value; equals is the position of the "=".
struct LineMeaning {
    LineKind kind = LineKind::Other;
    QByteArray name;
    qsizetype equals = 0;
    qsizetype valueBegin = 0;
    qsizetype valueEnd = 0;
};

// Position of the first c in content[begin, end), or -1. Searching only the line keeps a file of
// many lines linear to read.
qsizetype indexWithin(const QByteArray& content, char c, qsizetype begin, qsizetype end) {
    const qsizetype found = QByteArrayView(content).sliced(begin, end - begin).indexOf(c);
    return found < 0 ? -1 : begin + found;
}

// Splits content into lines at CR LF, LF and CR. A line end at the very end of the content
// does not start another (empty) line. A UTF-8 byte-order mark in front is not part of the
// first line.
std::vector<Line> splitLines(const QByteArray& content) {
    std::vector<Line> lines;
    qsizetype position = content.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const qsizetype size = content.size();
    while (position < size) {
        Line line;
        line.begin = position;
        qsizetype end = position;
        while (end < size && content.at(end) != '\r' && content.at(end) != '\n') {
            ++end;
        }
        line.end = end;
        if (end < size) {
            const bool crlf =
                content.at(end) == '\r' && end + 1 < size && content.at(end + 1) == '\n';
            line.next = end + (crlf ? 2 : 1);
        } else {
            line.next = end;
        }
        lines.push_back(line);
        position = line.next;
    }
    return lines;
}

LineMeaning interpret(const QByteArray& content, const Line& line) {
    LineMeaning meaning;
    qsizetype begin = line.begin;
    qsizetype end = line.end;
    Blanks::trimRange(content, begin, end);
    if (begin == end || content.at(begin) == ';') {
        return meaning;
    }
    if (content.at(begin) == '[') {
        const qsizetype close = indexWithin(content, ']', begin + 1, end);
        if (close < 0) {
            return meaning;
        }
        qsizetype nameBegin = begin + 1;
        qsizetype nameEnd = close;
        Blanks::trimRange(content, nameBegin, nameEnd);
        meaning.kind = LineKind::Section;
        meaning.name = content.sliced(nameBegin, nameEnd - nameBegin);
        return meaning;
    }
    const qsizetype equals = indexWithin(content, '=', begin, end);
    if (equals < 0) {
        return meaning;
    }
    qsizetype nameBegin = begin;
    qsizetype nameEnd = equals;
    Blanks::trimRange(content, nameBegin, nameEnd);
    meaning.kind = LineKind::Key;
    meaning.name = content.sliced(nameBegin, nameEnd - nameBegin);
    meaning.equals = equals;
    meaning.valueBegin = equals + 1;
    meaning.valueEnd = end;
    Blanks::trimRange(content, meaning.valueBegin, meaning.valueEnd);
    return meaning;
}

bool sameName(const QByteArray& fileName, const QString& wanted) {
    return QString::fromLatin1(fileName).compare(wanted, Qt::CaseInsensitive) == 0;
}

bool isStorableText(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() > 0xFF || c == u'\r' || c == u'\n') {
            return false;
        }
    }
    return true;
}

// Where section and key are in a file: indices into its lines, -1 when missing.
struct Location {
    qsizetype section = -1;  // the first section of that name
    qsizetype key = -1;      // the first key of that name within it
    qsizetype lastKey = -1;  // the last key of any name within it
};

Location locate(const QByteArray& content, const std::vector<Line>& lines, const QString& section,
                const QString& key, LineMeaning* keyMeaning) {
    Location location;
    const QString wantedSection = Blanks::trimmed(section);
    const QString wantedKey = Blanks::trimmed(key);
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        LineMeaning meaning = interpret(content, lines[size_t(i)]);
        if (location.section < 0) {
            if (meaning.kind == LineKind::Section && sameName(meaning.name, wantedSection)) {
                location.section = i;
            }
            continue;
        }
        if (meaning.kind == LineKind::Section) {
            break;
        }
        if (meaning.kind == LineKind::Key) {
            location.lastKey = i;
            if (location.key < 0 && sameName(meaning.name, wantedKey)) {
                location.key = i;
                if (keyMeaning != nullptr) {
                    *keyMeaning = meaning;
                }
            }
        }
    }
    return location;
}

// The line end of the first line that has one, or an empty array.
QByteArray firstLineEnd(const QByteArray& content, const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (line.next > line.end) {
            return content.sliced(line.end, line.next - line.end);
        }
    }
    return {};
}

// Inserts newLines after the given line. A line without a line end (only the last one can
// lack it) first gets lineEnd, so the new lines start on a line of their own.
QByteArray insertAfter(const QByteArray& content, const Line& line, const QByteArray& newLines,
                       const QByteArray& lineEnd) {
    QByteArray result = content;
    if (line.next == line.end) {
        result.insert(line.next, lineEnd + newLines);
    } else {
        result.insert(line.next, newLines);
    }
    return result;
}

std::optional<QByteArray> readFile(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > MaxFileSize) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError || content.size() > MaxFileSize) {
        return std::nullopt;
    }
    return content;
}

}  // namespace

QByteArray platformLineEnd() {
#ifdef Q_OS_WIN
    return QByteArrayLiteral("\r\n");
#else
    return QByteArrayLiteral("\n");
#endif
}

std::optional<QString> readValue(const QByteArray& content, const QString& section,
                                 const QString& key) {
    const std::vector<Line> lines = splitLines(content);
    LineMeaning meaning;
    if (locate(content, lines, section, key, &meaning).key < 0) {
        return std::nullopt;
    }
    qsizetype begin = meaning.valueBegin;
    qsizetype end = meaning.valueEnd;
    if (end - begin >= 2) {
        const char first = content.at(begin);
        if ((first == '"' || first == '\'') && content.at(end - 1) == first) {
            ++begin;
            --end;
        }
    }
    return QString::fromLatin1(content.sliced(begin, end - begin));
}

bool canStore(const QString& section, const QString& key, const QString& value) {
    if (!isStorableText(section) || !isStorableText(key) || !isStorableText(value)) {
        return false;
    }
    if (section.contains(u']') || key.contains(u'=')) {
        return false;
    }
    const QString name = Blanks::trimmed(key);
    return !name.startsWith(u';') && !name.startsWith(u'[');
}

QByteArray writeValue(const QByteArray& content, const QString& section, const QString& key,
                      const QString& value, const QByteArray& newFileLineEnd) {
    if (!canStore(section, key, value)) {
        return content;
    }
    const std::vector<Line> lines = splitLines(content);
    QByteArray lineEnd = firstLineEnd(content, lines);
    if (lineEnd.isEmpty()) {
        lineEnd = newFileLineEnd;
    }
    const QByteArray valueBytes = value.toLatin1();
    const QByteArray keyLine = Blanks::trimmed(key).toLatin1() + '=' + valueBytes;

    LineMeaning keyMeaning;
    const Location location = locate(content, lines, section, key, &keyMeaning);
    if (location.key >= 0) {
        const Line& line = lines[size_t(location.key)];
        QByteArray result = content;
        result.replace(keyMeaning.equals + 1, line.end - (keyMeaning.equals + 1), valueBytes);
        return result;
    }
    if (location.section >= 0) {
        const Line& after =
            lines[size_t(location.lastKey >= 0 ? location.lastKey : location.section)];
        const QByteArray ownEnd =
            after.next > after.end ? content.sliced(after.end, after.next - after.end) : lineEnd;
        return insertAfter(content, after, keyLine + ownEnd, lineEnd);
    }
    const QByteArray sectionLine = '[' + Blanks::trimmed(section).toLatin1() + ']';
    if (lines.empty()) {
        return content + sectionLine + lineEnd + keyLine + lineEnd;
    }
    const Line& last = lines.back();
    const QByteArray ownEnd =
        last.next > last.end ? content.sliced(last.end, last.next - last.end) : lineEnd;
    return insertAfter(content, last, sectionLine + ownEnd + keyLine + ownEnd, lineEnd);
}

QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, const QString& path) {
    std::optional<QString> value;
    if (const std::optional<QByteArray> content = readFile(path)) {
        value = readValue(*content, section, key);
    }
    if (value) {
        return value->left(MaxValueLength);
    }
    // The default comes back without trailing blanks, as the platform's profile reader gives it.
    qsizetype end = defaultValue.size();
    while (end > 0 && defaultValue.at(end - 1) == u' ') {
        --end;
    }
    return defaultValue.left(std::min<qsizetype>(end, MaxValueLength));
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path) {
    if (path.isEmpty() || !canStore(section, key, value)) {
        return false;
    }
    QByteArray content;
    if (QFileInfo::exists(path)) {
        // A file that cannot be read as settings is left alone rather than replaced.
        const std::optional<QByteArray> existing = readFile(path);
        if (!existing) {
            return false;
        }
        content = *existing;
    }
    const QByteArray updated = writeValue(content, section, key, value, platformLineEnd());
    if (updated == content && QFileInfo::exists(path)) {
        return true;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    // A settings file fits the write buffer, so a failing write (a full disk) only shows when
    // the buffer is flushed; commit() flushes too but renames the cut-short file over the old
    // one all the same. Flushing first catches it while the old file is still in place.
    if (file.write(updated) != updated.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace ProfileFile
