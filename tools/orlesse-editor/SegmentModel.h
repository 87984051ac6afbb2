#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QMap>

#include "programs/ProgramTable.h"

class QUndoStack;

// The rows of a light program as a table of six columns, one row a record. Every change goes
// through the undo stack as a command of its own, so each can be undone and redone; the header
// line is kept as it was read. Each row can carry a finding of the check (icon and tool tip).
class SegmentModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    // The finding shown on a row.
    struct RowMark {
        QIcon icon;
        QString toolTip;
    };

    // Commands are pushed on undo, which must outlive the model.
    explicit SegmentModel(QUndoStack& undo, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A user's edit of one value: an undoable command.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Replaces the whole table (a file opened or a new one); clears the undo stack.
    void setTable(const ProgramTable& table);
    const ProgramTable& table() const { return m_table; }

    // The row added before row: it goes on from where the row before it ends, and is FirstRow
    // at the top.
    ProgramTable::Row rowToAddAt(int row) const;
    // Seconds the rows from first up to (not including) end last, negative lengths as 0.
    double secondsOfRows(int first, int end) const;

    // Undoable edits: rows inserted before row, rows removed, a row moved by one place up
    // (delta -1) or down (+1), one value set.
    void insertRowsAt(int row, const QList<ProgramTable::Row>& rows, const QString& text);
    void removeRowsAt(int row, int count);
    void moveRow(int row, int delta);
    void setValue(int row, int column, int value);

    // Shows findings by row (replacing those shown before).
    void setMarks(const QMap<int, RowMark>& marks);

    // Applies an edit without the undo stack; used by the undo commands.
    void applyInsert(int row, const QList<ProgramTable::Row>& rows);
    QList<ProgramTable::Row> applyRemove(int row, int count);
    void applySwap(int row, int other);
    void applyValue(int row, int column, int value);

    // The column titles, in file order.
    static const QStringList ColumnTitles;
    // The row of a new program: 10 Hz at full level for a minute.
    static const ProgramTable::Row FirstRow;

  signals:
    // The rows or the values changed, by an edit, undo, redo or a new table.
    void contentChanged();

  private:
    QUndoStack& m_undo;
    ProgramTable m_table;
    QMap<int, RowMark> m_marks;
};
