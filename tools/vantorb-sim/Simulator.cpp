#include "Simulator.h"

Simulator::Simulator(QObject* parent) : QObject(parent) {
    m_idle.setSingleShot(true);
    m_idle.setInterval(IdleFlushMs);
    connect(&m_idle, &QTimer::timeout, this, &Simulator::flushIdle);
}

void Simulator::receive(const QByteArray& bytes, qint64 receivedNs) {
    m_lastReceiveNs = receivedNs;
    handle(m_decoder.feed(bytes), receivedNs);
    if (m_decoder.pendingSize() > 0) {
        m_idle.start();
    } else {
        m_idle.stop();
    }
}

void Simulator::flushIdle() {
    // The chunk is stamped with the time its last byte arrived, not the time of the flush.
    handle(m_decoder.flush(), m_lastReceiveNs);
}

void Simulator::handle(const QList<DecodedItem>& items, qint64 receivedNs) {
    if (items.isEmpty()) {
        return;
    }
    for (const DecodedItem& item : items) {
        if (item.kind == DecodedItem::Kind::Frame) {
            m_model.apply(item.frame, receivedNs);
            m_log.writeFrame(item.frame, receivedNs);
            m_lastFrame = item.frame;
        } else {
            m_model.noteMalformed();
            m_log.writeMalformed(item.bytes, receivedNs);
        }
    }
    emit changed();
}
