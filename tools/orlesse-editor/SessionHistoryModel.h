#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "records/SessionHistory.h"

// The records of a folder's history as a table, a row per record, oldest first, with the
// columns of `orlesse-program report --list`: the date and time of the first frame, the
// program, the time played with the pauses left out, how the run ended (in words in the tool
// tip) and the ratio of cycles delivered to cycles asked.
class HistoryRowsModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { Date, Time, Program, Played, Ended, Ratio, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<HistoryRow> rows);
    const HistoryRow& row(int index) const { return m_rows.at(static_cast<size_t>(index)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    std::vector<HistoryRow> m_rows;
};

// The time played per day or per ISO week: the period, the sessions that started in it and
// the time they played.
class HistoryTotalsModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { Period, Sessions, Played, ColumnCount };

    // periodTitle heads the first column ("Day", "Week").
    explicit HistoryTotalsModel(QString periodTitle, QObject* parent = nullptr);

    void setTotals(std::vector<HistoryTotal> totals);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    QString m_periodTitle;
    std::vector<HistoryTotal> m_totals;
};
