#pragma once

#include <QDialog>
#include <QString>

class QSettings;

// The report of a session record, as `orlesse-program report` gives it: the chart of what was
// asked and delivered, and the table of segments, events and totals, with buttons that open
// the record's folder and file the record into a BIDS dataset (BidsFilingDialog, which keeps
// its fields in settings).
class ReportDialog final : public QDialog {
    Q_OBJECT

  public:
    // Shows the record whose description is jsonPath; a record that cannot be read shows why.
    ReportDialog(const QString& jsonPath, QSettings& settings, QWidget* parent = nullptr);

    // Shows the report of the record at jsonPath and returns when it is closed.
    static void showModal(const QString& jsonPath, QSettings& settings, QWidget* parent);

    // The report's text, one line a row (what the dialog shows under its chart).
    const QString& reportText() const { return m_text; }

  private:
    QString m_text;
};
