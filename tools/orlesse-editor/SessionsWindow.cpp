#include "SessionsWindow.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <tuple>

#include "ReportDialog.h"
#include "SessionHistoryModel.h"
#include "core/ClockText.h"

namespace {

// A read-only table of whole rows over model, its column stretch taking the room left.
QTableView* tableOf(QAbstractItemModel* model, const char* name, int stretch, QWidget* parent) {
    auto* table = new QTableView(parent);
    table->setObjectName(QLatin1String(name));
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(stretch, QHeaderView::Stretch);
    return table;
}

}  // namespace

SessionsWindow::SessionsWindow(QSettings& settings, QWidget* parent, QTimeZone zone)
    : QDialog(parent), m_settings(settings), m_zone(std::move(zone)) {
    setObjectName(QStringLiteral("SessionsWindow"));
    m_records = new HistoryRowsModel(this);
    m_days = new HistoryTotalsModel(tr("Day"), this);
    m_weeks = new HistoryTotalsModel(tr("ISO week"), this);

    auto* tabs = new QTabWidget(this);
    m_table = tableOf(m_records, "records", HistoryRowsModel::Program, tabs);
    connect(m_table, &QTableView::doubleClicked, this, &SessionsWindow::openReport);
    tabs->addTab(m_table, tr("Records"));
    auto* totals = new QWidget(tabs);
    auto* totalsLayout = new QHBoxLayout(totals);
    for (const auto& [model, name, title] :
         {std::tuple{m_days, "days", tr("Per day")},
          std::tuple{m_weeks, "weeks", tr("Per ISO week (Monday to Sunday)")}}) {
        auto* column = new QVBoxLayout;
        column->addWidget(new QLabel(title, totals));
        column->addWidget(tableOf(model, name, HistoryTotalsModel::Played, totals));
        totalsLayout->addLayout(column);
    }
    tabs->addTab(totals, tr("Per Day and Week"));

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* refreshButton = buttons->addButton(tr("Refresh"), QDialogButtonBox::ActionRole);
    refreshButton->setObjectName(QStringLiteral("refresh"));
    connect(refreshButton, &QPushButton::clicked, this, &SessionsWindow::refresh);
    m_open = buttons->addButton(tr("Open Report\u2026"), QDialogButtonBox::ActionRole);
    m_open->setObjectName(QStringLiteral("openReport"));
    connect(m_open, &QPushButton::clicked, this, &SessionsWindow::openReport);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_open->setEnabled(m_table->selectionModel()->hasSelection()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs, 1);
    layout->addWidget(m_summary);
    layout->addWidget(buttons);
    const int line = fontMetrics().height();
    resize(line * 60, line * 32);
}

SessionsWindow::~SessionsWindow() = default;

void SessionsWindow::showFolder(const QString& folder) {
    m_folder = folder;
    setWindowTitle(tr("Sessions \u2014 %1").arg(QDir::toNativeSeparators(folder)));
    refresh();
}

void SessionsWindow::refresh() {
    QString error;
    std::optional<SessionHistory> history = readHistory(m_folder, &error, m_zone);
    if (!history) {
        history.emplace();
    }
    double played = 0;
    for (const HistoryRow& row : history->rows) {
        played += row.playedSeconds;
    }
    QString summary = error.isEmpty()
                          ? tr("%1 record(s), %2 played, in %3")
                                .arg(history->rows.size())
                                .arg(clockText(played), QDir::toNativeSeparators(m_folder))
                          : tr("No records: %1").arg(error);
    for (const QString& unreadable : std::as_const(history->unreadable)) {
        summary += QLatin1Char('\n') + tr("not read: %1").arg(unreadable);
    }
    m_summary->setText(summary);
    m_records->setRows(std::move(history->rows));
    m_days->setTotals(std::move(history->days));
    m_weeks->setTotals(std::move(history->weeks));
    m_table->resizeColumnsToContents();
    // The newest record, at the bottom, is the one most often looked for.
    m_table->scrollToBottom();
    m_open->setEnabled(false);
}

void SessionsWindow::openReport() {
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    if (!selected.isEmpty()) {
        ReportDialog::showModal(m_records->row(selected.first().row()).recordPath, m_settings,
                                this);
    }
}
