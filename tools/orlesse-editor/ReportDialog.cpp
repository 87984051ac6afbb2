#include "ReportDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "BidsFilingDialog.h"
#include "charts/RecordChart.h"
#include "records/RecordReport.h"

namespace {

// The record's chart, painted at the widget's size with fonts that follow the widget's, as the
// editor's own chart is.
class RecordChartView final : public QWidget {
  public:
    RecordChartView(RecordChart chart, QWidget* parent)
        : QWidget(parent), m_chart(std::move(chart)) {
        setMinimumSize(fontMetrics().height() * 50, fontMetrics().height() * 18);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintProgram(painter, m_chart.trace, QString(), size(),
                     QFontInfo(font()).pixelSize() / 14.0, m_chart.overlay);
    }

  private:
    RecordChart m_chart;
};

}  // namespace

ReportDialog::ReportDialog(const QString& jsonPath, QSettings& settings, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ReportDialog"));
    setWindowTitle(tr("Session Record \u2014 %1").arg(QFileInfo(jsonPath).fileName()));
    auto* layout = new QVBoxLayout(this);

    QString error;
    const std::optional<SessionFiles::Loaded> loaded = SessionFiles::read(jsonPath, &error);
    std::optional<std::vector<SessionFiles::FrameRow>> frames;
    if (loaded) {
        frames = SessionFiles::readFrames(*loaded, &error);
    }
    if (loaded && frames) {
        auto* chart = new RecordChartView(recordChart(*loaded, *frames), this);
        chart->setObjectName(QStringLiteral("chart"));
        layout->addWidget(chart, 2);
        m_text = reportLines(*loaded).join(QLatin1Char('\n'));
    } else {
        m_text = tr("The record cannot be read: %1").arg(error);
    }

    auto* text = new QPlainTextEdit(m_text, this);
    text->setObjectName(QStringLiteral("report"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setMinimumHeight(fontMetrics().height() * 14);
    layout->addWidget(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* folder = buttons->addButton(tr("Open Folder"), QDialogButtonBox::ActionRole);
    const QString folderPath = QFileInfo(jsonPath).absolutePath();
    connect(folder, &QPushButton::clicked, this,
            [folderPath] { QDesktopServices::openUrl(QUrl::fromLocalFile(folderPath)); });
    if (loaded && frames) {
        QPushButton* bids =
            buttons->addButton(tr("File into a BIDS dataset..."), QDialogButtonBox::ActionRole);
        bids->setObjectName(QStringLiteral("fileIntoBids"));
        connect(bids, &QPushButton::clicked, this, [this, record = *loaded, &settings] {
            BidsFilingDialog filing(record, settings, this);
            filing.exec();
        });
    }
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // Wide enough for the report's table and the chart's title on most screens.
    const int line = fontMetrics().height();
    resize(line * 64, line * 40);
}

void ReportDialog::showModal(const QString& jsonPath, QSettings& settings, QWidget* parent) {
    ReportDialog report(jsonPath, settings, parent);
    report.exec();
}
