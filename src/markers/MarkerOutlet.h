#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <utility>

#include "markers/ClockMapping.h"
#include "markers/LslLibrary.h"

// What a marker stream is called and says about itself.
struct MarkerStream {
    // What recorders show, e.g. "Orlesse COM3 on lab-pc".
    QString name;
    // The same for the same device on the same host across restarts, so that a recorder picks
    // the stream up again when Orlesse starts anew.
    QString sourceId;
    // Children of the stream's description, e.g. {"device", "COM3"}.
    QList<std::pair<QString, QString>> description;

    // The stream of the light on port (a COM name), from this host or the one given: the name
    // tells the device and the host apart, the source id follows from both, whatever their
    // case (host names and COM names ignore it).
    static MarkerStream forDevice(const QString& port, const QString& host = QString());
};

// An LSL outlet of markers: stream type "Markers", one string channel, irregular rate. Each
// marker is a UTF-8 text at an explicit LSL time, sent at once. Recorders find the stream by
// name or source id. push() may be called from any thread while the outlet lives.
class MarkerOutlet {
  public:
    static constexpr const char* StreamType = "Markers";

    // Opens the stream with the liblsl that LslLibrary::load() finds. Returns nullptr and puts
    // the reason in *error when there is no liblsl or it refuses the stream.
    static std::unique_ptr<MarkerOutlet> open(const MarkerStream& stream, QString* error);
    // The same with a library loaded already.
    static std::unique_ptr<MarkerOutlet> open(std::shared_ptr<const LslLibrary> library,
                                              const MarkerStream& stream, QString* error);

    ~MarkerOutlet();
    MarkerOutlet(const MarkerOutlet&) = delete;
    MarkerOutlet& operator=(const MarkerOutlet&) = delete;

    // Sends text as one marker stamped lslTime (from lslClock() or toLslTime()). Returns false,
    // with the reason in *error, when liblsl refuses it or the time is not positive: liblsl
    // reads 0 as "now" and -1 as "after the previous one", which a marker never means.
    bool push(const QString& text, double lslTime, QString* error = nullptr);

    // Whether a recorder (an inlet) is connected now: markers pushed before one connects do not
    // reach it.
    bool hasConsumers() const { return m_library->api().haveConsumers(m_outlet) != 0; }
    // LSL's clock now, in seconds.
    double lslClock() const { return m_library->api().localClock(); }
    // The LSL time of a steady-clock time (steadySeconds(), QtClockPump::now()).
    double toLslTime(double steadyTime) const { return m_clock.toLsl(steadyTime); }
    // The mapping toLslTime() uses, measured when the outlet opened.
    const ClockMapping& clockMapping() const { return m_clock; }

    const MarkerStream& stream() const { return m_stream; }
    const LslLibrary& library() const { return *m_library; }

  private:
    MarkerOutlet(std::shared_ptr<const LslLibrary> library, MarkerStream stream,
                 LslLibrary::Outlet outlet);

    std::shared_ptr<const LslLibrary> m_library;
    MarkerStream m_stream;
    LslLibrary::Outlet m_outlet;
    ClockMapping m_clock;
};
