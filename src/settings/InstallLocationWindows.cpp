#include <windows.h>

#include <shlobj.h>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "settings/InstallLocation.h"

namespace InstallLocation {

QString settingsFolder() {
    // %APPDATA%, the roaming application data folder, as the system names it.
    wchar_t* path = nullptr;
    QString folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path))) {
        folder = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    }
    CoTaskMemFree(path);
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + VendorFolder;
}

QString programsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/Orlesse programs");
}

QString programFolder() {
    for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}) {
        const QSettings key(
            QStringLiteral("%1\\Software\\Corvexa\\Orlesse").arg(QLatin1String(root)),
            QSettings::NativeFormat);
        const QString folder = key.value(QStringLiteral("InstallFolder")).toString();
        if (!folder.isEmpty()) {
            return QDir::fromNativeSeparators(folder);
        }
    }
    return {};
}

}  // namespace InstallLocation
