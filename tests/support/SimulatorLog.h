#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The vantorb-sim program for the tests that play into it, and its frame log as they read it.

// vantorb-sim --headless on COM comNumber, logging every frame to logPath.
class HeadlessSimulator {
  public:
    HeadlessSimulator(const QString& binFolder, int comNumber, const QString& logPath);
    // Ends it, as stop() does, when it still runs.
    ~HeadlessSimulator();
    HeadlessSimulator(const HeadlessSimulator&) = delete;
    HeadlessSimulator& operator=(const HeadlessSimulator&) = delete;

    // Starts it and waits, up to timeoutMs, for its banner: its COM link is then in place.
    bool start(int timeoutMs);
    // Ends it with SIGTERM (killing it after timeoutMs) and tells whether it ended by itself
    // with status 0, which in the sanitizer build also means that no leak or error was found.
    bool stop(int timeoutMs);

  private:
    QString m_program;
    QStringList m_arguments;
    QProcess m_process;
};

// How the log writes MarkerFrame.
inline const QString MarkerLogText = QStringLiteral("STX EE 5A5A5A");

// The log's entries at path without their time stamps ("SOH 00 FF0000", "BAD 3 bytes: ...").
QStringList simulatorLogEntries(const QString& path);

// Sends MarkerFrame to the simulator on COM comNumber and waits, up to timeoutMs, until its log
// at path holds it. Returns the entries up to and including the marker, or all there are when
// the marker cannot be sent or does not come.
QStringList simulatorLogThroughMarker(int comNumber, const QString& path, int timeoutMs);
