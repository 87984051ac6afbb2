#include "records/RecordSchema.h"

namespace RecordSchema {

namespace {

constexpr std::array<ColumnSpec, EventColumnCount> EventColumns{{
    {EventColumn::Onset, QLatin1String("onset")},
    {EventColumn::Duration, QLatin1String("duration")},
    {EventColumn::TrialType, QLatin1String("trial_type")},
    {EventColumn::Line, QLatin1String("line")},
    {EventColumn::SegmentId, QLatin1String("segment_id")},
    {EventColumn::StartHz, QLatin1String("start_hz")},
    {EventColumn::EndHz, QLatin1String("end_hz")},
    {EventColumn::StartLevel, QLatin1String("start_level")},
    {EventColumn::EndLevel, QLatin1String("end_level")},
    {EventColumn::LitFrames, QLatin1String("lit_frames")},
    {EventColumn::DeliveredHz, QLatin1String("delivered_hz")},
    {EventColumn::Ratio, QLatin1String("ratio")},
    {EventColumn::LateP99Ms, QLatin1String("late_p99_ms")},
    {EventColumn::LateMaxMs, QLatin1String("late_max_ms")},
    {EventColumn::JitterMs, QLatin1String("jitter_ms")},
    {EventColumn::AskedHz, QLatin1String("asked_hz")},
    {EventColumn::Stalls, QLatin1String("stalls")},
    {EventColumn::SkippedFrames, QLatin1String("skipped_frames")},
    {EventColumn::Note, QLatin1String("note")},
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

const std::array<ColumnSpec, EventColumnCount>& eventColumns() {
    return EventColumns;
}

const ColumnSpec& eventColumn(EventColumn column) {
    return EventColumns[static_cast<size_t>(column)];
}

QStringList eventColumnNames() {
    QStringList names;
    for (const ColumnSpec& spec : EventColumns) {
        names << spec.name;
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
