#pragma once

#include <QByteArray>
#include <QFutureWatcher>
#include <QObject>
#include <optional>

#include "analysis/ProgramCheck.h"

// What the editor shows of a program: the check's findings and the run on the simulated clock
// that the plot draws, both worked out by the same code as `orlesse-program check` and `plot`.
struct ProgramAnalysis {
    QByteArray bytes;    // the file the analysis is of
    CheckReport report;  // the check's findings
    ProgramTrace trace;  // the run as the window plays it
    double seconds = 0;  // how long the work took, wall-clock
};

// Works out analyses away from the window's thread, so that a long program does not hold up
// typing. One runs at a time; a request made meanwhile waits, and only the newest waiting one
// is worked out.
class Analysis final : public QObject {
    Q_OBJECT

  public:
    explicit Analysis(QObject* parent = nullptr);
    ~Analysis() override;

    // Works out the program in bytes (later than any request before it).
    void request(const QByteArray& bytes);
    // Whether a request is being worked out or waiting.
    bool busy() const { return m_running || m_waiting.has_value(); }
    // The newest analysis finished, if any.
    const std::optional<ProgramAnalysis>& latest() const { return m_latest; }

    // The analysis of bytes, worked out on the calling thread.
    static ProgramAnalysis analyse(const QByteArray& bytes);

  signals:
    // A new analysis is in latest().
    void finished();

  private:
    void start(const QByteArray& bytes);

    QFutureWatcher<ProgramAnalysis> m_watcher;
    bool m_running = false;
    std::optional<QByteArray> m_waiting;
    std::optional<ProgramAnalysis> m_latest;
};
