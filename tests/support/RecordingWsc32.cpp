#include "RecordingWsc32.h"

int RecordingWsc32::failureOr(const QString& name, int result) const {
    return m_failures.value(name, result);
}

int RecordingWsc32::record(const QString& name, QList<int> args, int result, QByteArray bytes) {
    Call call;
    call.name = name;
    call.args = std::move(args);
    call.bytes = std::move(bytes);
    call.result = result;
    call.time = m_clock ? m_clock() : 0.0;
    m_calls.append(std::move(call));
    if (m_onReturn) {
        m_onReturn(name);
    }
    return result;
}

int RecordingWsc32::SioReset(int port, int rxQueue, int txQueue) {
    int result = failureOr(QStringLiteral("SioReset"), 0);
    if (result >= 0) {
        if (m_open.count(port) > 0) {
            result = SioCode::AlreadyOpen;
        } else {
            m_open.insert(port);
        }
    }
    return record(QStringLiteral("SioReset"), {port, rxQueue, txQueue}, result);
}

int RecordingWsc32::SioBaud(int port, int baudCode) {
    const int result = isOpen(port) ? failureOr(QStringLiteral("SioBaud"), 0) : SioCode::CannotOpen;
    return record(QStringLiteral("SioBaud"), {port, baudCode}, result);
}

int RecordingWsc32::SioParms(int port, int parity, int stopBits, int dataBits) {
    const int result =
        isOpen(port) ? failureOr(QStringLiteral("SioParms"), 0) : SioCode::CannotOpen;
    return record(QStringLiteral("SioParms"), {port, parity, stopBits, dataBits}, result);
}

int RecordingWsc32::SioDTR(int port, char command) {
    const int result = isOpen(port) ? failureOr(QStringLiteral("SioDTR"), 0) : SioCode::CannotOpen;
    return record(QStringLiteral("SioDTR"), {port, command}, result);
}

int RecordingWsc32::SioRTS(int port, char command) {
    const int result = isOpen(port) ? failureOr(QStringLiteral("SioRTS"), 0) : SioCode::CannotOpen;
    return record(QStringLiteral("SioRTS"), {port, command}, result);
}

int RecordingWsc32::SioPuts(int port, const char* bytes, int count) {
    const int result =
        isOpen(port) ? failureOr(QStringLiteral("SioPuts"), count) : SioCode::CannotOpen;
    return record(QStringLiteral("SioPuts"), {port, count}, result, QByteArray(bytes, count));
}

int RecordingWsc32::SioDone(int port) {
    m_open.erase(port);
    return record(QStringLiteral("SioDone"), {port}, failureOr(QStringLiteral("SioDone"), 0));
}

QString RecordingWsc32::SioWinError(int maxChars) {
    record(QStringLiteral("SioWinError"), {maxChars}, 0);
    return m_winError.left(maxChars);
}

QStringList RecordingWsc32::callNames() const {
    QStringList names;
    for (const Call& call : m_calls) {
        names.append(call.name);
    }
    return names;
}

QList<RecordingWsc32::Call> RecordingWsc32::writes() const {
    QList<Call> result;
    for (const Call& call : m_calls) {
        if (call.name == QLatin1String("SioPuts")) {
            result.append(call);
        }
    }
    return result;
}

QList<QByteArray> RecordingWsc32::sentFrames() const {
    QList<QByteArray> frames;
    for (const Call& call : writes()) {
        if (call.result >= 0) {
            frames.append(call.bytes);
        }
    }
    return frames;
}
