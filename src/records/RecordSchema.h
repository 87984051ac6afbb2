#pragma once

#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <cstddef>
#include <optional>

// The names in a session record's files, in one place: the kinds of rows of the events table
// (its trial_type), the columns of the events and frames tables with what each means, and the
// keys of the record's description (_record.json), of the events table's data dictionary
// (_events.json) and of the report's JSON. The writer, the reader, the report and the chart
// use these names and never spell them out.
namespace RecordSchema {

// What the tables hold where a value does not apply.
inline constexpr QLatin1String NotApplicable("n/a");

// What a row of the events table stands for: its trial_type.
enum class EventKind {
    Segment,     // a record of the program as it played
    Paused,      // the front end held the run
    DeviceLost,  // from the first write the library refused to the next it took
    DeviceBack,  // the library took a frame again
    Stall,       // frames not sent because their time had passed
    Ended,       // the end of the run
};
inline constexpr std::array AllEventKinds{EventKind::Segment,    EventKind::Paused,
                                          EventKind::DeviceLost, EventKind::DeviceBack,
                                          EventKind::Stall,      EventKind::Ended};

// The kind's trial_type ("segment", "device_lost" ...).
QLatin1String eventKindName(EventKind kind);
// The kind a trial_type names; nothing for a name that is none.
std::optional<EventKind> eventKindNamed(QStringView name);
// What a row of the kind means, in a sentence (the data dictionary's level).
QString eventKindDescription(EventKind kind);

// The columns of the events table, in the table's order.
enum class EventColumn {
    Onset,
    Duration,
    TrialType,
    Line,
    SegmentId,
    StartHz,
    EndHz,
    StartLevel,
    EndLevel,
    LitFrames,
    DeliveredHz,
    Ratio,
    LateP99Ms,
    LateMaxMs,
    JitterMs,
    AskedHz,
    Stalls,
    SkippedFrames,
    Note,
};
inline constexpr size_t EventColumnCount = static_cast<size_t>(EventColumn::Note) + 1;

// One column of a table, as the data dictionary describes it.
struct ColumnDescription {
    EventColumn column;
    QLatin1String name;       // the header's name
    const char* longName;     // LongName
    const char* description;  // Description: what it holds and how it is worked out
    const char* units;        // Units (BIDS symbols); nullptr for a column without units
};

// The events table's columns, in order.
const std::array<ColumnDescription, EventColumnCount>& eventColumns();
// The description of one column.
const ColumnDescription& eventColumn(EventColumn column);
// The header's name of one column.
inline QLatin1String name(EventColumn column) {
    return eventColumn(column).name;
}
// The events table's header names, in order.
QStringList eventColumnNames();

// The columns of the frames table, in the table's order.
enum class FrameColumn { Due, Called, Returned, Result, Lead, Address, Colour, Lit, Hz, Line };
inline constexpr size_t FrameColumnCount = static_cast<size_t>(FrameColumn::Line) + 1;

// The header's name of a frames column.
QLatin1String name(FrameColumn column);
// The frames table's header names, in order.
QStringList frameColumnNames();

// The files' names: <program>_<start> followed by these.
namespace Suffix {
inline constexpr QLatin1String Events("_events.tsv");
inline constexpr QLatin1String EventsSidecar("_events.json");
inline constexpr QLatin1String Frames("_frames.tsv");
inline constexpr QLatin1String Gzipped(".gz");
inline constexpr QLatin1String Record("_record.json");
}  // namespace Suffix

// The keys of the JSON files.
namespace Key {
// The record's description.
inline constexpr QLatin1String Software("Software");
inline constexpr QLatin1String SoftwareProgram("SoftwareProgram");
inline constexpr QLatin1String SoftwareVersion("SoftwareVersion");
inline constexpr QLatin1String OperatingSystem("OperatingSystem");
inline constexpr QLatin1String QtVersion("QtVersion");
inline constexpr QLatin1String ComPort("ComPort");
inline constexpr QLatin1String Number("Number");
inline constexpr QLatin1String Name("Name");
inline constexpr QLatin1String DevicePath("DevicePath");
inline constexpr QLatin1String Identity("Identity");
inline constexpr QLatin1String Program("Program");
inline constexpr QLatin1String FileName("FileName");
inline constexpr QLatin1String Path("Path");
inline constexpr QLatin1String Size("Size");
inline constexpr QLatin1String Sha256("SHA256");
inline constexpr QLatin1String Text("Text");
inline constexpr QLatin1String StartTime("StartTime");
inline constexpr QLatin1String StartMonotonic("StartMonotonic");
inline constexpr QLatin1String WhiteLeds("WhiteLEDs");
inline constexpr QLatin1String Ended("Ended");
inline constexpr QLatin1String How("How");
inline constexpr QLatin1String Signal("Signal");
inline constexpr QLatin1String Line("Line");
inline constexpr QLatin1String Message("Message");
inline constexpr QLatin1String TimestampMeaning("TimestampMeaning");
inline constexpr QLatin1String Files("Files");
inline constexpr QLatin1String Events("Events");
inline constexpr QLatin1String EventsSidecar("EventsSidecar");
inline constexpr QLatin1String Frames("Frames");
inline constexpr QLatin1String Summary("Summary");
// The marker stream of the run, and LSL's clock at its first frame (the origin of the times).
inline constexpr QLatin1String LabStreamingLayer("LabStreamingLayer");
inline constexpr QLatin1String StreamName("StreamName");
inline constexpr QLatin1String SourceId("SourceId");
inline constexpr QLatin1String ClockAtFirstFrame("ClockAtFirstFrame");
// The totals (the description's Summary, the report's Totals); Seconds, Frames and
// DeviceLostAtEnd serve Ended too.
inline constexpr QLatin1String Seconds("Seconds");
inline constexpr QLatin1String PacedFrames("PacedFrames");
inline constexpr QLatin1String LitFrames("LitFrames");
inline constexpr QLatin1String FailedWrites("FailedWrites");
inline constexpr QLatin1String AskedHz("AskedHz");
inline constexpr QLatin1String DeliveredHz("DeliveredHz");
inline constexpr QLatin1String Ratio("Ratio");
inline constexpr QLatin1String LateP99Ms("LateP99Ms");
inline constexpr QLatin1String LateMaxMs("LateMaxMs");
inline constexpr QLatin1String JitterMs("JitterMs");
inline constexpr QLatin1String Stalls("Stalls");
inline constexpr QLatin1String SkippedFrames("SkippedFrames");
inline constexpr QLatin1String DeviceLosses("DeviceLosses");
inline constexpr QLatin1String HeldSeconds("HeldSeconds");
inline constexpr QLatin1String DeviceLostAtEnd("DeviceLostAtEnd");
// The events table's data dictionary (BIDS).
inline constexpr QLatin1String LongName("LongName");
inline constexpr QLatin1String Description("Description");
inline constexpr QLatin1String Units("Units");
inline constexpr QLatin1String Levels("Levels");
// The report's JSON; it shares Program, StartTime, ComPort, Events and Ended.
inline constexpr QLatin1String Record("Record");
inline constexpr QLatin1String Segments("Segments");
inline constexpr QLatin1String Totals("Totals");
// The history's JSON (SessionHistory); a row shares Record, StartTime, Program, Ended, Ratio.
inline constexpr QLatin1String Records("Records");
inline constexpr QLatin1String Days("Days");
inline constexpr QLatin1String Weeks("Weeks");
inline constexpr QLatin1String Day("Day");
inline constexpr QLatin1String Week("Week");
inline constexpr QLatin1String Sessions("Sessions");
inline constexpr QLatin1String PlayedSeconds("PlayedSeconds");
inline constexpr QLatin1String EndedText("EndedText");
inline constexpr QLatin1String Unreadable("Unreadable");
}  // namespace Key

// The names of a BIDS dataset that records are filed into (BidsDataset), as BIDS spells them.
namespace Bids {
// The files at the dataset's root, and its folders.
inline constexpr QLatin1String DatasetDescription("dataset_description.json");
inline constexpr QLatin1String Readme("README");
inline constexpr QLatin1String Participants("participants.tsv");
inline constexpr QLatin1String ParticipantsSidecar("participants.json");
inline constexpr QLatin1String SourceData("sourcedata");
inline constexpr QLatin1String Behaviour("beh");
// The entities of a file name, each followed by '-' and its label or index.
inline constexpr QLatin1String Subject("sub");
inline constexpr QLatin1String Session("ses");
inline constexpr QLatin1String Task("task");
inline constexpr QLatin1String Run("run");
// The suffixes of the filed files: the events table and its sidecar in the raw data, the
// frames table and the record's description in sourcedata.
inline constexpr QLatin1String Events("_events.tsv");
inline constexpr QLatin1String EventsSidecar("_events.json");
inline constexpr QLatin1String Frames("_frames.tsv.gz");
inline constexpr QLatin1String Record("_record.json");
// participants.tsv's column of subjects.
inline constexpr QLatin1String ParticipantId("participant_id");
// The keys of dataset_description.json.
inline constexpr QLatin1String Name("Name");
inline constexpr QLatin1String BidsVersion("BIDSVersion");
inline constexpr QLatin1String DatasetType("DatasetType");
inline constexpr QLatin1String GeneratedBy("GeneratedBy");
inline constexpr QLatin1String Version("Version");
// The keys of an events sidecar's stimulus presentation.
inline constexpr QLatin1String StimulusPresentation("StimulusPresentation");
inline constexpr QLatin1String SoftwareName("SoftwareName");
// What this writes: BIDS 1.8.0, raw data.
inline constexpr QLatin1String VersionWritten("1.8.0");
inline constexpr QLatin1String Raw("raw");
}  // namespace Bids

}  // namespace RecordSchema
