#include "SessionHistoryModel.h"

#include <QDir>

#include "core/ClockText.h"

namespace {

// Figures stand right-aligned, as in the tool's table.
QVariant alignment(bool figure) {
    return QVariant::fromValue(Qt::Alignment(figure ? Qt::AlignRight | Qt::AlignVCenter
                                                    : Qt::AlignLeft | Qt::AlignVCenter));
}

}  // namespace

void HistoryRowsModel::setRows(std::vector<HistoryRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int HistoryRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int HistoryRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const HistoryRow& shown = row(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case Date:
                return shown.start.toString(QStringLiteral("yyyy-MM-dd"));
            case Time:
                return shown.start.toString(QStringLiteral("HH:mm:ss"));
            case Program:
                return shown.program;
            case Played:
                return clockText(shown.playedSeconds);
            case Ended:
                return shown.ended;
            case Ratio:
                return historyRatioText(shown.ratio);
            default:
                return {};
        }
    }
    if (role == Qt::ToolTipRole) {
        return index.column() == Ended ? shown.endedText
                                       : QDir::toNativeSeparators(shown.recordPath);
    }
    if (role == Qt::TextAlignmentRole) {
        return alignment(index.column() == Played || index.column() == Ratio);
    }
    return {};
}

QVariant HistoryRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case Date:
            return tr("Date");
        case Time:
            return tr("Time");
        case Program:
            return tr("Program");
        case Played:
            return tr("Played");
        case Ended:
            return tr("Ended");
        case Ratio:
            return tr("Ratio");
        default:
            return {};
    }
}

HistoryTotalsModel::HistoryTotalsModel(QString periodTitle, QObject* parent)
    : QAbstractTableModel(parent), m_periodTitle(std::move(periodTitle)) {}

void HistoryTotalsModel::setTotals(std::vector<HistoryTotal> totals) {
    beginResetModel();
    m_totals = std::move(totals);
    endResetModel();
}

int HistoryTotalsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_totals.size());
}

int HistoryTotalsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryTotalsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const HistoryTotal& total = m_totals.at(static_cast<size_t>(index.row()));
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case Period:
                return total.name;
            case Sessions:
                return total.sessions;
            case Played:
                return clockText(total.playedSeconds);
            default:
                return {};
        }
    }
    if (role == Qt::TextAlignmentRole) {
        return alignment(index.column() != Period);
    }
    return {};
}

QVariant HistoryTotalsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case Period:
            return m_periodTitle;
        case Sessions:
            return tr("Sessions");
        case Played:
            return tr("Played");
        default:
            return {};
    }
}
