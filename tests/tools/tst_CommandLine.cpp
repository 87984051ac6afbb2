#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "core/BuildInfo.h"

// Every program answers --help and --version from the one project version, and does so without
// a display: the runs here have no window system at all unless a row asks for one.
class TestCommandLine : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void answersOptions_data();
    void answersOptions();

  private:
    QString m_bin;
};

void TestCommandLine::initTestCase() {
    m_bin = qEnvironmentVariable("ORLESSE_TEST_BIN");
    if (m_bin.isEmpty()) {
        QSKIP("ORLESSE_TEST_BIN is not set");
    }
}

void TestCommandLine::answersOptions_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("offscreen");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");  // a pattern some whole line of the output matches

    const QString version = QRegularExpression::escape(QLatin1String(OrlesseVersion));
    const auto row = [](const char* program, const QStringList& arguments, bool offscreen,
                        int exitCode, const QString& line) {
        QTest::addRow("%s %s", program, qPrintable(arguments.join(u' ')))
            << QString::fromLatin1(program) << arguments << offscreen << exitCode << line;
    };
    row("orlesse", {"--version"}, false, 0, "Orlesse " + version);
    row("orlesse", {"-v"}, false, 0, "Orlesse " + version);
    row("orlesse", {"--help"}, false, 0, R"( *-v, --version +Displays version information\.)");
    row("orlesse", {"-h"}, false, 0, R"(Usage: \S*orlesse \[options\])");
    row("orlesse", {"--bogus"}, true, 1, R"(Orlesse: Unknown option 'bogus'\.)");
#ifndef Q_OS_WIN  // the simulator is built for Linux only
    row("vantorb-sim", {"--version"}, false, 0, "vantorb-sim " + version);
    row("vantorb-sim", {"--help"}, false, 0, R"( *--com <N> +COM number to publish.*)");
    row("vantorb-sim", {"-h"}, false, 0, R"( *-v, --version +Displays version information\.)");
    row("vantorb-sim", {"--headless", "--bogus"}, false, 1,
        R"(vantorb-sim: Unknown option 'bogus'\.)");
#endif
    row("orlesse-program", {"--version"}, false, 0, "orlesse-program " + version);
    row("orlesse-program", {"--help"}, false, 0, R"(Usage: orlesse-program COMMAND ARGUMENTS)");
    row("orlesse-program", {"plot", "--help"}, false, 0,
        R"(Usage: orlesse-program plot FILE -o OUT\.png \[--size WxH\])");
    row("orlesse-program", {"bogus"}, false, 2, R"(orlesse-program: unknown command bogus)");
    row("orlesse-program", {"bids", "-h"}, false, 0,
        R"(Usage: orlesse-program bids RECORD --dataset DIR --sub LABEL --task LABEL \[--ses LABEL\])");
    // An option a command does not take, or without its value, in the parser's words.
    row("orlesse-program", {"play", "p.csv", "--com", "5", "--bogus"}, false, 2,
        R"(orlesse-program: Unknown option 'bogus'\.)");
    row("orlesse-program", {"report", "sessions", "--plot"}, false, 2,
        R"(orlesse-program: Missing value after '--plot'\.)");
}

void TestCommandLine::answersOptions() {
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, offscreen);
    QFETCH(int, exitCode);
    QFETCH(QString, line);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QLatin1String(name));
    }
    if (offscreen) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(m_bin + u'/' + program, arguments);
    QVERIFY(process.waitForFinished(30000));
    // A Windows console program ends its lines with CR LF.
    const QString text =
        QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError())
            .replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QRegularExpression wholeLine(u'^' + line + u'$', QRegularExpression::MultilineOption);
    QVERIFY2(wholeLine.match(text).hasMatch(), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_CommandLine.moc"
