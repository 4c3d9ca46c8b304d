; The Windows installer, one per bitness:
;   makensis -DARCH=x64 -DBUILD=../build-win64 -DOUTFILE=../dist/selvane-sp-5.04.0002-x64-setup.exe selvane-sp.nsi
;   makensis -DARCH=x86 -DBUILD=../build-win32 -DOUTFILE=../dist/selvane-sp-5.04.0002-x86-setup.exe selvane-sp.nsi
; Installs selvane-sp.exe (the window) and selvane-sp.com (the command line)
; into Program Files, a Start-menu shortcut and an uninstall entry. /S
; installs and uninstalls without a question, for administrators who deploy it.
Unicode true
SetCompressor /SOLID lzma

!define PRODUCT "Selvane SP5.4"
!define VERSION "5.04.0002"
!define PUBLISHER "Selvane"
!if ${ARCH} == x64
  !define BITS "64-bit"
  !define OTHER "x86"
  !define OTHER_BITS "32-bit"
  !define ADMINISTRATOR "ODBC Data Sources (64-bit), C:\Windows\System32\odbcad32.exe"
  !define OTHER_ADMINISTRATOR "ODBC Data Sources (32-bit), C:\Windows\SysWOW64\odbcad32.exe"
!else
  !define BITS "32-bit"
  !define OTHER "x64"
  !define OTHER_BITS "64-bit"
  !define ADMINISTRATOR "ODBC Data Sources (32-bit), C:\Windows\SysWOW64\odbcad32.exe on 64-bit Windows"
  !define OTHER_ADMINISTRATOR "ODBC Data Sources (64-bit), C:\Windows\System32\odbcad32.exe"
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Selvane SP5.4 ${ARCH}"

Name "${PRODUCT} (${BITS})"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
!if ${ARCH} == x64
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES32\${PRODUCT}"
!endif

VIProductVersion "5.4.0.2"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup (${BITS})"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "x64.nsh"

!define MUI_ICON "..\resources\windows\selvane-sp.ico"
!define MUI_UNICON "..\resources\windows\selvane-sp.ico"
!define MUI_WELCOMEPAGE_TITLE "${PRODUCT}, ${BITS}"
!define MUI_WELCOMEPAGE_TEXT "This installs the ${BITS} build of the service pack ${PRODUCT} (version ${VERSION}).$\r$\n$\r$\nA program sees only the ODBC data sources of its own bitness. This build updates the data sources listed in ${ADMINISTRATOR}.$\r$\n$\r$\nIf your Selvane data sources (SQL Server, Pervasive ODBC Engine Interface or Client Interface) are listed in ${OTHER_ADMINISTRATOR} instead, cancel and install the ${OTHER} (${OTHER_BITS}) build."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
!if ${ARCH} == x64
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "This is the 64-bit build of ${PRODUCT}; this Windows is 32-bit. Install the x86 build." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
!endif
FunctionEnd

Function un.onInit
!if ${ARCH} == x64
  SetRegView 64
!endif
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "${BUILD}\window_win32\selvane-sp.exe"
  File "${BUILD}\cli\selvane-sp.com"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\${PRODUCT} (${BITS}).lnk" "$INSTDIR\selvane-sp.exe" "" "$INSTDIR\selvane-sp.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (${BITS})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\selvane-sp.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT} (${BITS}).lnk"
  Delete "$INSTDIR\selvane-sp.exe"
  Delete "$INSTDIR\selvane-sp.com"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
