#include "analysis/ProgramCheck.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analysis/Simulation.h"
#include "core/ClockText.h"
#include "programs/ProgramPlayback.h"
#include "programs/SegmentPlayer.h"

namespace {

constexpr int MaxLevel = SegmentPlayer::MaxLevel;

CheckFinding error(int line, const QString& text) {
    return {CheckFinding::Kind::Error, line, text};
}

CheckFinding warning(int line, const QString& text) {
    return {CheckFinding::Kind::Warning, line, text};
}

// The six values of one line, read by the program reader; a failure names the given line.
ProgramRecord recordOfLine(const QByteArray& text, int line) {
    ProgramReader reader(text);
    try {
        ProgramRecord record = reader.readRecord();
        record.lines.fill(line);
        return record;
    } catch (const ProgramError& failure) {
        throw ProgramError(line, failure.reason());
    }
}

bool isBlankLine(const QByteArray& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// A ramp from one value to another as written, judged by the values it shows (levels are
// shown limited to 0..255). It reaches one step short of its end value at best, since the step
// onto the end value is never due within the segment. Says so when it stops further short than
// that, or runs past its end value.
std::optional<QString> rampProblem(const char* what, int from, int to, int shownTo, int reached,
                                   const ProgramRecord& record) {
    if (from == to) {
        return std::nullopt;
    }
    const int direction = to > from ? 1 : -1;
    const int steps = std::abs(to - from);
    if ((reached - shownTo) * direction > 0) {
        return QStringLiteral(
                   "the %1 ramp from %2 to %3 goes past its end value to %4: a level "
                   "above 255 counts as 255 from the first step on, and the ramp "
                   "still takes its %5 steps")
            .arg(QLatin1String(what))
            .arg(from)
            .arg(to)
            .arg(reached)
            .arg(steps);
    }
    if ((shownTo - reached) * direction <= 1) {
        return std::nullopt;
    }
    const double interval = static_cast<double>(record.nDuration) / steps;
    const double frameGap = SegmentPlayer::halfPeriod(record.nStartFrequency);
    QString why;
    if (interval < frameGap) {
        why = QStringLiteral(
                  "its steps fall due every %1 s, but a frame goes out only every %2 s "
                  "and each frame takes one step at most")
                  .arg(interval, 0, 'g', 3)
                  .arg(frameGap, 0, 'g', 3);
    } else {
        why = QStringLiteral("each of its %1 steps waits for the next frame, and the waits add up")
                  .arg(steps);
    }
    return QStringLiteral("the %1 ramp from %2 to %3 reaches only %4: %5")
        .arg(QLatin1String(what))
        .arg(from)
        .arg(to)
        .arg(reached)
        .arg(why);
}

// Warnings for a record that played whole.
void warnAboutSegment(const SegmentTrace& played, QList<CheckFinding>& findings) {
    const ProgramRecord& record = played.record;
    const int line = record.line();
    if (record.nDuration <= 0) {
        findings.append(warning(line, QStringLiteral("the segment lasts %1 seconds and plays "
                                                     "nothing")
                                          .arg(record.nDuration)));
        return;
    }
    if (const auto text = rampProblem("frequency", record.nStartFrequency, record.nEndFrequency,
                                      record.nEndFrequency, played.lastFrequency, record)) {
        findings.append(warning(line, *text));
    }
    // The device shows levels 0 to 255: the ramp is judged by the levels it shows.
    if (played.litFrames > 0) {
        if (const auto text = rampProblem("level", record.nStartBrightness, record.nEndBrightness,
                                          std::clamp<int>(record.nEndBrightness, 0, MaxLevel),
                                          played.lastLevel, record)) {
            findings.append(warning(line, *text));
        }
    }
}

void addToRanges(CheckReport& report, const SegmentTrace& played) {
    if (played.frames > 0) {
        report.minFrequency =
            std::min(report.minFrequency.value_or(played.minFrequency), played.minFrequency);
        report.maxFrequency =
            std::max(report.maxFrequency.value_or(played.maxFrequency), played.maxFrequency);
    }
    if (played.litFrames > 0) {
        report.minLevel = std::min(report.minLevel.value_or(played.minLevel), played.minLevel);
        report.maxLevel = std::max(report.maxLevel.value_or(played.maxLevel), played.maxLevel);
    }
}

// Where the window's run of the file ends, and what it leaves unplayed.
QString describeWindowRun(const ProgramTrace& trace) {
    if (!trace.failure) {
        return {};
    }
    const ProgramError& failure = *trace.failure;
    const QString quoted = QStringLiteral("\"%1\"").arg(failure.message());
    if (failure.line() == 0) {
        return QStringLiteral("the window plays nothing: %1").arg(quoted);
    }
    if (!trace.segments.isEmpty() && trace.segments.last().record.line() == failure.line()) {
        const SegmentTrace& last = trace.segments.last();
        return QStringLiteral(
                   "the window's run ends %1 s into the segment of line %2 with %3; "
                   "no record after it plays")
            .arg(last.end - last.start, 0, 'f', 1)
            .arg(failure.line())
            .arg(quoted);
    }
    return QStringLiteral(
               "the window's run ends at line %1 with %2, after %3 record(s); no "
               "record from line %1 on plays")
        .arg(failure.line())
        .arg(quoted)
        .arg(trace.segments.size());
}

// The segments of the window's run by the line of their record, for the records read from one
// line alone; a record the window read across lines, and the one at which a run too long to
// work out was stopped, are not among them.
QHash<int, const SegmentTrace*> segmentsByLine(const ProgramTrace& trace) {
    QHash<int, const SegmentTrace*> byLine;
    for (const SegmentTrace& segment : trace.segments) {
        const auto& lines = segment.record.lines;
        const int line = segment.record.line();
        if (line != trace.stoppedAtLine &&
            std::all_of(lines.begin(), lines.end(), [line](int l) { return l == line; })) {
            byLine.insert(line, &segment);
        }
    }
    return byLine;
}

// Judges one played record: its ranges, and either the failure it ended with or its warnings.
void judge(CheckReport& report, const SegmentTrace& played,
           const std::optional<ProgramError>& failure) {
    addToRanges(report, played);
    if (failure) {
        report.findings.append(error(played.record.line(), failure->reason()));
    } else {
        warnAboutSegment(played, report.findings);
    }
}

// Plays the records the window's run did not play, in file order, through the playback routine
// on the simulated clock, as a file of just those records would play. A record that fails is
// reported and the run goes on with the next.
void checkRest(CheckReport& report, const QList<ProgramRecord>& records) {
    SimulatedRig rig;
    QList<SegmentTrace> played;
    ProgramPlayback::Hooks hooks;
    hooks.segmentStarting = [&](const ProgramRecord& record) {
        SegmentTrace segment;
        segment.record = record;
        segment.start = rig.clock().now();
        played.append(segment);
    };
    hooks.frameWritten = [&played](const SegmentPlayer::Frame& frame) { played.last().add(frame); };
    qsizetype next = 0;
    while (next < records.size()) {
        played.clear();
        rig.context().state.ProgramRunning = true;
        const std::optional<ProgramError> failure =
            ProgramPlayback(rig.context(), hooks).playRecords(records.mid(next));
        for (qsizetype i = 0; i < played.size(); ++i) {
            judge(report, played[i], i + 1 == played.size() ? failure : std::nullopt);
        }
        if (!failure || played.isEmpty()) {
            break;
        }
        next += played.size();
    }
}

}  // namespace

bool CheckReport::hasErrors() const {
    return std::any_of(findings.begin(), findings.end(), [](const CheckFinding& finding) {
        return finding.kind == CheckFinding::Kind::Error;
    });
}

CheckReport checkProgram(const QByteArray& bytes) {
    return analyseProgram(bytes).report;
}

CheckedProgram analyseProgram(const QByteArray& bytes) {
    CheckedProgram result;
    CheckReport& report = result.report;
    // The window's run of the file: the chart of the editor and plot, where a run with an error
    // ends, and the warnings of every record it plays whole.
    result.trace = traceProgram(bytes);
    const ProgramTrace& trace = result.trace;
    ProgramReader lines(bytes);
    if (bytes.isEmpty()) {
        report.findings.append(
            error(0, QStringLiteral("the file is empty: it has no header line")));
        report.windowRun = describeWindowRun(trace);
        return result;
    }

    const QByteArray header = lines.readLine();
    if (header.count(',') == ProgramRecord::FieldCount - 1) {
        try {
            recordOfLine(header, 1);
            report.findings.append(
                warning(1, QStringLiteral("the first line holds six values like a record, but "
                                          "the first line is always skipped as the header: this "
                                          "record does not play")));
        } catch (const ProgramError&) {
            // A header with six titles is what a header should be.
        }
    }

    // Every line is judged on its own, going on after an error. A record the window's run
    // played is judged by what it did there; the others are played afterwards, so that every
    // record is worked out once.
    const QHash<int, const SegmentTrace*> playedByWindow = segmentsByLine(trace);
    QList<ProgramRecord> rest;
    qint64 simulatedFrames = 0;
    while (!lines.atEnd()) {
        const int line = lines.line();
        const QByteArray text = lines.readLine();
        const qsizetype values = isBlankLine(text) ? 0 : text.count(',') + 1;
        if (values != ProgramRecord::FieldCount) {
            report.findings.append(error(
                line, QStringLiteral("the line holds %1 values, not 6; the window reads values "
                                     "across lines, so this shifts every record after it")
                          .arg(values)));
            continue;
        }
        ProgramRecord record;
        try {
            record = recordOfLine(text, line);
            ProgramPlayback::checkStartFrequency(record);
        } catch (const ProgramError& failure) {
            report.findings.append(error(line, failure.reason()));
            continue;
        }
        ++report.segments;
        report.totalSeconds += std::max<int>(record.nDuration, 0);
        simulatedFrames += estimatedFrames(record);
        if (simulatedFrames > MaxSimulatedFrames) {
            report.findings.append(
                warning(line, QStringLiteral("the program sends more than %1 frames by here, too "
                                             "many to work out: this record's ramps are not "
                                             "checked")
                                  .arg(MaxSimulatedFrames)));
            continue;
        }
        const SegmentTrace* played = playedByWindow.value(line);
        if (played == nullptr) {
            rest.append(record);
            continue;
        }
        // The failure of the window's run belongs to the segment it ended in.
        const bool failedHere =
            trace.failure && played == &trace.segments.last() && trace.failure->line() == line;
        judge(report, *played, failedHere ? trace.failure : std::nullopt);
    }
    checkRest(report, rest);

    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const CheckFinding& a, const CheckFinding& b) { return a.line < b.line; });
    if (report.hasErrors()) {
        report.windowRun = describeWindowRun(trace);
    }
    return result;
}
QStringList formatReport(const QString& name, const CheckReport& report) {
    QStringList out;
    for (const CheckFinding& finding : report.findings) {
        const QString kind = finding.kind == CheckFinding::Kind::Error ? QStringLiteral("error")
                                                                       : QStringLiteral("warning");
        const QString where =
            finding.line > 0 ? QStringLiteral("%1:%2").arg(name).arg(finding.line) : name;
        out << QStringLiteral("%1: %2: %3").arg(where, kind, finding.text);
    }
    if (!report.windowRun.isEmpty()) {
        out << QStringLiteral("%1: %2").arg(name, report.windowRun);
    }
    QString summary = QStringLiteral("%1: %2 segment%3, %4")
                          .arg(name)
                          .arg(report.segments)
                          .arg(report.segments == 1 ? QString() : QStringLiteral("s"))
                          .arg(clockText(report.totalSeconds));
    if (report.minFrequency) {
        summary +=
            QStringLiteral(", %1 to %2 Hz").arg(*report.minFrequency).arg(*report.maxFrequency);
    }
    if (report.minLevel) {
        summary += QStringLiteral(", level %1 to %2").arg(*report.minLevel).arg(*report.maxLevel);
    }
    out << summary;
    return out;
}
