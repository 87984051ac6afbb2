#include "Analysis.h"

#include <QElapsedTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

Analysis::Analysis(QObject* parent) : QObject(parent) {
    connect(&m_watcher, &QFutureWatcher<ProgramAnalysis>::finished, this, [this] {
        m_running = false;
        m_latest = m_watcher.result();
        if (m_waiting) {
            const QByteArray next = *m_waiting;
            m_waiting.reset();
            start(next);
        }
        emit finished();
    });
}

Analysis::~Analysis() {
    // The work holds nothing of this object; waiting here keeps it from outliving the program.
    m_watcher.waitForFinished();
}

void Analysis::request(const QByteArray& bytes) {
    if (m_running) {
        m_waiting = bytes;
        return;
    }
    start(bytes);
}

void Analysis::start(const QByteArray& bytes) {
    m_running = true;
    m_watcher.setFuture(QtConcurrent::run(&Analysis::analyse, bytes));
}

ProgramAnalysis Analysis::analyse(const QByteArray& bytes) {
    QElapsedTimer timer;
    timer.start();
    ProgramAnalysis analysis;
    analysis.bytes = bytes;
    CheckedProgram checked = analyseProgram(bytes);
    analysis.report = std::move(checked.report);
    analysis.trace = std::move(checked.trace);
    analysis.seconds = timer.nsecsElapsed() / 1e9;
    return analysis;
}
