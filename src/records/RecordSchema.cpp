#include "records/RecordSchema.h"

namespace RecordSchema {

namespace {

constexpr std::array<ColumnDescription, EventColumnCount> EventColumns{{
    {EventColumn::Onset, QLatin1String("onset"), "Onset",
     "Seconds from the run's first frame (its due time), on the controller's monotonic clock.",
     "s"},
    {EventColumn::Duration, QLatin1String("duration"), "Duration",
     "Seconds. A segment: until the next segment started or the records ended. paused: until "
     "the run went on (or ended). device_lost: until the first write the library took again "
     "(or the end). stall: from the due time of the first frame not sent to the write that "
     "ended it, or for a stall that lasted past its segment's end or into a pause, to the start "
     "of the next segment (or the end of the records) or of the pause. 0 for moments.",
     "s"},
    {EventColumn::TrialType, QLatin1String("trial_type"), "Event kind", "What the row stands for.",
     nullptr},
    {EventColumn::Line, QLatin1String("line"), "Program line",
     "The program file's line, from 1: the segment's, the line the event fell in, or for "
     "ended the line that failed.",
     nullptr},
    {EventColumn::SegmentId, QLatin1String("segment_id"), "Segment id",
     "The segment id written on that line.", nullptr},
    {EventColumn::StartHz, QLatin1String("start_hz"), "Start frequency",
     "The segment's start frequency as written in the program file.", "Hz"},
    {EventColumn::EndHz, QLatin1String("end_hz"), "End frequency",
     "The segment's end frequency as written in the program file.", "Hz"},
    {EventColumn::StartLevel, QLatin1String("start_level"), "Start level",
     "The segment's start level (0 to 255) as written in the program file.", nullptr},
    {EventColumn::EndLevel, QLatin1String("end_level"), "End level",
     "The segment's end level (0 to 255) as written in the program file.", nullptr},
    {EventColumn::LitFrames, QLatin1String("lit_frames"), "Lit frames delivered",
     "The segment's lit frames the serial library took; a write it refused is not counted.",
     nullptr},
    {EventColumn::DeliveredHz, QLatin1String("delivered_hz"), "Frequency delivered",
     "ratio times asked_hz.", "Hz"},
    {EventColumn::Ratio, QLatin1String("ratio"), "Cycles delivered over cycles asked",
     "Delivered cycles over asked cycles, both summed over the segment's stretches (the parts "
     "between pauses). In a stretch, the asked cycles are the integral of the frequency asked "
     "from the due time of its first lit frame written to that of its last (each frame's hz "
     "holding from its due time to the next frame's), plus one for each lit frame after the "
     "last one written whose due time had wholly passed in a stall that lasted to the end of "
     "the stretch; the delivered cycles are the stretch's lit frames the library took, less "
     "one. On time it is exactly 1; each lit frame skipped in a stall or refused by the "
     "library takes one cycle off. n/a when less than a cycle was asked.",
     nullptr},
    {EventColumn::LateP99Ms, QLatin1String("late_p99_ms"), "Lateness, 99th percentile",
     "The 99th percentile (nearest rank) of how late the write calls of the segment's paced "
     "frames were, against their due times.",
     "ms"},
    {EventColumn::LateMaxMs, QLatin1String("late_max_ms"), "Lateness, maximum",
     "The maximum of how late the write calls of the segment's paced frames were, against "
     "their due times.",
     "ms"},
    {EventColumn::JitterMs, QLatin1String("jitter_ms"), "Period jitter",
     "The standard deviation (n - 1 in the denominator) of the interval between the write "
     "calls of two consecutive lit frames of a stretch, both taken by the library, less the "
     "interval between their due times. n/a with fewer than two such pairs.",
     "ms"},
    {EventColumn::AskedHz, QLatin1String("asked_hz"), "Frequency asked",
     "The frequency the player was asked for, averaged over the segment from its first frame "
     "to its end with each frequency step weighted by how long it held (from the first frame "
     "that carries it to the next step), paused time left out.",
     "Hz"},
    {EventColumn::Stalls, QLatin1String("stalls"), "Stalls",
     "For a segment: how many stalls it had.", nullptr},
    {EventColumn::SkippedFrames, QLatin1String("skipped_frames"), "Frames skipped",
     "For a segment or a stall: frames not sent because their due time had wholly passed "
     "(a half period or more) before the player ran again.",
     nullptr},
    {EventColumn::Note, QLatin1String("note"), "Note",
     "What happened, in words: the failed writes and their code, the frames skipped, how the "
     "run ended.",
     nullptr},
}};

constexpr bool inEnumOrder() {
    for (size_t i = 0; i < EventColumns.size(); ++i) {
        if (static_cast<size_t>(EventColumns[i].column) != i) {
            return false;
        }
    }
    return true;
}
static_assert(inEnumOrder(), "the events columns are listed in the order of EventColumn");

constexpr std::array<QLatin1String, FrameColumnCount> FrameColumns{
    QLatin1String("due"),    QLatin1String("called"), QLatin1String("returned"),
    QLatin1String("result"), QLatin1String("lead"),   QLatin1String("address"),
    QLatin1String("colour"), QLatin1String("lit"),    QLatin1String("hz"),
    QLatin1String("line")};

}  // namespace

QLatin1String eventKindName(EventKind kind) {
    switch (kind) {
        case EventKind::Segment:
            return QLatin1String("segment");
        case EventKind::Paused:
            return QLatin1String("paused");
        case EventKind::DeviceLost:
            return QLatin1String("device_lost");
        case EventKind::DeviceBack:
            return QLatin1String("device_back");
        case EventKind::Stall:
            return QLatin1String("stall");
        case EventKind::Ended:
            break;
    }
    return QLatin1String("ended");
}

std::optional<EventKind> eventKindNamed(QStringView name) {
    for (const EventKind kind : AllEventKinds) {
        if (name == eventKindName(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

QString eventKindDescription(EventKind kind) {
    switch (kind) {
        case EventKind::Segment:
            return QStringLiteral(
                "A record of the program as it played: flashes between two "
                "frequencies and levels for a number of seconds.");
        case EventKind::Paused:
            return QStringLiteral(
                "The run was held: the light was dark and nothing was sent; "
                "the segment then went on with the seconds it had left.");
        case EventKind::DeviceLost:
            return QStringLiteral(
                "The serial library refused the writes, from the first it "
                "refused to the next it took.");
        case EventKind::DeviceBack:
            return QStringLiteral(
                "The serial library took a frame again after refusing "
                "writes.");
        case EventKind::Stall:
            return QStringLiteral(
                "Frames were not sent because the computer did not run the "
                "player in time: their due times had wholly passed.");
        case EventKind::Ended:
            break;
    }
    return QStringLiteral("The end of the run, with how it ended.");
}

const std::array<ColumnDescription, EventColumnCount>& eventColumns() {
    return EventColumns;
}

const ColumnDescription& eventColumn(EventColumn column) {
    return EventColumns[static_cast<size_t>(column)];
}

QStringList eventColumnNames() {
    QStringList names;
    for (const ColumnDescription& described : EventColumns) {
        names << described.name;
    }
    return names;
}

QLatin1String name(FrameColumn column) {
    return FrameColumns[static_cast<size_t>(column)];
}

QStringList frameColumnNames() {
    QStringList names;
    for (const QLatin1String column : FrameColumns) {
        names << column;
    }
    return names;
}

}  // namespace RecordSchema
