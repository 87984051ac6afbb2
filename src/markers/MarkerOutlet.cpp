#include "markers/MarkerOutlet.h"

#include <QByteArray>
#include <QSysInfo>

#include "core/DeadlineAlarm.h"

namespace {

// How long liblsl keeps markers for a recorder that falls behind, in seconds (its default).
constexpr int32_t BufferSeconds = 360;

// A stream info that liblsl frees when it goes.
struct StreamInfoDeleter {
    const LslLibrary::Api* api;
    void operator()(lsl_streaminfo_struct_* info) const { api->destroyStreamInfo(info); }
};

}  // namespace

MarkerStream MarkerStream::forDevice(const QString& port, const QString& host) {
    const QString device = port.trimmed().toUpper();
    const QString shown = host.isEmpty() ? QSysInfo::machineHostName() : host.trimmed();
    MarkerStream stream;
    stream.name = QStringLiteral("Orlesse %1 on %2").arg(device, shown);
    stream.sourceId = QStringLiteral("orlesse:%1:%2").arg(shown.toLower(), device);
    stream.description = {{QStringLiteral("device"), device}, {QStringLiteral("host"), shown}};
    return stream;
}

std::unique_ptr<MarkerOutlet> MarkerOutlet::open(const MarkerStream& stream, QString* error) {
    auto library = LslLibrary::load(error);
    return library ? open(std::move(library), stream, error) : nullptr;
}

std::unique_ptr<MarkerOutlet> MarkerOutlet::open(std::shared_ptr<const LslLibrary> library,
                                                 const MarkerStream& stream, QString* error) {
    const LslLibrary::Api& api = library->api();
    const auto fail = [&](const QString& what) {
        if (error != nullptr) {
            const QString why = library->lastError();
            *error = QStringLiteral("liblsl %1 (%2) %3%4")
                         .arg(library->versionText(), library->fileName(), what,
                              why.isEmpty() ? QString() : QStringLiteral(": ") + why);
        }
        return nullptr;
    };
    const std::unique_ptr<lsl_streaminfo_struct_, StreamInfoDeleter> info(
        api.createStreamInfo(stream.name.toUtf8().constData(), StreamType, 1,
                             LslLibrary::IrregularRate, LslLibrary::StringFormat,
                             stream.sourceId.toUtf8().constData()),
        StreamInfoDeleter{&api});
    if (!info) {
        return fail(QStringLiteral("refused the stream \"%1\"").arg(stream.name));
    }
    LslLibrary::Xml desc = api.getDesc(info.get());
    for (const auto& [key, value] : stream.description) {
        api.appendChildValue(desc, key.toUtf8().constData(), value.toUtf8().constData());
    }
    LslLibrary::Outlet outlet = api.createOutlet(info.get(), 0, BufferSeconds);
    if (outlet == nullptr) {
        return fail(QStringLiteral("could not open an outlet for \"%1\"").arg(stream.name));
    }
    return std::unique_ptr<MarkerOutlet>(new MarkerOutlet(std::move(library), stream, outlet));
}

MarkerOutlet::MarkerOutlet(std::shared_ptr<const LslLibrary> library, MarkerStream stream,
                           LslLibrary::Outlet outlet)
    : m_library(std::move(library)), m_stream(std::move(stream)), m_outlet(outlet) {
    m_clock = ClockMapping::measure(steadySeconds, m_library->api().localClock);
}

MarkerOutlet::~MarkerOutlet() {
    m_library->api().destroyOutlet(m_outlet);
}

bool MarkerOutlet::push(const QString& text, double lslTime, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    if (!(lslTime > 0)) {
        return fail(QStringLiteral("a marker's LSL time must be positive, not %1").arg(lslTime));
    }
    const QByteArray utf8 = text.toUtf8();
    const char* sample[] = {utf8.constData()};
    const int32_t result = m_library->api().pushSampleStrtp(m_outlet, sample, lslTime, 1);
    if (result != 0) {
        const QString why = m_library->lastError();
        return fail(QStringLiteral("liblsl refused the marker (error %1)%2")
                        .arg(result)
                        .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    }
    return true;
}
