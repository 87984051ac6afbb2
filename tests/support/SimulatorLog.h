#pragma once

#include <QString>
#include <QStringList>

// The vantorb-sim frame log as the tests read it.

// How the log writes MarkerFrame.
inline const QString MarkerLogText = QStringLiteral("STX EE 5A5A5A");

// The log's entries at path without their time stamps ("SOH 00 FF0000", "BAD 3 bytes: ...").
QStringList simulatorLogEntries(const QString& path);

// Sends MarkerFrame to the simulator on COM comNumber and waits, up to timeoutMs, until its log
// at path holds it. Returns the entries up to and including the marker, or all there are when
// the marker cannot be sent or does not come.
QStringList simulatorLogThroughMarker(int comNumber, const QString& path, int timeoutMs);
