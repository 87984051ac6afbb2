#include "FindingsPanel.h"

#include <QRegularExpression>
#include <QStyle>

namespace {

QString kindText(CheckFinding::Kind kind) {
    return kind == CheckFinding::Kind::Error ? QStringLiteral("error") : QStringLiteral("warning");
}

}  // namespace

FindingsPanel::FindingsPanel(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("findings"));
    setWordWrap(true);
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = item->data(Qt::UserRole).toInt();
        if (row >= 0) {
            emit rowChosen(row);
        }
    });
}

QMap<int, SegmentModel::RowMark> FindingsPanel::showFindings(const QStringList& openProblems,
                                                             const CheckReport& report,
                                                             const ProgramTable& table,
                                                             const QString& name) {
    clear();
    for (const QString& problem : openProblems) {
        auto* item = new QListWidgetItem(style()->standardIcon(QStyle::SP_MessageBoxInformation),
                                         tr("As opened: %1").arg(problem), this);
        static const QRegularExpression lineNumber(QStringLiteral("^Line (\\d+):"));
        const QRegularExpressionMatch match = lineNumber.match(problem);
        item->setData(Qt::UserRole,
                      match.hasMatch() ? table.rowOfLine(match.captured(1).toInt()) : -1);
    }
    // One line per finding first, then the check's summary lines.
    const QStringList lines = formatReport(name, report);
    QMap<int, SegmentModel::RowMark> marks;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        auto* item = new QListWidgetItem(lines[i], this);
        int row = -1;
        if (i < report.findings.size()) {
            const CheckFinding& finding = report.findings[i];
            const bool isError = finding.kind == CheckFinding::Kind::Error;
            const QIcon icon = style()->standardIcon(isError ? QStyle::SP_MessageBoxCritical
                                                             : QStyle::SP_MessageBoxWarning);
            item->setIcon(icon);
            row = table.rowOfLine(finding.line);
            if (row >= 0) {
                SegmentModel::RowMark& mark = marks[row];
                // An error outranks a warning on the same row.
                if (mark.icon.isNull() || isError) {
                    mark.icon = icon;
                }
                const QString text =
                    QStringLiteral("%1: %2").arg(kindText(finding.kind), finding.text);
                mark.toolTip = mark.toolTip.isEmpty() ? text : mark.toolTip + '\n' + text;
            }
        }
        item->setData(Qt::UserRole, row);
    }
    return marks;
}
