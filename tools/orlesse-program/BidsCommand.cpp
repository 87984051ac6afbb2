// orlesse-program bids: files a session record into a BIDS dataset.
#include <QTextStream>

#include "Command.h"
#include "records/BidsDataset.h"

namespace {

const char* const BidsUsage =
    "Usage: orlesse-program bids RECORD --dataset DIR --sub LABEL --task LABEL [--ses LABEL]\n"
    "                            [--run N]\n"
    "\n"
    "Files a session record of `play --record` into the BIDS dataset DIR (BIDS 1.8.0), as a\n"
    "behavioural run without neural recordings. RECORD is the record's _record.json file or a\n"
    "folder, whose newest record is taken. The run goes to\n"
    "  sub-<sub>/[ses-<ses>/]beh/sub-<sub>_[ses-<ses>_]task-<task>_[run-<N>_]events.tsv\n"
    "      the events table, with _events.json beside it: its data dictionary and the\n"
    "      software that presented the light;\n"
    "  sourcedata/sub-<sub>/[ses-<ses>/]beh/ the same name with _frames.tsv.gz and _record.json\n"
    "      the frames table, gzipped, and the record's description, which names the filed\n"
    "      tables, so that `report` reads the record there.\n"
    "A DIR that is not there, or is empty, becomes a dataset: dataset_description.json,\n"
    "README, participants.tsv and participants.json, which want the dataset's authors, its\n"
    "licence and what the study is filled in. A subject that participants.tsv does not list is\n"
    "added to it. Labels are letters and digits only, as BIDS asks; --run is a whole number\n"
    "from 1. A run that is in the dataset already is refused, and nothing is written.\n"
    "\n"
    "Exit status: 0 filed, 1 not filed (the run is there already, the folder is no dataset,\n"
    "the dataset cannot be written or the record's frames cannot be read; nothing is written),\n"
    "2 a usage error or a record that cannot be read.\n";

}  // namespace

int bidsCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    Command::Parser parser(BidsUsage, out, err);
    const QCommandLineOption datasetOption(
        QStringLiteral("dataset"), QStringLiteral("The BIDS dataset."), QStringLiteral("DIR"));
    const QCommandLineOption subOption(QStringLiteral("sub"), QStringLiteral("The subject."),
                                       QStringLiteral("LABEL"));
    const QCommandLineOption sesOption(QStringLiteral("ses"), QStringLiteral("The session."),
                                       QStringLiteral("LABEL"));
    const QCommandLineOption taskOption(QStringLiteral("task"), QStringLiteral("The task."),
                                        QStringLiteral("LABEL"));
    const QCommandLineOption runOption(QStringLiteral("run"), QStringLiteral("The run."),
                                       QStringLiteral("N"));
    for (const QCommandLineOption& option :
         {datasetOption, subOption, sesOption, taskOption, runOption}) {
        parser.add(option);
    }
    if (const std::optional<int> status = parser.parse(arguments)) {
        return *status;
    }
    const QStringList records = parser.positional();
    if (records.size() > 1) {
        return parser.usageError(QStringLiteral("unexpected argument %1").arg(records[1]));
    }
    const QString dataset = parser.value(datasetOption);
    if (records.isEmpty() || dataset.isEmpty() || !parser.isSet(subOption) ||
        !parser.isSet(taskOption)) {
        return parser.usageError(
            QStringLiteral("bids needs a record, --dataset DIR, --sub LABEL and --task LABEL"));
    }
    BidsDataset::Entities entities;
    entities.subject = parser.value(subOption);
    entities.task = parser.value(taskOption);
    if (parser.isSet(sesOption)) {
        entities.session = parser.value(sesOption);
        if (entities.session.isEmpty()) {
            return parser.usageError(QStringLiteral("--ses needs a label"));
        }
    }
    if (parser.isSet(runOption)) {
        bool ok = false;
        entities.run = parser.value(runOption).toInt(&ok);
        if (!ok || entities.run < 1) {
            return parser.usageError(QStringLiteral("--run needs a whole number from 1"));
        }
    }
    if (const QString wrong = BidsDataset::entitiesError(entities); !wrong.isEmpty()) {
        return parser.usageError(wrong);
    }

    QString error;
    const std::optional<SessionFiles::Loaded> record = SessionFiles::read(records.first(), &error);
    if (!record) {
        return parser.fail(error);
    }
    const std::optional<BidsDataset::Filed> filed =
        BidsDataset::file(dataset, *record, entities, &error);
    if (!filed) {
        return parser.fail(QStringLiteral("not filed: %1").arg(error), 1);
    }
    for (const QString& line : BidsDataset::filedLines(*filed)) {
        out << line << '\n';
    }
    out.flush();
    return 0;
}
