#include "SafetyNotice.h"

#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace {

const QString AcknowledgedKey = QStringLiteral("safety/photosensitivityNoticeAcknowledged");

}  // namespace

namespace SafetyNotice {

QString title() {
    return QObject::tr("Photosensitive epilepsy warning");
}

QString text() {
    return QObject::tr(
        "Flashing light between about 3 and 60 flashes a second can trigger seizures in people "
        "who are photosensitive, also in people who have never had one.\n\n"
        "Do not use Orlesse if you or anyone who can see the light has epilepsy or has had a "
        "seizure, or if a doctor has advised against flashing light.\n\n"
        "Stop at once, and look away from the light, at any discomfort: dizziness, altered "
        "vision, eye or muscle twitching, disorientation or any involuntary movement.\n\n"
        "Escape stops a light program at once and switches the light dark.");
}

bool acknowledged(const QSettings& settings) {
    return settings.value(AcknowledgedKey, false).toBool();
}

bool showOnFirstStart(QSettings& settings, QWidget* parent) {
    if (acknowledged(settings)) {
        return true;
    }
    QMessageBox box(QMessageBox::Warning, title(), text(), QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("safetyNotice"));
    QPushButton* understood = box.addButton(QObject::tr("I Understand"), QMessageBox::AcceptRole);
    box.setDefaultButton(understood);
    box.exec();
    if (box.clickedButton() != understood) {
        return false;
    }
    settings.setValue(AcknowledgedKey, true);
    settings.sync();
    return true;
}

}  // namespace SafetyNotice
