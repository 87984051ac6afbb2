#pragma once

#include <QDateTime>
#include <QString>

#include "records/SessionRecord.h"

// A session record with chosen figures, for histories: what a run of the program leaves when it
// started at start (UTC), lasted seconds of which held were paused, ended as ending says and
// delivered ratio of the cycles asked. It has no frame; its events table holds the end alone.
struct DatedRecord {
    QString program = QStringLiteral("session.csv");
    QDateTime start;
    double seconds = 0;
    double held = 0;
    SessionEnding::How ending = SessionEnding::How::Finished;
    double ratio = 1;
    QByteArray text = "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n";  // the file
};

// Writes the record's files in folder with the session writer. Returns the path of its
// description, or an empty text with the reason in error.
QString writeDatedRecord(const QString& folder, const DatedRecord& dated, QString* error);
