#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "records/RecordReader.h"

// Files session records into a BIDS dataset (BIDS 1.8.0, raw data), as behavioural runs
// without neural recordings:
//   sub-<s>/[ses-<e>/]beh/sub-<s>_[ses-<e>_]task-<t>_[run-<n>_]events.tsv  the events table
//   ... _events.json          its data dictionary, with the software that presented the light
//   sourcedata/sub-<s>/[ses-<e>/]beh/<same name>_frames.tsv.gz  the frames table, gzipped
//   sourcedata/ ... _record.json  the record's description, its Files naming the filed tables
// A dataset that is not there yet is made: dataset_description.json, README, participants.tsv
// and participants.json; the subject is added to participants.tsv when it is not listed.
namespace BidsDataset {

// What a run is filed under.
struct Entities {
    QString subject;  // sub-<label>: letters and digits
    QString session;  // ses-<label>; empty: none
    QString task;     // task-<label>
    int run = 0;      // run-<index>, from 1; 0: none
};

// Where a run was filed, and what of the dataset was made or changed for it.
struct Filed {
    QString events;         // the events table
    QString eventsSidecar;  // its data dictionary
    QString frames;         // the frames table, under sourcedata
    QString record;         // the record's description, under sourcedata
    QStringList changed;    // the dataset's own files made or changed (a new participant)
    // The dataset was made now: its description has no Authors yet, and its README only says
    // what Orlesse wrote.
    bool newDataset = false;
};

// Whether text is a BIDS label: one or more letters and digits.
bool isLabel(const QString& text);

// What is wrong with the entities, in a sentence; empty when nothing is.
QString entitiesError(const Entities& entities);

// The file names' common part: sub-<s>_[ses-<e>_]task-<t>[_run-<n>].
QString baseName(const Entities& entities);

// Files the record into the dataset at root (made when missing). Refuses, writing nothing, a
// run that is there already, entities that BIDS does not allow, a folder that holds files but
// is no dataset, and a record whose files cannot be read. Returns where the run went, or
// nothing with the reason in error.
std::optional<Filed> file(const QString& root, const SessionFiles::Loaded& record,
                          const Entities& entities, QString* error);

// What a filing did, a line each, as the tools tell it: "filed: " and the four files, then
// the dataset's files made or changed, and for a new dataset what is left to fill in.
QStringList filedLines(const Filed& filed);

}  // namespace BidsDataset
