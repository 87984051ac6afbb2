#include "SegmentModel.h"

#include <QUndoCommand>
#include <QUndoStack>
#include <algorithm>
#include <utility>

#include "programs/ProgramReader.h"

namespace {

// Rows inserted before a row; undone by removing them.
class InsertRows final : public QUndoCommand {
  public:
    InsertRows(SegmentModel& model, int row, QList<ProgramTable::Row> rows, const QString& text)
        : QUndoCommand(text), m_model(model), m_row(row), m_rows(std::move(rows)) {}
    void redo() override { m_model.applyInsert(m_row, m_rows); }
    void undo() override { m_model.applyRemove(m_row, static_cast<int>(m_rows.size())); }

  private:
    SegmentModel& m_model;
    int m_row;
    QList<ProgramTable::Row> m_rows;
};

// Rows removed; undone by putting them back.
class RemoveRows final : public QUndoCommand {
  public:
    RemoveRows(SegmentModel& model, int row, int count)
        : QUndoCommand(count == 1 ? QObject::tr("Delete Row") : QObject::tr("Delete Rows")),
          m_model(model),
          m_row(row),
          m_count(count) {}
    void redo() override { m_rows = m_model.applyRemove(m_row, m_count); }
    void undo() override { m_model.applyInsert(m_row, m_rows); }

  private:
    SegmentModel& m_model;
    int m_row;
    int m_count;
    QList<ProgramTable::Row> m_rows;
};

// Two neighbouring rows swapped; its own undo.
class SwapRows final : public QUndoCommand {
  public:
    SwapRows(SegmentModel& model, int row, int other, const QString& text)
        : QUndoCommand(text), m_model(model), m_row(row), m_other(other) {}
    void redo() override { m_model.applySwap(m_row, m_other); }
    void undo() override { m_model.applySwap(m_row, m_other); }

  private:
    SegmentModel& m_model;
    int m_row;
    int m_other;
};

// One value set; undone by setting the old value back.
class SetValue final : public QUndoCommand {
  public:
    SetValue(SegmentModel& model, int row, int column, int before, int after)
        : QUndoCommand(QObject::tr("Change %1").arg(SegmentModel::ColumnTitles[column])),
          m_model(model),
          m_row(row),
          m_column(column),
          m_before(before),
          m_after(after) {}
    void redo() override { m_model.applyValue(m_row, m_column, m_after); }
    void undo() override { m_model.applyValue(m_row, m_column, m_before); }
    // The keystrokes of one value typed in a row are one change.
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const SetValue*>(other);
        if (next->m_row != m_row || next->m_column != m_column) {
            return false;
        }
        m_after = next->m_after;
        setObsolete(m_after == m_before);
        return true;
    }

  private:
    SegmentModel& m_model;
    int m_row;
    int m_column;
    int m_before;
    int m_after;
};

}  // namespace

const QStringList SegmentModel::ColumnTitles{QObject::tr("Segment id"), QObject::tr("Start Hz"),
                                             QObject::tr("End Hz"),     QObject::tr("Start level"),
                                             QObject::tr("End level"),  QObject::tr("Seconds")};

const ProgramTable::Row SegmentModel::FirstRow{1, 10, 10, 255, 255, 60};

SegmentModel::SegmentModel(QUndoStack& undo, QObject* parent)
    : QAbstractTableModel(parent), m_undo(undo) {}

int SegmentModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_table.rows.size());
}

int SegmentModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ProgramTable::Row().size());
}

QVariant SegmentModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const int value = m_table.rows[index.row()][index.column()];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return value;
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        default:
            break;
    }
    return {};
}

QVariant SegmentModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole && section >= 0 && section < ColumnTitles.size()) {
            return ColumnTitles[section];
        }
        return {};
    }
    const auto mark = m_marks.constFind(section);
    switch (role) {
        case Qt::DisplayRole:
            // The file line the row is written on, as the check names it.
            return ProgramTable::lineOfRow(section);
        case Qt::DecorationRole:
            return mark != m_marks.constEnd() ? QVariant(mark->icon) : QVariant();
        case Qt::ToolTipRole:
            return mark != m_marks.constEnd() ? QVariant(mark->toolTip) : QVariant();
        default:
            break;
    }
    return {};
}

Qt::ItemFlags SegmentModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

bool SegmentModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) {
        return false;
    }
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!ok || number < ProgramReader::MinValue || number > ProgramReader::MaxValue) {
        return false;
    }
    setValue(index.row(), index.column(), number);
    return true;
}

void SegmentModel::setTable(const ProgramTable& table) {
    beginResetModel();
    m_table = table;
    m_marks.clear();
    endResetModel();
    m_undo.clear();
    emit contentChanged();
}

ProgramTable::Row SegmentModel::rowToAddAt(int row) const {
    if (row <= 0 || row > rowCount()) {
        return FirstRow;
    }
    const ProgramTable::Row& before = m_table.rows[row - 1];
    return {before[0] + 1, before[2], before[2], before[4], before[4], before[5]};
}

double SegmentModel::secondsOfRows(int first, int end) const {
    double seconds = 0;
    for (int row = std::max(first, 0); row < end && row < rowCount(); ++row) {
        seconds += std::max(m_table.rows[row][5], 0);
    }
    return seconds;
}

void SegmentModel::insertRowsAt(int row, const QList<ProgramTable::Row>& rows,
                                const QString& text) {
    if (rows.isEmpty()) {
        return;
    }
    m_undo.push(new InsertRows(*this, std::clamp(row, 0, rowCount()), rows, text));
}

void SegmentModel::removeRowsAt(int row, int count) {
    if (row < 0 || count <= 0 || row + count > rowCount()) {
        return;
    }
    m_undo.push(new RemoveRows(*this, row, count));
}

void SegmentModel::moveRow(int row, int delta) {
    const int other = row + delta;
    if (row < 0 || row >= rowCount() || other < 0 || other >= rowCount() || delta == 0) {
        return;
    }
    m_undo.push(new SwapRows(*this, row, other, delta < 0 ? tr("Move Up") : tr("Move Down")));
}

void SegmentModel::setValue(int row, int column, int value) {
    const int before = m_table.rows.at(row).at(column);
    if (before != value) {
        m_undo.push(new SetValue(*this, row, column, before, value));
    }
}

void SegmentModel::setMarks(const QMap<int, RowMark>& marks) {
    m_marks = marks;
    if (rowCount() > 0) {
        emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
    }
}

void SegmentModel::applyInsert(int row, const QList<ProgramTable::Row>& rows) {
    beginInsertRows({}, row, row + static_cast<int>(rows.size()) - 1);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        m_table.rows.insert(row + i, rows[i]);
    }
    endInsertRows();
    emit contentChanged();
}

QList<ProgramTable::Row> SegmentModel::applyRemove(int row, int count) {
    beginRemoveRows({}, row, row + count - 1);
    const QList<ProgramTable::Row> removed = m_table.rows.mid(row, count);
    m_table.rows.remove(row, count);
    endRemoveRows();
    emit contentChanged();
    return removed;
}

void SegmentModel::applySwap(int row, int other) {
    std::swap(m_table.rows[row], m_table.rows[other]);
    const int first = std::min(row, other);
    const int last = std::max(row, other);
    emit dataChanged(index(first, 0), index(last, columnCount() - 1));
    emit contentChanged();
}

void SegmentModel::applyValue(int row, int column, int value) {
    m_table.rows[row][column] = value;
    emit dataChanged(index(row, column), index(row, column));
    emit contentChanged();
}
