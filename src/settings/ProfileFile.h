#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Profile ("INI") files, read and written the way the Windows profile functions do, so a
// settings file carried between machines means the same on each. The text functions work on a
// file's bytes; the file functions add reading, and saving through a temporary file that is
// renamed over the old one, so a crash never leaves a half-written file.
//
// Reading rules. Bytes are single-byte text (Latin-1); a UTF-8 byte-order mark at the start is
// skipped. Lines end in CR LF, LF or CR. A line whose first non-blank character is "[" and that
// holds a "]" starts a section named by the text between them; a line whose first non-blank
// character is ";" is a comment; any other line holding "=" is a key, named by the text before
// the first "=" and valued by the text after it. Blanks and tabs around names and values are
// not part of them, and a value wrapped in one matching pair of double or single quotes loses
// that pair. Section and key names match without regard to case (the names asked for are
// trimmed too). The first matching section, and within it the first matching key, wins; keys of
// a later section of the same name are never seen.
namespace ProfileFile {

// Longest value text a read from a file returns.
inline constexpr int MaxValueLength = 254;

// Largest settings file that is read; anything bigger is not a settings file.
inline constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

// The line end of a file created on this platform.
QByteArray platformLineEnd();

// The value of key in section, or nothing when the section or key is missing. The value is
// returned whole; only the file function cuts it to MaxValueLength.
std::optional<QString> readValue(const QByteArray& content, const QString& section,
                                 const QString& key);

// True when writeValue can store value under key in section so that readValue finds it again:
// all three are Latin-1 text without line breaks, the section holds no "]", and the key holds
// no "=" and does not start with ";" or "[" (after trimming).
bool canStore(const QString& section, const QString& key, const QString& value);

// The file's bytes with key in section set to value. An existing key is rewritten in its place
// (the file's spelling of the name and everything up to the "=" stay); a new key goes after the
// last key of its section, a new section at the end. All other bytes stay as they were. New
// lines take the line end of their neighbour, else the file's first line end, else
// newFileLineEnd. The value is stored as passed, so surrounding blanks or quotes are lost again
// when it is read. When canStore is false the content comes back unchanged.
QByteArray writeValue(const QByteArray& content, const QString& section, const QString& key,
                      const QString& value, const QByteArray& newFileLineEnd);

// Reads key from the file at path; returns defaultValue, less its trailing blanks, when the file,
// section or key is missing, or the path is not a readable regular file. At most MaxValueLength
// characters.
QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, const QString& path);

// Stores value under key in the file at path, creating what is missing. Returns false when the
// file could not be written or canStore is false; the old file is then left as it was.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path);

}  // namespace ProfileFile
