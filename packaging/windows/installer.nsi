; The Windows installer: a per-user install, without administrator rights, of the folder that
; cmake --install made for the zip. scripts/build-windows runs makensis with
;   VERSION      the version of project(Orlesse VERSION ...)
;   VERSION4     the same in four numbers (0.1.0.0), as a version resource has it
;   STAGE        the folder to install
;   OUTFILE      the installer to write
;   ICON         the installer's icon (the controller's)
;   UNINSTALL    a file of Delete and RMDir lines for what STAGE holds, so that the uninstaller
;                removes exactly what was installed and nothing the user put there
; /S installs silently (and Uninstall.exe /S uninstalls silently).
; A 64-bit installer for 64-bit programs (a Windows without 32-bit support, or a Wine without
; wine32, runs it too).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define PRODUCT "Orlesse"
!define ORLESSE_KEY "Software\Corvexa\Orlesse"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orlesse"
; The editor under "Open with" for .csv files, without becoming their default program.
!define PROGID "Orlesse.LightProgram"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${ORLESSE_KEY}" "InstallFolder"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION4}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "CompanyName" "Corvexa"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 Corvexa, MIT License"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\orlesse.exe"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\licenses\Orlesse-LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Orlesse"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  ; Where the programs are: an installed copy keeps its settings in %APPDATA% instead.
  WriteRegStr HKCU "${ORLESSE_KEY}" "InstallFolder" "$INSTDIR"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Orlesse.lnk" "$INSTDIR\orlesse.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Orlesse Editor.lnk" "$INSTDIR\orlesse-editor.exe"

  WriteRegStr HKCU "Software\Classes\${PROGID}" "" "Orlesse light program"
  WriteRegStr HKCU "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\orlesse-editor.exe,0"
  WriteRegStr HKCU "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\orlesse-editor.exe" "%1"'
  WriteRegStr HKCU "Software\Classes\.csv\OpenWithProgids" "${PROGID}" ""
  WriteRegStr HKCU "Software\Classes\Applications\orlesse-editor.exe" "FriendlyAppName" "Orlesse Editor"
  WriteRegStr HKCU "Software\Classes\Applications\orlesse-editor.exe\SupportedTypes" ".csv" ""
  WriteRegStr HKCU "Software\Classes\Applications\orlesse-editor.exe\shell\open\command" "" '"$INSTDIR\orlesse-editor.exe" "%1"'

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Corvexa"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\orlesse.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes the programs and what the installer registered. The settings (%APPDATA%) and the
; user's light programs (Documents) stay.
Section "Uninstall"
  !include "${UNINSTALL}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\Orlesse.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Orlesse Editor.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  DeleteRegKey HKCU "Software\Classes\${PROGID}"
  DeleteRegValue HKCU "Software\Classes\.csv\OpenWithProgids" "${PROGID}"
  DeleteRegKey /ifempty HKCU "Software\Classes\.csv\OpenWithProgids"
  DeleteRegKey HKCU "Software\Classes\Applications\orlesse-editor.exe"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegValue HKCU "${ORLESSE_KEY}" "InstallFolder"
  DeleteRegKey /ifempty HKCU "${ORLESSE_KEY}"
SectionEnd
