// The marker outlet against a real liblsl, built from its source tarball for this suite alone:
// an inlet of liblsl's own C API in the same process finds the stream by source id and by name
// and receives every marker, in order, with its text and its time.
//
// LSL stays on this machine. With the configuration written below liblsl's resolver sends its
// queries to 127.0.0.1 alone: the machine scope makes 127.0.0.1 its whole "multicast" list
// (time to live 0, no group joined), the one known peer is 127.0.0.1, IPv6 is off. liblsl reads
// the file named by LSLAPICFG once, at first need; the suite checks that it did before anything
// opens a socket.
#include <lsl_c.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <type_traits>

#include "core/DeadlineAlarm.h"
#include "device/ComPorts.h"
#include "markers/MarkerOutlet.h"
#include "records/SessionFiles.h"
#include "support/SimulatorLog.h"
#include "support/TestFiles.h"

#include <csignal>

// The functions LslLibrary declares by hand have the signatures of liblsl's header.
using Api = LslLibrary::Api;
static_assert(std::is_same_v<decltype(Api::libraryVersion), decltype(&lsl_library_version)>);
static_assert(std::is_same_v<decltype(Api::localClock), decltype(&lsl_local_clock)>);
static_assert(std::is_same_v<decltype(Api::destroyStreamInfo), decltype(&lsl_destroy_streaminfo)>);
static_assert(std::is_same_v<decltype(Api::getDesc), decltype(&lsl_get_desc)>);
static_assert(std::is_same_v<decltype(Api::appendChildValue), decltype(&lsl_append_child_value)>);
static_assert(std::is_same_v<decltype(Api::createOutlet), decltype(&lsl_create_outlet)>);
static_assert(std::is_same_v<decltype(Api::destroyOutlet), decltype(&lsl_destroy_outlet)>);
static_assert(std::is_same_v<decltype(Api::pushSampleStrtp), decltype(&lsl_push_sample_strtp)>);
static_assert(std::is_same_v<decltype(Api::lastError), decltype(&lsl_last_error)>);
static_assert(std::is_same_v<decltype(Api::haveConsumers), decltype(&lsl_have_consumers)>);
// lsl_create_streaminfo takes its format as lsl_channel_format_t, passed as a 4-byte integer.
static_assert(sizeof(lsl_channel_format_t) == sizeof(int32_t) &&
              cft_string == LslLibrary::StringFormat);

namespace {

constexpr double Patience = 60;  // seconds for a resolve, a connection or a marker

using Inlet = std::unique_ptr<lsl_inlet_struct_, decltype(&lsl_destroy_inlet)>;
using Info = std::unique_ptr<lsl_streaminfo_struct_, decltype(&lsl_destroy_streaminfo)>;

// The one stream whose prop has value, or none.
Info resolveOne(const char* prop, const QByteArray& value) {
    lsl_streaminfo found[2] = {};
    const int count = lsl_resolve_byprop(found, 2, prop, value.constData(), 1, Patience);
    for (int i = 1; i < count; ++i) {
        lsl_destroy_streaminfo(found[i]);
    }
    return Info(count == 1 ? found[0] : nullptr, &lsl_destroy_streaminfo);
}

struct Marker {
    QString text;
    double time = 0;
};

// The next marker from inlet, or one with time 0 when none came in time.
Marker pull(lsl_inlet inlet) {
    const QDeadlineTimer deadline(static_cast<qint64>(Patience * 1000));
    char* text[1] = {nullptr};
    int32_t error = 0;
    double time = 0;
    while (time == 0 && error == 0 && !deadline.hasExpired()) {
        time = lsl_pull_sample_str(inlet, text, 1, 1.0, &error);
    }
    Marker marker{QString::fromUtf8(text[0]), time};
    lsl_destroy_string(text[0]);
    return marker;
}

}  // namespace

class MarkerOutletTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void recorderReceivesEveryMarker();
    void lslTimesFollowTheSteadyClock();
    void aPlayedRunIsMarkedFrameByFrame();

  private:
    QTemporaryDir m_dir;
    MarkerStream m_stream;
    std::unique_ptr<MarkerOutlet> m_outlet;
};

void MarkerOutletTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    const QString config = m_dir.filePath(QStringLiteral("lsl_api.cfg"));
    const QString log = m_dir.filePath(QStringLiteral("lsl.log"));
    putFile(config, QStringLiteral("[ports]\nIPv6 = disable\n"
                                   "[multicast]\nResolveScope = machine\n"
                                   "[lab]\nKnownPeers = {127.0.0.1}\n"
                                   "[log]\nlevel = 0\nfile = %1\n")
                        .arg(log)
                        .toUtf8());
    qputenv("LSLAPICFG", QFile::encodeName(config));
    // Reads the configuration, and opens nothing.
    lsl_protocol_version();
    QVERIFY2(fileBytes(log).contains("Configuration loaded from " + QFile::encodeName(config)),
             fileBytes(log).constData());

    // A host of its own, so that no other run's stream is found instead.
    m_stream = MarkerStream::forDevice(
        QStringLiteral("COM7"), QStringLiteral("test-%1").arg(QCoreApplication::applicationPid()));
    QString error;
    // The default search, which finds the library this suite links by its name.
    m_outlet = MarkerOutlet::open(m_stream, &error);
    QVERIFY2(m_outlet, qPrintable(error));
}

void MarkerOutletTest::recorderReceivesEveryMarker() {
    const Info bySource = resolveOne("source_id", m_stream.sourceId.toUtf8());
    QVERIFY(bySource);
    QCOMPARE(QString::fromUtf8(lsl_get_name(bySource.get())), m_stream.name);
    QCOMPARE(lsl_get_type(bySource.get()), "Markers");
    QCOMPARE(lsl_get_channel_count(bySource.get()), 1);
    QCOMPARE(lsl_get_channel_format(bySource.get()), cft_string);
    QCOMPARE(lsl_get_nominal_srate(bySource.get()), 0.0);
    const Info byName = resolveOne("name", m_stream.name.toUtf8());
    QVERIFY(byName);
    QCOMPARE(QString::fromUtf8(lsl_get_source_id(byName.get())), m_stream.sourceId);

    const Inlet inlet(lsl_create_inlet(bySource.get(), 360, 0, 1), &lsl_destroy_inlet);
    int32_t error = 0;
    // Markers pushed before the inlet is connected are not sent to it.
    lsl_open_stream(inlet.get(), Patience, &error);
    QCOMPARE(error, 0);
    const Info full(lsl_get_fullinfo(inlet.get(), Patience, &error), &lsl_destroy_streaminfo);
    QCOMPARE(error, 0);
    QCOMPARE(lsl_child_value_n(lsl_get_desc(full.get()), "device"), "COM7");

    // Times in the past and the future, texts with what a CSV or a tab-separated log splits on.
    const double now = m_outlet->toLslTime(steadySeconds());
    const QList<Marker> markers = {
        {QStringLiteral("program start"), now - 2.5},
        {QStringLiteral("segment 1\tred,green;blue"), now},
        {QStringLiteral("Grüße, 光 ✓ — 50 %"), now + 0.0004},
        {QString(), now + 0.001},
        {QStringLiteral("program end"), now + 10},
    };
    for (const Marker& marker : markers) {
        if (&marker == &markers.last()) {
            // Refused before anything is sent: liblsl would stamp these "now" and "deduced".
            QVERIFY(!m_outlet->push(QStringLiteral("time 0"), 0.0));
            QVERIFY(!m_outlet->push(QStringLiteral("time -1"), -1.0));
        }
        QString why;
        QVERIFY2(m_outlet->push(marker.text, marker.time, &why), qPrintable(why));
    }
    for (const Marker& sent : markers) {
        const Marker received = pull(inlet.get());
        QVERIFY2(received.time != 0, qPrintable(QStringLiteral("no marker \"%1\"").arg(sent.text)));
        QCOMPARE(received.text, sent.text);
        QVERIFY2(qAbs(received.time - sent.time) < 1e-3,
                 qPrintable(QStringLiteral("%1 s off").arg(received.time - sent.time)));
    }
}

void MarkerOutletTest::lslTimesFollowTheSteadyClock() {
    // An LSL reading between two steady readings maps between them, to within the mapping's
    // uncertainty (and rounding).
    const double slack = m_outlet->clockMapping().uncertainty() + 1e-9;
    for (int i = 0; i < 3; ++i) {
        const double before = steadySeconds();
        const double lsl = m_outlet->lslClock();
        const double after = steadySeconds();
        const double early = lsl - m_outlet->toLslTime(before);
        const double late = m_outlet->toLslTime(after) - lsl;
        QVERIFY2(early >= -slack && late >= -slack,
                 qPrintable(QStringLiteral("%1 s early, %2 s late").arg(-early).arg(-late)));
    }
}

// orlesse-program plays a program into the simulator with --lsl --lsl-frames --record, and an
// inlet here records the stream: it waits for the inlet, and then every segment and every lit
// frame arrives as a marker stamped with the record's time for that frame's write return,
// through the LSL clock at the first frame that the record notes (to the record's microsecond).
void MarkerOutletTest::aPlayedRunIsMarkedFrameByFrame() {
    constexpr int Com = 57;
    constexpr int TimeoutMs = 30000;
    const QString bin = qEnvironmentVariable("ORLESSE_TEST_BIN");
    QVERIFY2(!bin.isEmpty(), "ORLESSE_TEST_BIN is not set");
    const QString program = m_dir.filePath(QStringLiteral("marked.csv"));
    putFile(program,
            "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n"
            "1,40,40,255,255,2\r\n2,20,10,255,100,2\r\n");
    const QString folder = m_dir.filePath(QStringLiteral("records"));
    const QString log = m_dir.filePath(QStringLiteral("sim.log"));

    HeadlessSimulator sim(bin, Com, log);
    QVERIFY(sim.start(TimeoutMs));
    // The tool finds the liblsl this suite links by its name, and reads the same configuration.
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(ORLESSE_LSL_LIBRARY_DIR));
    tool.setProcessEnvironment(environment);
    tool.start(bin + QStringLiteral("/orlesse-program"),
               {"play", program, "--com", QString::number(Com), "--lsl", "--lsl-frames", "--record",
                folder});
    QVERIFY(tool.waitForStarted(TimeoutMs));

    const MarkerStream stream = MarkerStream::forDevice(ComPorts::displayName(Com));
    const Info info = resolveOne("source_id", stream.sourceId.toUtf8());
    QVERIFY(info);
    const Inlet inlet(lsl_create_inlet(info.get(), 360, 0, 1), &lsl_destroy_inlet);
    int32_t error = 0;
    lsl_open_stream(inlet.get(), Patience, &error);
    QCOMPARE(error, 0);
    QList<Marker> markers;
    while (markers.isEmpty() || !markers.last().text.startsWith(QLatin1String("ended"))) {
        const Marker marker = pull(inlet.get());
        QVERIFY2(marker.time != 0, "a marker is missing");
        // A loaded machine may stall the run; its stall markers are checked on virtual time
        // (tst_SessionRecorder), and the frames it skipped are in neither list.
        if (!marker.text.startsWith(QLatin1String("stall "))) {
            markers.append(marker);
        }
    }
    QVERIFY(tool.waitForFinished(TimeoutMs));
    QCOMPARE(tool.exitCode(), 0);
    QCOMPARE(markers.last().text, QStringLiteral("ended how=finished"));

    QString why;
    const std::optional<SessionFiles::Loaded> loaded = SessionFiles::read(folder, &why);
    QVERIFY2(loaded, qPrintable(why));
    const QJsonObject lsl = loaded->json.value(QLatin1String("LabStreamingLayer")).toObject();
    QCOMPARE(lsl.value(QLatin1String("SourceId")).toString(), stream.sourceId);
    const double firstFrame = lsl.value(QLatin1String("ClockAtFirstFrame")).toDouble();
    const auto frames = SessionFiles::readFrames(*loaded, &why);
    QVERIFY2(frames, qPrintable(why));

    // The markers that stand for frames, in order: a segment's marker before its first frame's.
    QStringList expected;
    QList<double> writes;
    int line = 0;
    for (const SessionFiles::FrameRow& frame : *frames) {
        if (frame.lit < 0) {
            continue;
        }
        if (frame.line != line) {
            line = frame.line;
            expected << QStringLiteral("segment line=%1").arg(line);
            writes << frame.returned;
        }
        if (frame.lit == 1) {
            expected << QStringLiteral("frame line=%1 hz=%2").arg(line).arg(frame.hz);
            writes << frame.returned;
        }
    }
    QCOMPARE(markers.size(), expected.size() + 1);
    QVERIFY(expected.size() > 100);
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QVERIFY2(markers[i].text.startsWith(expected[i]),
                 qPrintable(QStringLiteral("%1, not %2").arg(markers[i].text, expected[i])));
        const double off = markers[i].time - (firstFrame + writes[i]);
        QVERIFY2(qAbs(off) < 2e-6,
                 qPrintable(QStringLiteral("%1: %2 µs off").arg(markers[i].text).arg(off * 1e6)));
    }
}

QTEST_GUILESS_MAIN(MarkerOutletTest)
#include "tst_MarkerOutlet.moc"
