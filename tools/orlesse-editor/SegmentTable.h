#pragma once

#include <QList>
#include <QTableView>

class QUndoStack;
class SegmentModel;

// The records as a table to edit: spin boxes over the 16-bit range that commit every step of
// typing (so the check follows the typing, not only the end of an edit), whole rows selected,
// and the row edits of the Edit menu, each one step to undo.
class SegmentTable final : public QTableView {
    Q_OBJECT

  public:
    // Edits go through model, whose undo stack is undo.
    SegmentTable(SegmentModel& model, QUndoStack& undo, QWidget* parent = nullptr);

    // The rows selected, in order.
    QList<int> selectedRows() const;
    // Selects a row and scrolls to it; nothing for a row that does not exist.
    void goToRow(int row);

    // Puts the selected rows on the clipboard as CSV text.
    void copyRows();
    // Inserts the clipboard's rows after the selection, or at the end; false when the
    // clipboard holds no rows.
    bool pasteRows();
    // Adds a row at the end, or inserts one before the selection; it goes on from where the
    // row before it ends.
    void addRow(bool atEnd);
    void duplicateRows();
    void deleteRows();
    // Moves the selected rows one place up (delta -1) or down (+1), keeping them selected.
    void moveRows(int delta);

  private:
    SegmentModel& m_model;
    QUndoStack& m_undo;
};
