#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "device/PseudoTerminal.h"

// The device side of a pseudo-terminal: the controller writes to the slave as to a serial port,
// and a reader thread blocked on the master stamps every frame with the steady clock the moment
// it arrives.
class FrameArrivals {
  public:
    // Bytes per frame.
    static constexpr int FrameSize = 11;

    // One frame as it arrived.
    struct Arrival {
        double time = 0;  // steady-clock seconds when the read that completed it woke up
        QByteArray frame;
    };

    FrameArrivals();
    ~FrameArrivals();
    FrameArrivals(const FrameArrivals&) = delete;
    FrameArrivals& operator=(const FrameArrivals&) = delete;

    // Opens the pair in raw mode and starts the reader, which blocks in poll() or, when spin is
    // true, reads without blocking in a tight loop; false with a reason on failure.
    bool open(bool spin, QString* error);
    // The slave's device path.
    QString slavePath() const { return m_terminal.slavePath(); }
    // Creates the link folder/com<number> to the slave; false with a reason on failure.
    bool publish(const QString& folder, int comNumber, QString* error) const;

    // Number of whole frames that have arrived and not been taken yet.
    size_t arrivedCount() const;
    // Waits up to timeoutSeconds for at least count frames; true when they are there.
    bool waitForFrames(size_t count, double timeoutSeconds) const;
    // Hands over the frames that have arrived and forgets them.
    std::vector<Arrival> takeArrivals();

  private:
    void readLoop();
    void spinLoop();
    // Files the bytes read at the given time as frames.
    void take(const char* bytes, ssize_t count, double time);
    void stopReader();

    PseudoTerminal m_terminal;  // holds the slave open so the master never sees a hang-up
    int m_stopPipe[2] = {-1, -1};
    std::thread m_reader;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<Arrival> m_arrivals;
    QByteArray m_partial;
};
