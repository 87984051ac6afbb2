#pragma once

#include <QByteArray>
#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <cstddef>
#include <memory>
#include <vector>

class QCommandLineParser;

// The device end of frame_timing's COM port, in a file for each platform. On Unix
// (DeviceSideUnix.cpp) it is a pseudo-terminal the benchmark makes and publishes as COM 1, whose
// reader stamps every frame as it arrives. Windows has no pseudo-terminals (DeviceSideWindows.cpp):
// the controller writes to an existing COM port named with --com, whose other end is someone
// else's, and only the write times are measured.
class DeviceSide {
  public:
    // One frame as it arrived.
    struct Arrival {
        double time = 0;  // steady-clock seconds
        QByteArray frame;
    };

    virtual ~DeviceSide() = default;

    // This platform's command-line options of the device side.
    static QList<QCommandLineOption> options();
    // Opens the device side that the parsed options ask for. dataFolder is the per-user data
    // folder the benchmark set for the run. nullptr with a reason on failure.
    static std::unique_ptr<DeviceSide> open(const QCommandLineParser& parser,
                                            const QString& dataFolder, QString* error);

    // The COM number the controller opens.
    virtual int comNumber() const = 0;
    // The device side, as the report's first line names it: "reader blocking".
    virtual QString describe() const = 0;
    // Whether frames are seen arriving; without, arrivals are not measured.
    virtual bool seesArrivals() const = 0;
    // Waits up to timeoutSeconds for count frames not taken yet; true when they are there.
    virtual bool waitForFrames(size_t count, double timeoutSeconds) const = 0;
    // Hands over the frames that have arrived and forgets them.
    virtual std::vector<Arrival> takeArrivals() = 0;
};
