#pragma once

#include <QString>

#include "records/SessionRecord.h"

// Where a session record's files go: their names in a folder, and the folders themselves.
namespace SessionFiles {

// The paths of a record's files.
struct Paths {
    QString events;         // the events table
    QString eventsSidecar;  // its data dictionary
    QString frames;         // the frames table (with ".gz" when gzipped)
    QString json;           // the record's description
};

// Makes folder when it is missing and checks that a file can be created in it, so that a run
// is refused before it starts rather than losing its record at the end. On failure returns
// false with the reason in error.
bool prepareFolder(const QString& folder, QString* error);

// The paths for the record's files in folder (which must exist), under a name no record there
// has yet: <program>_<start>, with -2, -3 ... after it when a record of the same program and
// second is there already. The frames table's path is that of the plain table.
Paths newPaths(const QString& folder, const SessionRecord& record);

// The newest record description (*_record.json) in folder, or an empty text.
QString newestRecordIn(const QString& folder);

}  // namespace SessionFiles
