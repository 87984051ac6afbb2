#include <QStandardPaths>

#include "core/BuildInfo.h"
#include "settings/InstallLocation.h"

namespace InstallLocation {

QString settingsFolder() {
    // Built from the generic folder so the result does not depend on the organisation and
    // application names having been set on the application object.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + VendorFolder;
}

QString programsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return folder.isEmpty()
               ? QString()
               : folder + QLatin1Char('/') + VendorFolder + QStringLiteral("/programs");
}

QString programFolder() {
    return QString::fromUtf8(InstallBinFolder);
}

}  // namespace InstallLocation
