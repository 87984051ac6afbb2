#pragma once

#include <QDialog>
#include <QString>
#include <QTimeZone>

class HistoryRowsModel;
class HistoryTotalsModel;
class QLabel;
class QPushButton;
class QSettings;
class QTableView;

// The sessions recorded in a folder, for plans such as an hour a day for six weeks: a table of
// the records (readHistory), and on a second tab the time played per day and per ISO week.
// Refresh reads the folder again; Open Report (or a double-click) shows a record's report.
class SessionsWindow final : public QDialog {
    Q_OBJECT

  public:
    // The reports it opens keep their BIDS fields in settings; dates are in zone.
    explicit SessionsWindow(QSettings& settings, QWidget* parent = nullptr,
                            QTimeZone zone = QTimeZone::systemTimeZone());
    ~SessionsWindow() override;

    // Shows the history of the records in folder.
    void showFolder(const QString& folder);
    // Reads the folder again.
    void refresh();

    const HistoryRowsModel& records() const { return *m_records; }
    const HistoryTotalsModel& days() const { return *m_days; }
    const HistoryTotalsModel& weeks() const { return *m_weeks; }

  private:
    void openReport();

    QSettings& m_settings;
    QTimeZone m_zone;
    QString m_folder;
    HistoryRowsModel* m_records = nullptr;
    HistoryTotalsModel* m_days = nullptr;
    HistoryTotalsModel* m_weeks = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_open = nullptr;
};
