#pragma once

#include <QListWidget>
#include <QMap>
#include <QStringList>

#include "SegmentModel.h"
#include "analysis/ProgramCheck.h"

// The check's findings as a list, in the lines `orlesse-program check` prints, after what the
// opened file held that the table did not keep. Clicking a finding picks its row.
class FindingsPanel final : public QListWidget {
    Q_OBJECT

  public:
    explicit FindingsPanel(QWidget* parent = nullptr);

    // Lists the file's problems as opened and the report of the check of table, whose file is
    // called name. Returns the marks of the rows the findings are on, for the table's header.
    QMap<int, SegmentModel::RowMark> showFindings(const QStringList& openProblems,
                                                  const CheckReport& report,
                                                  const ProgramTable& table, const QString& name);

  signals:
    // A finding on this row was clicked.
    void rowChosen(int row);
};
