// The editor playing into a pseudo-terminal through the Qt serial library and the real clock:
// pause darkens the light and holds, resume goes on lit, Escape ends the run with the closing
// dark frame. Every step waits for the frames it needs, never for a fixed time.
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "EditorWindow.h"
#include "core/QtClockPump.h"
#include "serial/QtSerialWsc32.h"
#include "support/FakeWindow.h"
#include "support/Harness.h"
#include "support/Pty.h"
#include "support/TestFiles.h"

namespace {

constexpr int TimeoutMs = 20000;
constexpr int ComNumber = 7;
constexpr qsizetype FrameSize = 11;

// The Qt serial library, counting the frames it is given: the test knows how many frames the
// editor wrote, also those still on their way through the pseudo-terminal.
class CountingWsc32 final : public Wsc32 {
  public:
    int SioReset(int port, int rx, int tx) override { return m_qt.SioReset(port, rx, tx); }
    int SioBaud(int port, int code) override { return m_qt.SioBaud(port, code); }
    int SioParms(int port, int parity, int stop, int data) override {
        return m_qt.SioParms(port, parity, stop, data);
    }
    int SioDTR(int port, char command) override { return m_qt.SioDTR(port, command); }
    int SioRTS(int port, char command) override { return m_qt.SioRTS(port, command); }
    int SioPuts(int port, const char* bytes, int count) override {
        ++written;
        return m_qt.SioPuts(port, bytes, count);
    }
    int SioDone(int port) override { return m_qt.SioDone(port); }
    QString SioWinError(int maxChars) override { return m_qt.SioWinError(maxChars); }

    qsizetype written = 0;

  private:
    QtSerialWsc32 m_qt;
};

class PtyEditor final : public EditorWindow {
  public:
    PtyEditor(const QString& folder, CountingWsc32*& serial)
        : EditorWindow(makeServices(folder, serial)) {}
    QStringList messages;

  protected:
    bool askToPlayWithWarnings(const QString&) override { return true; }
    void showMessage(const QString& text) override { messages << text; }

  private:
    static Services makeServices(const QString& folder, CountingWsc32*& serial) {
        Services services;
        auto ports = std::make_unique<FakePortList>();
        ports->entries = {ComNumber};
        ports->result = 0;
        services.ports = std::move(ports);
        auto counting = std::make_unique<CountingWsc32>();
        serial = counting.get();
        services.serial = std::move(counting);
        services.clock = std::make_unique<QtClockPump>();
        services.settingsPath = folder + QStringLiteral("/editor.ini");
        services.programsFolder = folder;
        return services;
    }
};

}  // namespace

class EditorPlayTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void pauseResumeAndEscapeOnAPort();

  private:
    QTemporaryDir m_dir;
};

void EditorPlayTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    // The serial library finds COM n as a link in the ports folder under this folder.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path()));
}

void EditorPlayTest::pauseResumeAndEscapeOnAPort() {
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorText()));
    const QString ports = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                          QStringLiteral("/Corvexa/Orlesse/ports");
    QVERIFY(!pty.publish(ports, ComNumber).isEmpty());

    CountingWsc32* serial = nullptr;
    PtyEditor editor(m_dir.path(), serial);
    editor.settings().setValue(QStringLiteral("safety/photosensitivityNoticeAcknowledged"), true);
    editor.show();
    const QString path = m_dir.filePath(QStringLiteral("long.csv"));
    putFile(path,
            "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n"
            "1,10,10,255,255,600\r\n");
    QVERIFY(editor.openFile(path));
    auto* com = editor.findChild<QComboBox*>(QStringLiteral("comPort"));
    com->setCurrentIndex(com->findText(QStringLiteral("Com7")));
    auto* pause = editor.findChild<QPushButton*>(QStringLiteral("pause"));
    auto* list = editor.findChild<QListWidget*>(QStringLiteral("findings"));

    const QByteArray dark = Harness::soh("00", "000000");
    const QByteArray lit = Harness::soh("00", "FFFFFF");
    QByteArray received;
    const auto frames = [&received] { return received.size() / FrameSize; };
    const auto frameAt = [&received](qsizetype i) {
        return received.mid(i * FrameSize, FrameSize);
    };
    const auto last = [&] { return frameAt(frames() - 1); };

    // The steps run inside the editor's run, which pumps events: each waits for its frames.
    enum class Step { FirstLit, Paused, Resumed, Done };
    Step step = Step::FirstLit;
    qsizetype pausedAt = 0;
    qsizetype resumedAt = 0;
    QByteArray afterResume;
    const QDeadlineTimer deadline(TimeoutMs);
    QTimer script;
    connect(&script, &QTimer::timeout, [&] {
        received += pty.read(4096, 0);
        if (deadline.hasExpired()) {
            editor.stop();
            step = Step::Done;
        }
        switch (step) {
            case Step::FirstLit:
                if (frames() >= 2 && last() == lit) {
                    pausedAt = serial->written;
                    pause->click();
                    step = Step::Paused;
                }
                break;
            case Step::Paused:
                // Everything written has arrived, and it ends dark: the frame on its way when
                // pause came (if any), then the pause's dark one.
                // (That nothing goes out while held is checked on virtual time.)
                if (frames() == serial->written && last() == dark &&
                    serial->written - pausedAt <= 2) {
                    resumedAt = frames();
                    pause->click();
                    step = Step::Resumed;
                }
                break;
            case Step::Resumed:
                if (frames() > resumedAt) {
                    afterResume = frameAt(resumedAt);
                    QTest::keyClick(list, Qt::Key_Escape);
                    step = Step::Done;
                }
                break;
            case Step::Done:
                break;
        }
    });
    script.start(5);
    editor.play();
    script.stop();
    received += pty.readThrough(dark, TimeoutMs);

    QVERIFY2(!deadline.hasExpired(), "the run did not reach every step in time");
    QVERIFY(editor.messages.isEmpty());
    QCOMPARE(frameAt(0), dark);  // the port's opening
    QCOMPARE(afterResume, lit);
    QCOMPARE(last(), dark);  // the closing frame
    QCOMPARE(editor.player().state(), EditorPlayer::State::Idle);
}

QTEST_MAIN(EditorPlayTest)
#include "tst_EditorPlay.moc"
