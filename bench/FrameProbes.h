#pragma once

#include <QByteArray>
#include <QString>
#include <limits>
#include <memory>
#include <vector>

#include "app/PortList.h"
#include "core/ClockPump.h"
#include "device/Wsc32.h"

// Records when each paced wait of the controller was due to end: after a wait that ran to its
// deadline, the next frame written is the one that deadline was for. Everything else is passed
// on to the real clock and event pump.
class DueRecordingClock final : public ClockPump {
  public:
    explicit DueRecordingClock(std::unique_ptr<ClockPump> inner) : m_inner(std::move(inner)) {}

    double now() override { return m_inner->now(); }
    void processEvents() override { m_inner->processEvents(); }
    void sleepMs(int milliseconds) override { m_inner->sleepMs(milliseconds); }
    void waitUntil(double deadline, const std::function<bool()>& keepWaiting) override;

    // The wait that ended just now by reaching its deadline: the deadline and when the wait
    // returned.
    struct Due {
        double deadline = std::numeric_limits<double>::quiet_NaN();
        double ended = std::numeric_limits<double>::quiet_NaN();
    };

    // The last wait if it ran to its deadline and nothing has taken it yet, else NaNs; taking
    // it clears it, so only the first frame after the wait gets it.
    Due takeDue();

  private:
    std::unique_ptr<ClockPump> m_inner;
    Due m_due;
};

// The serial library with a stopwatch: stamps every write with the steady clock as it is
// called and as it returns, and notes the due time of the wait before it, if any.
class StampingWsc32 final : public Wsc32 {
  public:
    // One call of SioPuts.
    struct Write {
        double called = 0;     // steady-clock seconds when the controller called SioPuts
        double returned = 0;   // when the call returned
        double due = 0;        // deadline of the wait that ended just before, or NaN
        double waitEnded = 0;  // when that wait returned, or NaN
        int result = 0;        // what the library returned
        QByteArray bytes;
    };

    StampingWsc32(std::unique_ptr<Wsc32> inner, DueRecordingClock& clock)
        : m_inner(std::move(inner)), m_clock(clock) {}

    int SioReset(int port, int rxQueue, int txQueue) override {
        return m_inner->SioReset(port, rxQueue, txQueue);
    }
    int SioBaud(int port, int baudCode) override { return m_inner->SioBaud(port, baudCode); }
    int SioParms(int port, int parity, int stopBits, int dataBits) override {
        return m_inner->SioParms(port, parity, stopBits, dataBits);
    }
    int SioDTR(int port, char command) override { return m_inner->SioDTR(port, command); }
    int SioRTS(int port, char command) override { return m_inner->SioRTS(port, command); }
    int SioPuts(int port, const char* bytes, int count) override;
    int SioDone(int port) override { return m_inner->SioDone(port); }
    QString SioWinError(int maxChars) override { return m_inner->SioWinError(maxChars); }

    // Every write so far.
    const std::vector<Write>& writes() const { return m_writes; }

  private:
    std::unique_ptr<Wsc32> m_inner;
    DueRecordingClock& m_clock;
    std::vector<Write> m_writes;
};

// No port listing: the benchmarks name their port directly.
class NoPorts final : public PortList {
  public:
    int32_t ListActiveCOMPorts(int32_t*) override { return -1; }
    QString describe(int) override { return {}; }
};
