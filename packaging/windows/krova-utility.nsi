; The Windows installer of the utility, made by scripts/windows/make-installer.sh:
;   makensis -DVERSION=7.0 -DSTAGE=<staged install folder> -DOUTFILE=<setup.exe> krova-utility.nsi
; It installs the programs for every user of the PC into Program Files, with
; Start-menu entries for the program and the demo and an uninstaller that
; "Apps & features" lists. What the programs keep per user (settings backups)
; lies in %APPDATA% and stays when the utility is uninstalled.
; A 64-bit installer for the 64-bit programs (Windows 10 and 11 are 64-bit).
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "K-ROVA X Utility"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\krova-utility"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
Icon "${STAGE}\krova-utility.ico"
UninstallIcon "${STAGE}\krova-utility.ico"
BrandingText "${PRODUCT} ${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\krova-utility.exe" "" "$INSTDIR\krova-utility.ico"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} (demo).lnk" "$INSTDIR\krova-utility-demo.exe" "" "$INSTDIR\krova-utility.ico"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Norvelle"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\krova-utility.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} (demo).lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  ; Only what the installer put there; a folder the user added files to stays.
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
