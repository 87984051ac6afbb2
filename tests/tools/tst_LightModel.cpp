#include <QTest>

#include "LightModel.h"

namespace {

constexpr qint64 ms = 1'000'000;

// "84 0000FF" -> a frame with that address and colour.
Frame parse(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(' '));
    Frame f;
    f.address = static_cast<quint8>(parts.at(0).toUInt(nullptr, 16));
    f.colour = parts.at(1).toUInt(nullptr, 16);
    return f;
}

QString segmentsText(const LightModel& model) {
    QStringList colours;
    for (int s = 1; s <= LightModel::SegmentCount; ++s) {
        colours
            << QStringLiteral("%1").arg(model.segmentColour(s), 6, 16, QLatin1Char('0')).toUpper();
    }
    return colours.join(QLatin1Char(' '));
}

}  // namespace

class TestLightModel : public QObject {
    Q_OBJECT
  private slots:
    void showsFrames_data();
    void showsFrames();
    void countsFramesAndMalformed();
    void measuresFlashFrequency_data();
    void measuresFlashFrequency();
};

void TestLightModel::showsFrames_data() {
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QString>("segments");
    QTest::addColumn<bool>("white");

    const QString dark = QStringLiteral("000000 000000 000000 000000");
    QTest::newRow("nothing yet") << QStringList{} << dark << false;
    QTest::newRow("00 sets all four")
        << QStringList{"00 FF0000"} << "FF0000 FF0000 FF0000 FF0000" << false;
    QTest::newRow("each segment its own")
        << QStringList{"01 FF0000", "02 00FF00", "03 0000FF", "04 FFFF00"}
        << "FF0000 00FF00 0000FF FFFF00" << false;
    QTest::newRow("00 overrides segments") << QStringList{"01 FF0000", "04 FFFF00", "00 123456"}
                                           << "123456 123456 123456 123456" << false;
    QTest::newRow("segment after 00")
        << QStringList{"00 FF0000", "03 00FF00"} << "FF0000 FF0000 00FF00 FF0000" << false;
    QTest::newRow("80 lights white and all")
        << QStringList{"80 888888"} << "888888 888888 888888 888888" << true;
    QTest::newRow("84 white and segment 4")
        << QStringList{"84 0000FF"} << "000000 000000 000000 0000FF" << true;
    QTest::newRow("frame without white bit turns it off")
        << QStringList{"80 FFFFFF", "02 00FF00"} << "FFFFFF 00FF00 FFFFFF FFFFFF" << false;
    QTest::newRow("black 00 switches off")
        << QStringList{"80 FFFFFF", "00 000000"} << dark << false;
    QTest::newRow("white with black colour") << QStringList{"80 000000"} << dark << true;
    QTest::newRow("unknown segment keeps colours, white follows")
        << QStringList{"00 FF0000", "85 00FF00"} << "FF0000 FF0000 FF0000 FF0000" << true;
    QTest::newRow("segment 7F") << QStringList{"01 FF0000", "7F 00FF00"}
                                << "FF0000 000000 000000 000000" << false;
}

void TestLightModel::showsFrames() {
    QFETCH(QStringList, frames);
    QFETCH(QString, segments);
    QFETCH(bool, white);

    LightModel model;
    qint64 t = 0;
    for (const QString& f : frames) {
        model.apply(parse(f), t += ms);
    }
    QCOMPARE(segmentsText(model), segments);
    QCOMPARE(model.whiteOn(), white);
    QCOMPARE(model.frameCount(), quint64(frames.size()));
    QCOMPARE(model.segmentColour(0), 0u);
    QCOMPARE(model.segmentColour(5), 0u);
}

void TestLightModel::countsFramesAndMalformed() {
    LightModel model;
    model.apply(parse("00 FF0000"), 0);
    model.noteMalformed();
    model.apply(parse("09 FF0000"), 1);
    model.noteMalformed();
    model.noteMalformed();
    QCOMPARE(model.frameCount(), 2u);
    QCOMPARE(model.malformedCount(), 3u);
}

void TestLightModel::measuresFlashFrequency_data() {
    // Frames as "<ms> <address> <colour>"; the reading is taken at nowMs.
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<qint64>("nowMs");
    QTest::addColumn<double>("hz");

    auto flashing = [](int periodMs, int count, const QString& lit, int startMs = 0) {
        QStringList out;
        for (int i = 0; i < count; ++i) {
            const int t = startMs + i * periodMs;
            out << QStringLiteral("%1 %2").arg(t).arg(lit)
                << QStringLiteral("%1 00 000000").arg(t + periodMs / 2);
        }
        return out;
    };

    QTest::newRow("none") << QStringList{} << qint64(1000) << 0.0;
    QTest::newRow("10 Hz") << flashing(100, 30, "00 FF0000") << qint64(3000) << 10.0;
    QTest::newRow("50 Hz") << flashing(20, 100, "00 FFFF00") << qint64(2000) << 50.0;
    QTest::newRow("1 Hz") << flashing(1000, 5, "00 00FF00") << qint64(4500) << 1.0;
    QTest::newRow("white frames count") << flashing(250, 12, "80 FFFFFF") << qint64(3000) << 4.0;
    QTest::newRow("one flash only") << flashing(100, 1, "00 FF0000") << qint64(100) << 0.0;
    QTest::newRow("steady lit, no dark between")
        << QStringList{"0 00 FF0000", "100 00 00FF00", "200 00 FF0000", "300 80 FFFFFF"}
        << qint64(400) << 0.0;
    QTest::newRow("segment frames ignored")
        << QStringList{"0 01 FF0000", "50 01 000000", "100 01 FF0000", "150 01 000000",
                       "200 01 FF0000"}
        << qint64(300) << 0.0;
    QTest::newRow("segment frames do not break whole-device count")
        << QStringList{"0 00 FF0000",   "50 00 000000",  "60 02 FF0000", "100 00 FF0000",
                       "150 00 000000", "160 02 000000", "200 00 FF0000"}
        << qint64(250) << 10.0;
    QTest::newRow("drops to 0 after stopping")
        << flashing(100, 20, "00 FF0000") << qint64(4000) << 0.0;
    QTest::newRow("only the window counts")
        << flashing(20, 50, "00 FF0000") + flashing(500, 8, "00 FF0000", 1000) << qint64(5000)
        << 2.0;
}

void TestLightModel::measuresFlashFrequency() {
    QFETCH(QStringList, frames);
    QFETCH(qint64, nowMs);
    QFETCH(double, hz);

    LightModel model(2000 * ms);
    for (const QString& line : frames) {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        model.apply(parse(line.mid(space + 1)), line.left(space).toLongLong() * ms);
    }
    QCOMPARE(model.flashFrequency(nowMs * ms), hz);
}

QTEST_APPLESS_MAIN(TestLightModel)
#include "tst_LightModel.moc"
