#include "support/E2eRig.h"

#include <QFile>

#include "device/ComPorts.h"
#include "settings/ProcessINIFile.h"

int E2eSerialTap::SioReset(int port, int rxQueue, int txQueue) {
    return m_inner.SioReset(port, rxQueue, txQueue);
}

int E2eSerialTap::SioBaud(int port, int baudCode) {
    return m_inner.SioBaud(port, baudCode);
}

int E2eSerialTap::SioParms(int port, int parity, int stopBits, int dataBits) {
    return m_inner.SioParms(port, parity, stopBits, dataBits);
}

int E2eSerialTap::SioDTR(int port, char command) {
    return m_inner.SioDTR(port, command);
}

int E2eSerialTap::SioRTS(int port, char command) {
    return m_inner.SioRTS(port, command);
}

int E2eSerialTap::SioPuts(int port, const char* bytes, int count) {
    const int result = m_inner.SioPuts(port, bytes, count);
    m_writes.append({QByteArray(bytes, count), result});
    return result;
}

int E2eSerialTap::SioDone(int port) {
    return m_inner.SioDone(port);
}

QString E2eSerialTap::SioWinError(int maxChars) {
    return m_inner.SioWinError(maxChars);
}

QList<QByteArray> E2eSerialTap::accepted() const {
    QList<QByteArray> frames;
    for (const Write& write : m_writes) {
        if (write.result == write.bytes.size()) {
            frames.append(write.bytes);
        }
    }
    return frames;
}

E2eRig::E2eRig()
    : m_controller(std::make_unique<Controller>(
          m_tap, m_timer, m_clock, m_window, m_ports,
          ProcessINIFile(m_dir.path(), m_dir.path() + QStringLiteral("/config")), m_dir.path())) {}

// The controller goes first: it unhooks itself from the timer it was given.
E2eRig::~E2eRig() {
    m_controller.reset();
}

void E2eRig::load(int comNumber, int colourIndex, int flashRate) {
    m_ports.entries = {comNumber};
    m_ports.result = 0;
    m_controller->Form_Load();
    m_controller->ComboCOMPort_Click(ComPorts::displayName(comNumber));
    m_controller->ComboFlashColour_Click(colourIndex);
    m_controller->ComboBrightness_Click(BrightnessCount - 1);
    m_controller->ComboFlashRate_Click(flashRate - 1);
}

QString E2eRig::writeProgram(const QString& name, const QByteArray& contents) const {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()) {
        return {};
    }
    return path;
}
