// The pseudo-terminal pair behind the simulator's, the benchmarks' and the tests' devices.
#include <fcntl.h>
#include <unistd.h>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "device/PseudoTerminal.h"

class PseudoTerminalTest : public QObject {
    Q_OBJECT

  private slots:
    void bytesArriveUnchanged_data();
    void bytesArriveUnchanged();
    void heldSlaveKeepsTheLineUp();
    void publishedLinkLeadsToTheSlave();
};

void PseudoTerminalTest::bytesArriveUnchanged_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("frame") << QByteArray(
        "\x01"
        "00FF00FF00",
        11);
    QTest::newRow("line ends untranslated") << QByteArray("\r\n\r", 3);
    QTest::newRow("control bytes untouched") << QByteArray("\x00\x03\x04\x11\x13\x7f", 6);
}

void PseudoTerminalTest::bytesArriveUnchanged() {
    QFETCH(QByteArray, bytes);
    PseudoTerminal pty;
    QString error;
    QVERIFY2(pty.open(&error), qPrintable(error));
    const int slave = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(slave >= 0);
    QCOMPARE(::write(slave, bytes.constData(), size_t(bytes.size())), bytes.size());
    QCOMPARE(pty.read(bytes.size(), 5000), bytes);
    QCOMPARE(pty.read(1, 0), QByteArray());  // and nothing more
    // Nothing is echoed back to the slave.
    QVERIFY(pty.setNonBlocking(&error));
    char echo = 0;
    ::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK);
    QCOMPARE(::read(slave, &echo, 1), ssize_t(-1));
    ::close(slave);
}

void PseudoTerminalTest::heldSlaveKeepsTheLineUp() {
    PseudoTerminal pty;
    QString error;
    QVERIFY2(pty.open(&error), qPrintable(error));
    QVERIFY(pty.heldSlavePath().isEmpty());
    QVERIFY2(pty.holdSlave(&error), qPrintable(error));
    const QString held = pty.heldSlavePath();
    QCOMPARE(QFileInfo(held).canonicalFilePath(), pty.slavePath());
    QVERIFY(pty.holdSlave(&error));
    QCOMPARE(pty.heldSlavePath(), held);
    // A program opening and closing the slave leaves the master readable without a hang-up.
    const int slave = ::open(QFile::encodeName(held).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(slave >= 0);
    ::close(slave);
    QCOMPARE(pty.read(1, 0), QByteArray());
    QVERIFY(pty.isOpen());
    pty.closeMaster();
    QVERIFY(!pty.isOpen());
    QVERIFY(!pty.lineSettings());
}

void PseudoTerminalTest::publishedLinkLeadsToTheSlave() {
    QTemporaryDir dir;
    PseudoTerminal pty;
    QString error;
    QVERIFY(pty.publish(dir.path(), 4, &error).isEmpty());  // not open yet
    QVERIFY(!error.isEmpty());
    QVERIFY2(pty.open(&error), qPrintable(error));
    const QString link = pty.publish(dir.path() + "/ports", 4, &error);
    QCOMPARE(link, dir.path() + "/ports/com4");
    QCOMPARE(QFileInfo(link).symLinkTarget(), pty.slavePath());
}

QTEST_GUILESS_MAIN(PseudoTerminalTest)
#include "tst_PseudoTerminal.moc"
