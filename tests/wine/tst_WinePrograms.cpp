// The Windows programs under Wine against the Linux device simulator: Wine's COM port is a link
// in the prefix's dosdevices folder to the simulator's pseudo-terminal, and a preloaded
// stand-in answers the modem-line requests a pseudo-terminal refuses (tests/windows/host). The
// simulator must see every frame at the programmed frequency, and the windows must come up and
// flash.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <vector>

#include "support/SimulatorLog.h"
#include "support/TestFiles.h"

namespace {

constexpr int SimCom = 57;
constexpr int TimeoutMs = 120000;  // Wine starts slowly on a loaded machine
constexpr int Frequency = 40;
constexpr int Seconds = 5;

const QString Dark = QStringLiteral("SOH 00 000000");

// The times of the lit frames in the simulator's log at path, in seconds.
QList<double> litFrames(const QString& path) {
    static const QRegularExpression line(QStringLiteral("^(\\d+\\.\\d{6}) (SOH .*)$"));
    QList<double> times;
    for (const QByteArray& raw : fileBytes(path).split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(raw));
        if (m.hasMatch() && m.captured(2) != Dark) {
            times << m.captured(1).toDouble();
        }
    }
    return times;
}

// The frequency of flashes at the given lit times: the intervals over the time they span.
double frequencyOf(const QList<double>& lit) {
    return lit.size() < 2 ? 0 : double(lit.size() - 1) / (lit.last() - lit.first());
}

}  // namespace

class TestWinePrograms : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir m_dir;
    QString m_windowsBin;
    QString m_wineRun;
    QString m_dosdevices;
    QString m_modemLines;
    QProcess m_sim;
    QString m_log;

    // The environment of a Windows program: the stand-in for the modem lines preloaded, and
    // the test's display. Every Wine program of the test shares it: the first one to start
    // Wine's session for the prefix fixes the display of all that follow.
    QProcessEnvironment wineEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), m_modemLines);
        env.insert(QStringLiteral("DISPLAY"), m_display);
        return env;
    }

    // Ends Wine's session for the prefix, so the next program starts one on the test's display.
    void endWineSession() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WINEPREFIX"), QFileInfo(m_dosdevices).path());
        QProcess server;
        server.setProcessEnvironment(env);
        server.start(QStringLiteral("/usr/lib/wine/wineserver"), {"-k"});
        server.waitForFinished(TimeoutMs);
    }

    // Runs a Windows program to its end; returns its exit code, with its output in *out.
    int runWindows(const QString& program, const QStringList& arguments, QByteArray* out) {
        QProcess tool;
        tool.setProcessEnvironment(wineEnvironment());
        tool.start(m_wineRun, QStringList{m_windowsBin + u'/' + program} + arguments);
        if (!tool.waitForStarted(TimeoutMs) || !tool.waitForFinished(TimeoutMs)) {
            tool.kill();
            tool.waitForFinished();
            return -1;
        }
        *out = tool.readAllStandardOutput() + tool.readAllStandardError();
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }

    QProcess m_xvfb;
    QString m_display;

    // Starts Xvfb on a free display; the display is in m_display.
    void startDisplay() {
        m_xvfb.start(QStringLiteral("Xvfb"),
                     {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
        QVERIFY(m_xvfb.waitForStarted(TimeoutMs));
        QTRY_VERIFY_WITH_TIMEOUT(m_xvfb.canReadLine() || m_xvfb.waitForReadyRead(100), TimeoutMs);
        m_display = QStringLiteral(":") + QString::fromLatin1(m_xvfb.readLine().trimmed());
    }

    // The X window id of the window whose title matches title (a regular expression), or an
    // empty text while there is none.
    QString windowNamed(const QString& title) const {
        QProcess search;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        search.setProcessEnvironment(env);
        search.start(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--name", title});
        search.waitForFinished(TimeoutMs);
        return QString::fromLatin1(search.readAllStandardOutput()).split(u'\n').first().trimmed();
    }

    // Runs xdotool with the arguments on the test's display.
    void xdotool(const QStringList& arguments) const {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        QVERIFY(tool.waitForFinished(TimeoutMs));
        QCOMPARE(tool.exitCode(), 0);
    }

    // Starts a Windows program with a window on the test's display.
    void startWindowed(QProcess& process, const QString& program) {
        process.setProcessEnvironment(wineEnvironment());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(m_wineRun, {program});
        QVERIFY(process.waitForStarted(TimeoutMs));
    }

  private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_windowsBin = qEnvironmentVariable("ORLESSE_WINDOWS_BIN");
        m_wineRun = qEnvironmentVariable("ORLESSE_WINE_RUN");
        m_modemLines = qEnvironmentVariable("ORLESSE_MODEM_LINES");
        m_dosdevices = qEnvironmentVariable("ORLESSE_WINEPREFIX") + QStringLiteral("/dosdevices");
        QVERIFY2(QFile::exists(m_windowsBin + QStringLiteral("/orlesse-program.exe")),
                 qPrintable(m_windowsBin));
        QVERIFY(QFile::exists(m_modemLines));
        QCOMPARE(QProcess::execute(m_wineRun, {QStringLiteral("--init")}), 0);
        QVERIFY(QFileInfo(m_dosdevices).isDir());
        startDisplay();
        endWineSession();

        // The simulator's link lands in a folder of the test's own, and Wine's COM port is a
        // link to where it leads.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
        m_log = m_dir.filePath(QStringLiteral("sim.log"));
        m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_sim.start(qEnvironmentVariable("ORLESSE_TEST_BIN") + QStringLiteral("/vantorb-sim"),
                    {"--headless", "--com", QString::number(SimCom), "--log", m_log});
        QVERIFY(m_sim.waitForStarted(TimeoutMs));
        QVERIFY(m_sim.waitForReadyRead(TimeoutMs));
        const QString published =
            m_dir.filePath(QStringLiteral("data/Corvexa/Orlesse/ports/com%1").arg(SimCom));
        const QString handle = QFile::symLinkTarget(published);
        QVERIFY2(!handle.isEmpty(), qPrintable(published));
        const QString com = m_dosdevices + QStringLiteral("/com%1").arg(SimCom);
        QFile::remove(com);
        QVERIFY(QFile::link(handle, com));
    }

    void cleanupTestCase() {
        endWineSession();
        if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.terminate();
            m_xvfb.waitForFinished(TimeoutMs);
        }
        QFile::remove(m_dosdevices + QStringLiteral("/com%1").arg(SimCom));
        if (m_sim.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(m_sim.processId()), SIGTERM);
            if (!m_sim.waitForFinished(TimeoutMs)) {
                m_sim.kill();
                m_sim.waitForFinished();
            }
        }
    }

    void playDeliversTheProgramAndRecordsIt() {
        const QString program = m_dir.filePath(QStringLiteral("steady.csv"));
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n"
                                  "1,%1,%1,255,255,%2\r\n")
                       .arg(Frequency)
                       .arg(Seconds)
                       .toLatin1());
        file.close();
        const QString records = m_dir.filePath(QStringLiteral("records"));
        const qsizetype before = litFrames(m_log).size();

        QByteArray out;
        const int code = runWindows(
            QStringLiteral("orlesse-program.exe"),
            {"play", "Z:" + program, "--com", QString::number(SimCom), "--record", "Z:" + records},
            &out);
        QVERIFY2(code == 0, out.constData());

        const QStringList logged = simulatorLogThroughMarker(SimCom, m_log, TimeoutMs);
        QCOMPARE(logged.last(), MarkerLogText);
        const QList<double> lit = litFrames(m_log).mid(before);

        // The record, read by the Linux tool: every lit frame it says went out reached the
        // device, all of them on the program's grid.
        QProcess report;
        report.start(qEnvironmentVariable("ORLESSE_TEST_BIN") + QStringLiteral("/orlesse-program"),
                     {"report", records, "--json"});
        QVERIFY(report.waitForFinished(TimeoutMs));
        QCOMPARE(report.exitCode(), 0);
        const QJsonObject json = QJsonDocument::fromJson(report.readAllStandardOutput()).object();
        const QJsonObject totals = json.value("Totals").toObject();
        QCOMPARE(totals.value("LitFrames").toInteger(), lit.size());
        // A stall skips frames on the grid, and the record counts them; on a quiet machine
        // there is none, and every flash of the program arrives at its frequency.
        if (const qint64 skipped = totals.value("SkippedFrames").toInteger(); skipped > 0) {
            QWARN(qPrintable(
                QStringLiteral("%1 frames skipped by stalls: the machine was busy").arg(skipped)));
        } else {
            QCOMPARE(lit.size(), qsizetype(Frequency * Seconds));
            const double delivered = frequencyOf(lit);
            QVERIFY2(std::abs(delivered / Frequency - 1) < 1e-3,
                     qPrintable(QString::number(delivered)));
        }
        QCOMPARE(json.value("Ended").toObject().value("How").toString(),
                 QStringLiteral("finished"));
    }

    void controllerWindowFlashes() {
        // A copy of its own, with the settings beside it: COM 57 at 10 flashes a second.
        const QString folder = m_dir.filePath(QStringLiteral("controller"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(m_windowsBin + QStringLiteral("/orlesse.exe"),
                            folder + QStringLiteral("/orlesse.exe")));
        QFile ini(folder + QStringLiteral("/corvexa.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[communications]\r\nVantorbComPort=%1\r\n[Vantorb]\r\n"
                                 "FlashRate=10\r\nFlashColour=2\r\nBrightness=3\r\n")
                      .arg(SimCom)
                      .toLatin1());
        ini.close();

        QProcess controller;
        startWindowed(controller, folder + QStringLiteral("/orlesse.exe"));
        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(!(window = windowNamed(QStringLiteral("^Orlesse$"))).isEmpty(),
                                 TimeoutMs);
        const qsizetype before = litFrames(m_log).size();
        // Flash the Orlesse, the button at the top left.
        xdotool({"mousemove", "--window", window, "40", "16", "click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(litFrames(m_log).size() >= before + 31, TimeoutMs);
        const QList<double> lit = litFrames(m_log).mid(before);
        const double delivered = frequencyOf(lit);
        QVERIFY2(std::abs(delivered / 10 - 1) < 1e-2, qPrintable(QString::number(delivered)));
        ::kill(static_cast<pid_t>(controller.processId()), SIGTERM);
        if (!controller.waitForFinished(TimeoutMs)) {
            controller.kill();
            controller.waitForFinished();
        }
        // The settings file stayed where the program is: a copy in a folder it may write.
        QVERIFY(QFile::exists(folder + QStringLiteral("/corvexa.ini")));
    }

    void editorWindowShows() {
        QProcess editor;
        startWindowed(editor, m_windowsBin + QStringLiteral("/orlesse-editor.exe"));
        QTRY_VERIFY_WITH_TIMEOUT(!windowNamed(QStringLiteral("Orlesse Editor")).isEmpty(),
                                 TimeoutMs);
        editor.kill();
        editor.waitForFinished(TimeoutMs);
    }

    // What a Windows user downloads, on a Wine of its own that has nothing else: the zip's
    // programs run from wherever it is unpacked, and the installer installs, starts and
    // uninstalls, leaving the settings and the user's light programs.
    void zipAndInstallerWork() {
        const QString windowsBuild = QFileInfo(m_windowsBin).path();
        const QStringList zips = QDir(windowsBuild).entryList({"orlesse-*-win64.zip"});
        const QStringList setups = QDir(windowsBuild).entryList({"orlesse-*-win64-setup.exe"});
        QCOMPARE(zips.size(), 1);
        QCOMPARE(setups.size(), 1);
        endWineSession();

        // A fresh prefix, and a home of its own: Wine links the user's Documents there.
        const QString home = m_dir.filePath(QStringLiteral("home"));
        const QString prefix = m_dir.filePath(QStringLiteral("fresh-prefix"));
        QVERIFY(QDir().mkpath(home));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("WINEPATH"));
        env.insert(QStringLiteral("WINEPREFIX"), prefix);
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        const auto wine = [&env](const QStringList& arguments, QByteArray* out = nullptr) {
            QProcess process;
            process.setProcessEnvironment(env);
            process.start(QStringLiteral("/usr/lib/wine/wine64"), arguments);
            if (!process.waitForFinished(TimeoutMs)) {
                process.kill();
                process.waitForFinished();
                return -1;
            }
            if (out) {
                *out = process.readAllStandardOutput();
            }
            return process.exitCode();
        };
        QCOMPARE(wine({"wineboot", "-i"}), 0);

        const QString unpacked = m_dir.filePath(QStringLiteral("unpacked"));
        QVERIFY(QDir().mkpath(unpacked));
        QProcess unzip;
        unzip.setWorkingDirectory(unpacked);
        unzip.start(QStringLiteral("cmake"), {"-E", "tar", "xf", windowsBuild + u'/' + zips[0]});
        QVERIFY(unzip.waitForFinished(TimeoutMs));
        QCOMPARE(unzip.exitCode(), 0);
        const QString folder =
            unpacked + u'/' + QFileInfo(zips[0]).completeBaseName();  // orlesse-<v>-win64
        QByteArray out;
        QCOMPARE(wine({folder + QStringLiteral("/orlesse-program.exe"), "--version"}, &out), 0);
        QVERIFY2(out.startsWith("orlesse-program "), out.constData());
        QCOMPARE(wine({folder + QStringLiteral("/orlesse-program.exe"), "check",
                       "Z:" + folder + QStringLiteral("/programs/steady-40-hz.csv")},
                      &out),
                 0);

        QCOMPARE(wine({windowsBuild + u'/' + setups[0], "/S"}), 0);
        const QString user = prefix + QStringLiteral("/drive_c/users/") +
                             QDir(prefix + QStringLiteral("/drive_c/users"))
                                 .entryList({"*"}, QDir::Dirs | QDir::NoDotAndDotDot)
                                 .filter(QRegularExpression(QStringLiteral("^(?!Public$)")))
                                 .value(0);
        const QString installed = user + QStringLiteral("/AppData/Local/Programs/Orlesse");
        QVERIFY2(QFile::exists(installed + QStringLiteral("/orlesse.exe")), qPrintable(installed));

        QProcess controller;
        controller.setProcessEnvironment(env);
        controller.start(QStringLiteral("/usr/lib/wine/wine64"),
                         {installed + QStringLiteral("/orlesse.exe")});
        QVERIFY(controller.waitForStarted(TimeoutMs));
        QTRY_VERIFY_WITH_TIMEOUT(!windowNamed(QStringLiteral("^Orlesse$")).isEmpty(), TimeoutMs);
        // An installed copy keeps its settings in %APPDATA% and its light programs in the
        // Documents, never in its own folder.
        const QString settings =
            user + QStringLiteral("/AppData/Roaming/Corvexa/Orlesse/corvexa.ini");
        const QString programs = user + QStringLiteral("/Documents/Orlesse programs");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(settings), TimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(programs + QStringLiteral("/steady-40-hz.csv")),
                                 TimeoutMs);
        QVERIFY(!QFile::exists(installed + QStringLiteral("/corvexa.ini")));
        controller.kill();
        controller.waitForFinished(TimeoutMs);

        // The uninstaller hands over to a copy of itself and returns at once.
        QCOMPARE(wine({installed + QStringLiteral("/Uninstall.exe"), "/S"}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(installed + QStringLiteral("/orlesse.exe")),
                                 TimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(installed), TimeoutMs);
        QVERIFY(QFile::exists(settings));
        QVERIFY(QFile::exists(programs + QStringLiteral("/steady-40-hz.csv")));

        QProcess server;
        server.setProcessEnvironment(env);
        server.start(QStringLiteral("/usr/lib/wine/wineserver"), {"-k"});
        server.waitForFinished(TimeoutMs);
    }
};

QTEST_GUILESS_MAIN(TestWinePrograms)
#include "tst_WinePrograms.moc"
