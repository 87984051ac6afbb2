// Profile files: any bytes are a settings file someone edited by hand. Reading any name never
// crashes; a write that canStore accepts is read back, changes no other key, touches no other
// byte, and a second identical write changes nothing. Any broken promise aborts.
#include <QByteArray>
#include <QList>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "core/Blanks.h"
#include "settings/ProfileFile.h"

namespace {

struct Name {
    QString section;
    QString key;
};

// Names match after trimming blanks and tabs, without regard to case.
bool sameName(const QString& a, const QString& b) {
    return Blanks::trimmed(a).compare(Blanks::trimmed(b), Qt::CaseInsensitive) == 0;
}

bool sameKey(const Name& a, const Name& b) {
    return sameName(a.section, b.section) && sameName(a.key, b.key);
}

// What a read returns for a stored value: blanks and tabs around it go, then one pair of
// matching double or single quotes.
QString asRead(const QString& stored) {
    QString value = Blanks::trimmed(stored);
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        value = value.sliced(1, value.size() - 2);
    }
    return value;
}

QList<QByteArray> rawLines(const QByteArray& content) {
    QList<QByteArray> lines;
    qsizetype begin = 0;
    for (qsizetype i = 0; i <= content.size(); ++i) {
        if (i == content.size() || content.at(i) == '\r' || content.at(i) == '\n') {
            lines.append(content.sliced(begin, i - begin));
            begin = i + 1;
        }
    }
    return lines;
}

// Section and key names taken loosely from the file's own lines (text between "[" and "]",
// text before "="), each key paired with the section named last, plus a few fixed names and
// variants that differ in case and blanks. Loose on purpose: every name is only a question
// put to the reader, so it need not be what the reader itself sees.
QList<Name> namesFrom(const QList<QByteArray>& lines) {
    constexpr qsizetype MaxDerived = 16;
    QList<Name> names{{QStringLiteral("Vantorb"), QStringLiteral("FlashRate")},
                      {QStringLiteral("communications"), QStringLiteral("VantorbComPort")},
                      {QStringLiteral(" VANTORB\t"), QStringLiteral("flashrate ")},
                      {QString(), QString()},
                      {QStringLiteral("New Section"), QStringLiteral("New Key")}};
    QString section;
    for (const QByteArray& line : lines) {
        if (names.size() >= MaxDerived) {
            break;
        }
        const qsizetype open = line.indexOf('[');
        const qsizetype close = line.indexOf(']', open + 1);
        if (open >= 0 && close > open) {
            section = QString::fromLatin1(line.sliced(open + 1, close - open - 1));
            names.append({section, QStringLiteral("Absent")});
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals >= 0) {
            const QString key = QString::fromLatin1(line.first(equals));
            names.append({section, key});
            names.append({QLatin1Char('\t') + section.toUpper(), key.toLower() + QLatin1Char(' ')});
            names.append({section, key + QStringLiteral("_new")});
        }
    }
    return names;
}

[[noreturn]] void fail() {
    std::abort();
}

// Checks one write of value under name into content against every name's reading before.
void checkWrite(const QByteArray& content, const QList<Name>& names,
                const QList<std::optional<QString>>& before, const Name& name,
                const QString& value) {
    const QByteArray updated =
        ProfileFile::writeValue(content, name.section, name.key, value, QByteArrayLiteral("\n"));
    if (!ProfileFile::canStore(name.section, name.key, value)) {
        if (updated != content) {
            fail();
        }
        return;
    }
    if (ProfileFile::readValue(updated, name.section, name.key) != asRead(value)) {
        fail();
    }
    for (qsizetype i = 0; i < names.size(); ++i) {
        const std::optional<QString> after =
            ProfileFile::readValue(updated, names[i].section, names[i].key);
        const std::optional<QString> expected =
            sameKey(names[i], name) ? std::optional<QString>(asRead(value)) : before[i];
        if (after != expected) {
            fail();
        }
    }
    // Rewriting the same value finds the key in place and changes nothing.
    if (ProfileFile::writeValue(updated, name.section, name.key, value, "\n") != updated) {
        fail();
    }
    // One contiguous edit, and what it removed (an old value at most) holds no line end, so
    // every other line is still there byte for byte.
    const qsizetype shorter = std::min(content.size(), updated.size());
    qsizetype prefix = 0;
    while (prefix < shorter && content.at(prefix) == updated.at(prefix)) {
        ++prefix;
    }
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           content.at(content.size() - 1 - suffix) == updated.at(updated.size() - 1 - suffix)) {
        ++suffix;
    }
    const QByteArray removed = content.sliced(prefix, content.size() - prefix - suffix);
    if (removed.contains('\r') || removed.contains('\n')) {
        fail();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> lines = rawLines(content);
    const QList<Name> names = namesFrom(lines);

    QList<std::optional<QString>> before;
    for (const Name& name : names) {
        before.append(ProfileFile::readValue(content, name.section, name.key));
    }

    // Two writes per input, picked by a hash of it so that mutations reach every name: one
    // with a line of the file as its value (blanks, quotes, "=" and ";" included), one with a
    // plain value. Few writes per input keep the runs fast.
    quint32 hash = 2166136261u;
    for (const char c : content) {
        hash = (hash ^ quint8(c)) * 16777619u;
    }
    const QString lineValue = QString::fromLatin1(lines[qsizetype((hash >> 20) % lines.size())]);
    checkWrite(content, names, before, names[qsizetype(hash % names.size())], lineValue);
    checkWrite(content, names, before, names[qsizetype((hash >> 10) % names.size())],
               QStringLiteral(" 10"));
    return 0;
}
