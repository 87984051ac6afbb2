#pragma once

#include <QString>

// Where an installed Orlesse lives, and where its per-user settings go instead of its folder.
// CMake builds the platform's file (InstallLocationUnix.cpp or InstallLocationWindows.cpp).
namespace InstallLocation {

// The folder of Orlesse's own files under a per-user folder of the system: the maker, then the
// product ("Corvexa/Orlesse").
inline const QString VendorFolder = QStringLiteral("Corvexa/Orlesse");

// The per-user folder of corvexa.ini for a copy that may not write its own folder:
// <generic configuration folder>/Corvexa/Orlesse on Linux (~/.config/Corvexa/Orlesse),
// %APPDATA%\Corvexa\Orlesse on Windows. Empty when the system names no such folder.
QString settingsFolder();

// The per-user folder of light programs, where the dialogs of an installed copy open:
// <generic data folder>/Corvexa/Orlesse/programs on Linux (~/.local/share/...), the user's
// Documents\Orlesse programs on Windows. Empty when the system names no such folder.
QString programsFolder();

// The folder the installed programs are in: on Linux the prefix's bin folder the build was
// configured for; on Windows the folder the installer chose, as it recorded it in the registry
// (Software\Corvexa\Orlesse, value InstallFolder, of the user or else of the machine). Empty
// when nothing is installed.
QString programFolder();

}  // namespace InstallLocation
