#include "LslMarkerStream.h"

#include "markers/MarkerOutlet.h"

LslMarkerStream::LslMarkerStream(QStringList libraries) : m_libraries(std::move(libraries)) {}

LslMarkerStream::~LslMarkerStream() = default;

bool LslMarkerStream::open(int comNumber, QString* error) {
    close();
    m_outlet = DeviceRun::openMarkerStream(comNumber, error, m_libraries);
    m_comNumber = m_outlet ? comNumber : 0;
    return m_outlet != nullptr;
}

void LslMarkerStream::close() {
    m_outlet.reset();
    m_comNumber = 0;
}

QString LslMarkerStream::sourceId() const {
    return m_outlet ? m_outlet->stream().sourceId : QString();
}

QString LslMarkerStream::name() const {
    return m_outlet ? m_outlet->stream().name : QString();
}

bool LslMarkerStream::hasRecorder() const {
    return m_outlet && m_outlet->hasConsumers();
}

void LslMarkerStream::publish(DeviceRun::Request& request) {
    if (m_outlet) {
        request.publishOn(*m_outlet);
    }
}
