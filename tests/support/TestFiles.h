#pragma once

#include <QByteArray>
#include <QString>

// The bytes of the file at path, or nothing when it cannot be read.
QByteArray fileBytes(const QString& path);

// Writes bytes as the whole file at path; fails the running test when it cannot.
void putFile(const QString& path, const QByteArray& bytes);
