#include "BidsFilingDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const QString DatasetKey = QStringLiteral("bids/dataset");
const QString SubjectKey = QStringLiteral("bids/subject");
const QString TaskKey = QStringLiteral("bids/task");
const QString SessionKey = QStringLiteral("bids/session");
const QString RunKey = QStringLiteral("bids/run");

}  // namespace

BidsFilingDialog::BidsFilingDialog(SessionFiles::Loaded record, QSettings& settings,
                                   QWidget* parent)
    : QDialog(parent), m_record(std::move(record)), m_settings(settings) {
    setObjectName(QStringLiteral("BidsFilingDialog"));
    setWindowTitle(
        tr("File into a BIDS dataset \u2014 %1").arg(QFileInfo(m_record.jsonPath).fileName()));
    auto* form = new QFormLayout;
    const auto field = [this](const char* name, const QString& key) {
        auto* edit = new QLineEdit(m_settings.value(key).toString(), this);
        edit->setObjectName(QLatin1String(name));
        connect(edit, &QLineEdit::textChanged, this, &BidsFilingDialog::check);
        return edit;
    };
    m_dataset = field("dataset", DatasetKey);
    auto* browse = new QPushButton(tr("Browse\u2026"), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(
            this, tr("BIDS Dataset Folder"), m_dataset->text(), QFileDialog::ShowDirsOnly);
        if (!folder.isEmpty()) {
            m_dataset->setText(QDir::toNativeSeparators(folder));
        }
    });
    auto* datasetRow = new QHBoxLayout;
    datasetRow->addWidget(m_dataset, 1);
    datasetRow->addWidget(browse);
    form->addRow(tr("Dataset folder:"), datasetRow);
    m_subject = field("subject", SubjectKey);
    form->addRow(tr("Subject (sub-):"), m_subject);
    m_task = field("task", TaskKey);
    form->addRow(tr("Task (task-):"), m_task);
    m_session = field("session", SessionKey);
    m_session->setPlaceholderText(tr("none"));
    form->addRow(tr("Session (ses-):"), m_session);
    m_run = new QSpinBox(this);
    m_run->setObjectName(QStringLiteral("run"));
    m_run->setRange(0, 9999);
    m_run->setSpecialValueText(tr("none"));
    m_run->setValue(m_settings.value(RunKey, 0).toInt());
    form->addRow(tr("Run (run-):"), m_run);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    m_outcome = new QPlainTextEdit(this);
    m_outcome->setObjectName(QStringLiteral("outcome"));
    m_outcome->setReadOnly(true);
    m_outcome->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_outcome->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_outcome->setPlaceholderText(
        tr("Labels are letters and digits only; the files go under sub-<subject>/ and "
           "sourcedata/, as the guide to session records describes."));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_file = buttons->addButton(tr("File"), QDialogButtonBox::ActionRole);
    m_file->setObjectName(QStringLiteral("file"));
    m_file->setDefault(true);
    connect(m_file, &QPushButton::clicked, this, &BidsFilingDialog::fileRecord);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(m_outcome, 1);
    layout->addWidget(buttons);
    resize(fontMetrics().height() * 64, fontMetrics().height() * 30);
    check();
}

BidsDataset::Entities BidsFilingDialog::entities() const {
    BidsDataset::Entities entities;
    entities.subject = m_subject->text().trimmed();
    entities.task = m_task->text().trimmed();
    entities.session = m_session->text().trimmed();
    entities.run = m_run->value();
    return entities;
}

void BidsFilingDialog::check() {
    QString problem = BidsDataset::entitiesError(entities());
    if (m_dataset->text().trimmed().isEmpty()) {
        problem =
            tr("Choose the dataset's folder: a dataset, or a folder that is empty or not "
               "there yet.");
    }
    if (!problem.isEmpty()) {
        problem[0] = problem[0].toUpper();
    }
    m_problem->setText(problem);
    m_file->setEnabled(problem.isEmpty());
}

bool BidsFilingDialog::fileRecord() {
    check();
    if (!m_file->isEnabled()) {
        return false;
    }
    const QString dataset = QDir::fromNativeSeparators(m_dataset->text().trimmed());
    const BidsDataset::Entities asked = entities();
    m_settings.setValue(DatasetKey, QDir::toNativeSeparators(dataset));
    m_settings.setValue(SubjectKey, asked.subject);
    m_settings.setValue(TaskKey, asked.task);
    m_settings.setValue(SessionKey, asked.session);
    m_settings.setValue(RunKey, asked.run);
    QString error;
    const std::optional<BidsDataset::Filed> filed =
        BidsDataset::file(dataset, m_record, asked, &error);
    m_outcome->setPlainText(filed ? BidsDataset::filedLines(*filed).join(QLatin1Char('\n'))
                                  : tr("Not filed: %1").arg(error));
    return filed.has_value();
}

QString BidsFilingDialog::outcome() const {
    return m_outcome->toPlainText();
}
