#include "support/DatedRecords.h"

#include "records/RecordWriter.h"
#include "records/SessionSummary.h"

QString writeDatedRecord(const QString& folder, const DatedRecord& dated, QString* error) {
    SessionRecord record;
    record.software = QStringLiteral("orlesse-program");
    record.programPath = QStringLiteral("/programs/") + dated.program;
    record.programBytes = dated.text;
    record.beganUtc = dated.start;
    record.ending.how = dated.ending;
    if (dated.ending == SessionEnding::How::Failed) {
        record.ending.failure = ProgramError(2, QStringLiteral("the start frequency is 0"));
    }
    SessionSummary summary;
    summary.totals.seconds = dated.seconds;
    summary.totals.heldSeconds = dated.held;
    summary.totals.ratio = dated.ratio;
    SessionEvent ended;
    ended.kind = RecordSchema::EventKind::Ended;
    ended.onset = dated.seconds;
    ended.duration = 0;
    summary.events.push_back(ended);
    const std::optional<SessionFiles::Paths> paths =
        SessionFiles::write(record, summary, folder, error);
    return paths ? paths->json : QString();
}
