#pragma once

// The files of a session record, side by side in one folder, named <program>_<start>_... with
// <start> the UTC time of the first frame (20261208T142530Z): the events table and its data
// dictionary, the frames table and the record's description. Their names are RecordSchema's;
// RecordFolder names them and probes folders, RecordWriter writes them, RecordReader reads
// them back.
#include "records/RecordFolder.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
