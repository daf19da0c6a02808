; The Windows installer: a 64-bit setup program that puts the window, the
; batch command and jetdb under Program Files\Tessaly Calendar Update, a
; Start-menu entry for the window, an uninstall entry and an uninstaller.
; Built by the Windows build (installer/CMakeLists.txt):
;   makensis -DBIN=<folder of the .exe files> -DOUTFILE=<setup.exe>
;            -DVERSION=1.00.0011 -DFILEVERSION=1.0.0.11
; "/S" installs (and uninstalls) without asking. Neither runs while one of
; the programs does: they hold the mutex platform::kRunningMutex
; (src/platform/system.h) for as long as they run.
Target amd64-unicode
ManifestDPIAware true
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Tessaly Calendar Update"
!define PUBLISHER "Tessaly"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TessalyCalendarUpdate"
!define PROGRAM_MUTEX "TessalyCalendarUpdate.Running"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${FILEVERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "Setup of the ${PRODUCT}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"

!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_WELCOMEPAGE_TEXT "This will install the ${PRODUCT} ${VERSION}, which writes the \
  church-calendar data of 2010 into your Tessaly Desktop Calendar.$\r$\n$\r$\n\
  Close the Tessaly Desktop Calendar before you run the update.$\r$\n$\r$\n\
  Click Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\tessaly-update.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start the ${PRODUCT} now"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Refuses, with a message, while one of the programs runs: their files
; could not be replaced or removed.
!macro RefuseWhileRunning
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${PROGRAM_MUTEX}") p .r0'
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_ICONSTOP "The ${PRODUCT} is running. Close it, then run this setup again." \
      /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RefuseWhileRunning
  SetShellVarContext all
FunctionEnd

Function un.onInit
  !insertmacro RefuseWhileRunning
  SetShellVarContext all
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "${BIN}\tessaly-update.exe"
  File "${BIN}\tessaly-update-cli.exe"
  File "${BIN}\jetdb.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tessaly-update.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tessaly-update.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2  ; kilobytes
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\tessaly-update.exe"
  Delete "$INSTDIR\tessaly-update-cli.exe"
  Delete "$INSTDIR\jetdb.exe"
  ; What the programs wrote there (as an administrator).
  Delete "$INSTDIR\error.log"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; A user's log, where Windows put it for a program that may not write
  ; under Program Files (the folders are removed only when empty).
  SetShellVarContext current
  Delete "$LOCALAPPDATA\VirtualStore\Program Files\${PRODUCT}\error.log"
  RMDir "$LOCALAPPDATA\VirtualStore\Program Files\${PRODUCT}"
  SetShellVarContext all
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
