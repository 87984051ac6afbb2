#pragma once

#include <QDialog>
#include <QString>

#include "records/BidsDataset.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class QSpinBox;

// Files a session record into a BIDS dataset, as `orlesse-program bids` does: the dataset's
// folder, the subject, the task, and a session and run if wanted. The library checks the labels
// as they are typed and does the filing; the dialog shows where the files went, or why nothing
// was filed, and keeps the folder and the labels in the editor's settings for the next record.
class BidsFilingDialog final : public QDialog {
    Q_OBJECT

  public:
    BidsFilingDialog(SessionFiles::Loaded record, QSettings& settings, QWidget* parent = nullptr);

    // Files the record as the fields say (the File button); whether it was filed.
    bool fileRecord();
    // What the last filing did or why it did not, as shown.
    QString outcome() const;

  private:
    BidsDataset::Entities entities() const;
    // Shows what keeps the record from being filed, and enables File when nothing does.
    void check();

    SessionFiles::Loaded m_record;
    QSettings& m_settings;
    QLineEdit* m_dataset = nullptr;
    QLineEdit* m_subject = nullptr;
    QLineEdit* m_task = nullptr;
    QLineEdit* m_session = nullptr;
    QSpinBox* m_run = nullptr;
    QLabel* m_problem = nullptr;
    QPlainTextEdit* m_outcome = nullptr;
    QPushButton* m_file = nullptr;
};
