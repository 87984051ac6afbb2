// editor_redraw: how long the editor takes to redraw what a program will do after a change.
//
// For each program, the work the editor does off the window's thread (the check and the run on
// the simulated clock) and the painting of its chart at the editor's size, each timed five times
// on the real clock; the median is printed. Without arguments it measures the example programs
// beside the executable and a two-hour program that it writes itself (12 to 40 Hz, ramps of
// both kinds), the longest a session is likely to be.
//   editor_redraw [FILE...]
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <vector>

#include <QImage>
#include <QPainter>

#include "analysis/ProgramCheck.h"
#include "charts/ProgramPlot.h"
#include "core/ClockText.h"
#include "programs/ProgramReader.h"

namespace {

constexpr int Repetitions = 5;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    QStringList files = app.arguments().mid(1);
    QTemporaryDir dir;
    if (files.isEmpty()) {
        const QDir bin(QCoreApplication::applicationDirPath());
        for (const QString& name : bin.entryList({QStringLiteral("*.csv")}, QDir::Files)) {
            files << bin.filePath(name);
        }
        const QString twoHours = dir.filePath(QStringLiteral("two-hours-12-to-40-hz.csv"));
        QFile file(twoHours);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(
                "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n"
                "1,40,40,255,255,1800\r\n2,40,12,255,100,1800\r\n"
                "3,12,12,100,100,1800\r\n4,12,40,100,255,1800\r\n");
            file.close();
            files << twoHours;
        }
    }

    QTextStream out(stdout);
    out << "program                              length   analysis (ms)   chart paint (ms)\n";
    // The size of the editor's chart in its window.
    const QSize chartSize(1080, 420);
    for (const QString& path : files) {
        QByteArray bytes;
        try {
            bytes = ProgramReader::readFile(path);
        } catch (const ProgramError& failure) {
            out << failure.message() << '\n';
            continue;
        }
        std::vector<double> analysis;
        std::vector<double> paint;
        CheckedProgram result;
        for (int i = 0; i < Repetitions; ++i) {
            QElapsedTimer timer;
            timer.start();
            result = analyseProgram(bytes);
            analysis.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            QImage image(chartSize, QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&image);
            paintProgram(painter, result.trace, QFileInfo(path).fileName(), chartSize);
            painter.end();
            paint.push_back(timer.nsecsElapsed() / 1e6);
        }
        out << QStringLiteral("%1 %2 %3 %4\n")
                   .arg(QFileInfo(path).fileName(), -34)
                   .arg(clockText(result.trace.length()), 8)
                   .arg(median(analysis), 15, 'f', 1)
                   .arg(median(paint), 18, 'f', 1);
    }
    return 0;
}
