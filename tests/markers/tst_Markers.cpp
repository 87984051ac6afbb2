// The markers layer without liblsl: what a missing or wrong library reports, the clock mapping
// on made-up clocks, and the names and source ids by which recorders find a stream again.
#include <QDir>
#include <QTest>

#include "markers/ClockMapping.h"
#include "markers/LslLibrary.h"
#include "markers/MarkerOutlet.h"

class MarkersTest : public QObject {
    Q_OBJECT

  private slots:
    void missingLibraryIsExplained_data();
    void missingLibraryIsExplained();
    void openingWithoutLiblslFails();
    void clockMappingKeepsTheTightestBracket_data();
    void clockMappingKeepsTheTightestBracket();
    void sourceIdFollowsDeviceAndHost_data();
    void sourceIdFollowsDeviceAndHost();
};

void MarkersTest::missingLibraryIsExplained_data() {
    QTest::addColumn<QStringList>("candidates");
    QTest::addColumn<QStringList>("said");
#ifdef Q_OS_WIN
    const QString absent = QStringLiteral("C:\\nowhere\\lsl.dll");
    const QString other = QStringLiteral("kernel32.dll");
#else
    const QString absent = QStringLiteral("/nowhere/liblsl.so.2");
    const QString other = QStringLiteral("libc.so.6");
#endif
    QTest::newRow("absent file") << QStringList{absent} << QStringList{absent};
    QTest::newRow("absent name") << QStringList{QStringLiteral("liblsl-absent.so.2")}
                                 << QStringList{QStringLiteral("liblsl-absent.so.2 in the "
                                                               "system's library folders")};
    QTest::newRow("a library that is not liblsl")
        << QStringList{absent, other}
        << QStringList{absent, other + QStringLiteral(" lacks lsl_library_version"),
                       QStringLiteral("lsl_push_sample_strtp")};
}

void MarkersTest::missingLibraryIsExplained() {
    QFETCH(QStringList, candidates);
    QFETCH(QStringList, said);
    QString error;
    QVERIFY(LslLibrary::load(&error, candidates) == nullptr);
    said << QStringLiteral("https://github.com/sccn/liblsl/releases");
    for (const QString& part : said) {
        QVERIFY2(error.contains(part), qPrintable(error));
    }
}

void MarkersTest::openingWithoutLiblslFails() {
    QString error;
    if (LslLibrary::load(&error)) {
        QSKIP("liblsl is installed here");
    }
    QVERIFY(MarkerOutlet::open(MarkerStream::forDevice(QStringLiteral("COM3")), &error) == nullptr);
    for (const QString& candidate : LslLibrary::defaultCandidates()) {
        QVERIFY2(error.contains(QDir::toNativeSeparators(candidate)), qPrintable(error));
    }
}

void MarkersTest::clockMappingKeepsTheTightestBracket_data() {
    // Each round reads steady, LSL, steady; the gaps are the time before each read.
    QTest::addColumn<QList<double>>("gaps");
    QTest::addColumn<double>("uncertainty");
    QTest::newRow("even") << QList<double>{1e-6, 1e-6, 1e-6, 1e-6, 1e-6, 1e-6} << 1e-6;
    QTest::newRow("tight round between interrupted ones")
        << QList<double>{1e-6, 5e-3, 1e-6, 2e-6, 1e-6, 3e-6, 1e-6, 1e-6, 4e-3} << 2e-6;
    QTest::newRow("tight round first, LSL read late in it")
        << QList<double>{1e-6, 6e-6, 0.0, 1e-6, 2e-3, 2e-3} << 3e-6;
}

void MarkersTest::clockMappingKeepsTheTightestBracket() {
    QFETCH(QList<double>, gaps);
    QFETCH(double, uncertainty);
    const double offset = -86400.25;  // LSL's clock minus the steady one
    double now = 1000;
    int read = 0;
    const auto tick = [&] { return now += gaps[read++]; };
    const ClockMapping mapping = ClockMapping::measure(
        tick, [&] { return tick() + offset; }, int(gaps.size() / 3));
    QCOMPARE(read, int(gaps.size()));
    QVERIFY(qAbs(mapping.uncertainty() - uncertainty) < 1e-9);
    QVERIFY2(qAbs(mapping.offset() - offset) <= mapping.uncertainty() + 1e-9,
             qPrintable(QString::number(mapping.offset() - offset)));
    QVERIFY(qAbs(mapping.toSteady(mapping.toLsl(now)) - now) < 1e-9);
}

void MarkersTest::sourceIdFollowsDeviceAndHost_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("same");  // as COM3 on lab-pc
    QTest::newRow("the same, other case") << "com3"
                                          << "Lab-PC" << true;
    QTest::newRow("other port") << "COM4"
                                << "lab-pc" << false;
    QTest::newRow("other host") << "COM3"
                                << "lab-pc-2" << false;
}

void MarkersTest::sourceIdFollowsDeviceAndHost() {
    QFETCH(QString, port);
    QFETCH(QString, host);
    QFETCH(bool, same);
    const MarkerStream reference = MarkerStream::forDevice(QStringLiteral("COM3"), "lab-pc");
    const MarkerStream stream = MarkerStream::forDevice(port, host);
    QCOMPARE(stream.sourceId == reference.sourceId, same);
    // The name tells them apart too.
    QVERIFY2(stream.name.contains(port.toUpper()) && stream.name.contains(host),
             qPrintable(stream.name));
    // Made again, as after a restart: the same.
    QCOMPARE(MarkerStream::forDevice(port, host).sourceId, stream.sourceId);
}

QTEST_GUILESS_MAIN(MarkersTest)
#include "tst_Markers.moc"
