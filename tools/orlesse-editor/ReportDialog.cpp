#include "ReportDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ReportCommand.h"

namespace {

// The chart's size in device-independent pixels; it is drawn for the screen's pixel ratio.
constexpr int ChartWidth = 880;
constexpr int ChartHeight = 300;

}  // namespace

ReportDialog::ReportDialog(const QString& jsonPath, QWidget* parent) : QDialog(parent) {
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
        const qreal ratio = devicePixelRatioF();
        QImage chart = plotRecord(*loaded, *frames,
                                  QSize(qRound(ChartWidth * ratio), qRound(ChartHeight * ratio)));
        chart.setDevicePixelRatio(ratio);
        auto* picture = new QLabel(this);
        picture->setObjectName(QStringLiteral("chart"));
        picture->setPixmap(QPixmap::fromImage(chart));
        layout->addWidget(picture);
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
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
