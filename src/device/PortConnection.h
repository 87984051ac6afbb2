#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "device/Frames.h"
#include "device/PortRecord.h"

class ClockPump;
class Wsc32;
class WindowServices;
struct Settings;

// The device link: writes frames, opens the COM port named by the settings, and reports
// opening failures. The port is opened on demand and closed by the operations that stop the
// device; PortOpen in its record is the record of it.
class PortConnection {
  public:
    // One frame handed to the serial library, with the clock read around the call.
    struct FrameWrite {
        double called = 0;      // clock just before SioPuts
        double returned = 0;    // clock just after it returned
        int result = 0;         // what SioPuts returned (the bytes queued, or a negative code)
        QStringView frameText;  // the frame as written; valid only during the call
    };

    PortConnection(PortRecord& state, const Settings& settings, Wsc32& serial,
                   WindowServices& window);

    // The frame writer: stores the text in FrameText, writes its 11 bytes with SioPuts and
    // keeps the code in LastResult. The code is not examined, and PortOpen is not looked at.
    void writeFrame(const QString& frameText);

    // Builds a frame and writes it with the frame writer.
    void sendFrame(Frames::Lead lead, const QString& address, const QString& colour);

    // Sends the whole device a colour: address WhiteCode, but "00" for black ("000000"
    // exactly), so black never lights the white LEDs.
    void SendToVantorb(const QString& sHexValue);

    // Opens and configures the port named by ComPortNumber and darkens the device. Success
    // sets PortOpen; a failure of SioReset or SioRTS closes the port again, shows its message
    // and clears PortOpen. The dark frame is the first frame a newly opened port gets.
    void OpenPort();

    // SioDone(PortIndex) with the code kept in LastResult. PortOpen is left to the caller.
    void closePort();

    // Shows SerialErrorText(code) in a message box and returns when it is closed.
    void ShowSerialError(int16_t code);

    // Installs what sees every frame written from now on, stamped with clock: a session record
    // keeps when each frame went to the library and what the library said, and a run's markers
    // take the same moment as the record. Observers are called in the order they were added;
    // with none, the frame writer reads no clock. An observer must not write frames, wait or
    // pump events. Returns the key that removes it.
    int addWriteObserver(ClockPump& clock, std::function<void(const FrameWrite&)> observer);
    void removeWriteObserver(int key);

    // The serial library in use.
    Wsc32& serial() { return m_serial; }

    // Whether the library has a port open for us, so that a frame written now can reach a
    // device (PortOpen may be false meanwhile, as after a failed opening).
    bool hasOpenPort() const { return m_openIndex.has_value(); }
    // Whether a port is open or an opening is under way: from the start of an opening on,
    // anything that writes frames on its own schedule must write only on that schedule, so
    // that nothing it held back reaches the port before the opening's dark frame.
    bool isOpenOrOpening() const { return m_opening || m_openIndex.has_value(); }
    // Installs what is called just before the library opens a port, when an opening ends, and
    // whenever a port is closed: the flash timer keeps its ticks exact only while
    // isOpenOrOpening().
    void setLinkChangeHandler(std::function<void()> handler) {
        m_onLinkChange = std::move(handler);
    }

  private:
    void storeResult(int code);

    PortRecord& m_state;
    const Settings& m_settings;
    Wsc32& m_serial;
    WindowServices& m_window;
    void linkChanged();
    // Ends a failed opening: the link change told, the message shown, PortOpen cleared.
    void openingFailed(int16_t code);

    std::optional<int> m_openIndex;  // port index the library has open for us, if any
    bool m_opening = false;          // an OpenPort() is under way
    std::function<void()> m_onLinkChange;
    struct WriteObserver {
        int key = 0;
        std::function<void(const FrameWrite&)> observer;
    };
    ClockPump* m_writeClock = nullptr;  // the observers' clock; they all share the context's
    std::vector<WriteObserver> m_writeObservers;
    int m_nextObserverKey = 1;
};
