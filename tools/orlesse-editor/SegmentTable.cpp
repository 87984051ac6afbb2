#include "SegmentTable.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QUndoStack>
#include <algorithm>

#include "SegmentModel.h"
#include "programs/ProgramReader.h"

namespace {

class ValueDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* box = new QSpinBox(parent);
        box->setRange(ProgramReader::MinValue, ProgramReader::MaxValue);
        box->setFrame(false);
        box->setAlignment(Qt::AlignRight);
        connect(box, &QSpinBox::valueChanged, this,
                [this, box] { emit const_cast<ValueDelegate*>(this)->commitData(box); });
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* box = static_cast<QSpinBox*>(editor);
        const QSignalBlocker quiet(box);
        box->setValue(index.data(Qt::EditRole).toInt());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        auto* box = static_cast<QSpinBox*>(editor);
        box->interpretText();
        if (model->data(index, Qt::EditRole).toInt() != box->value()) {
            model->setData(index, box->value(), Qt::EditRole);
        }
    }
};

}  // namespace

SegmentTable::SegmentTable(SegmentModel& model, QUndoStack& undo, QWidget* parent)
    : QTableView(parent), m_model(model), m_undo(undo) {
    setObjectName(QStringLiteral("segmentTable"));
    setModel(&m_model);
    setItemDelegate(new ValueDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    verticalHeader()->setToolTip(tr("The file line of each record"));
}

QList<int> SegmentTable::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void SegmentTable::goToRow(int row) {
    if (row < 0 || row >= m_model.rowCount()) {
        return;
    }
    selectRow(row);
    scrollTo(m_model.index(row, 0));
}

void SegmentTable::copyRows() {
    QList<ProgramTable::Row> rows;
    for (const int row : selectedRows()) {
        rows.append(m_model.table().rows[row]);
    }
    if (!rows.isEmpty()) {
        QGuiApplication::clipboard()->setText(ProgramTable::rowsToText(rows));
    }
}

bool SegmentTable::pasteRows() {
    const std::optional<QList<ProgramTable::Row>> rows =
        ProgramTable::rowsFromText(QGuiApplication::clipboard()->text());
    if (!rows) {
        return false;
    }
    const QList<int> selected = selectedRows();
    const int at = selected.isEmpty() ? m_model.rowCount() : selected.last() + 1;
    m_model.insertRowsAt(at, *rows, tr("Paste Rows"));
    goToRow(at);
    return true;
}

void SegmentTable::addRow(bool atEnd) {
    const QList<int> selected = selectedRows();
    const int at = atEnd || selected.isEmpty() ? m_model.rowCount() : selected.first();
    m_model.insertRowsAt(at, {m_model.rowToAddAt(at)}, atEnd ? tr("Add Row") : tr("Insert Row"));
    goToRow(at);
}

void SegmentTable::duplicateRows() {
    const QList<int> selected = selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    QList<ProgramTable::Row> rows;
    for (const int row : selected) {
        rows.append(m_model.table().rows[row]);
    }
    m_model.insertRowsAt(selected.last() + 1, rows, tr("Duplicate"));
    goToRow(selected.last() + 1);
}

void SegmentTable::deleteRows() {
    const QList<int> selected = selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    m_undo.beginMacro(tr("Delete"));
    for (auto row = selected.rbegin(); row != selected.rend(); ++row) {
        m_model.removeRowsAt(*row, 1);
    }
    m_undo.endMacro();
    goToRow(std::min(selected.first(), m_model.rowCount() - 1));
}

void SegmentTable::moveRows(int delta) {
    const QList<int> selected = selectedRows();
    if (selected.isEmpty() || selected.first() + delta < 0 ||
        selected.last() + delta >= m_model.rowCount()) {
        return;
    }
    m_undo.beginMacro(delta < 0 ? tr("Move Up") : tr("Move Down"));
    if (delta < 0) {
        for (const int row : selected) {
            m_model.moveRow(row, -1);
        }
    } else {
        for (auto row = selected.rbegin(); row != selected.rend(); ++row) {
            m_model.moveRow(*row, 1);
        }
    }
    m_undo.endMacro();
    clearSelection();
    for (const int row : selected) {
        selectionModel()->select(m_model.index(row + delta, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}
