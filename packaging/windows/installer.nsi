; The Windows installer of the client, QX_CLIENT-<version>-setup.exe, which is also the
; patch the client downloads and starts with /VerySilent. Built by scripts/installer-windows:
;   makensis -DVERSION=0.217 -DVI_VERSION=0.217.0.0 -DCLIENT_EXE=... -DHELPER_EXE=...
;            -DICON=... -DINSTALL_DIR=c:\KESTRAVON -DOUTFILE=... installer.nsi
;
; A per-user install: the client runs as the user (asInvoker) and starts its update
; without a prompt, so the installer asks for no elevation either. c:\KESTRAVON gets the
; access list the client gives it; the Start-menu shortcut and the Add/Remove Programs
; entry are the user's. config.ini is never touched: not by an install, an update or
; the uninstaller.
;
; Silent with /VerySilent (any case, the client's spelling) or /S; interactive otherwise.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
; Not solid: each file is unpacked straight into place, with no whole-archive temporary file.
SetCompressor lzma

!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh

!define PRODUCT "KESTRAVON MINER V2"
!define PUBLISHER "KESTRAVON"
!define PROGRAM "QX_CLIENT.exe"
!define UNINSTALLER "uninstall.exe"
!define HELPER "replace_client.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KESTRAVON MINER V2"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; replace_client's exit codes (packaging/windows/replace_client.cpp).
!define REPLACED 0
!define REPLACED_AND_RESTARTED 3

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${INSTALL_DIR}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion ${VI_VERSION}
VIFileVersion ${VI_VERSION}
VIAddVersionKey /LANG=0 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=0 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 FileVersion "${VERSION}"
VIAddVersionKey /LANG=0 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=0 FileDescription "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=0 LegalCopyright "(c) KESTRAVON. All rights reserved."

Var ClientRestarted  ; 1 when the update already started the new client

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartClient
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; /VerySilent, in any case, as a whole word: the command line the client starts its
; patch with. NSIS's own /S is handled by NSIS.
!macro SilentOnVerySilent
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/VerySilent" $R1
  ${IfNot} ${Errors}
  ${AndIf} $R1 == ""
    SetSilent silent
  ${EndIf}
!macroend

Function .onInit
  !insertmacro SilentOnVerySilent
  ; The client looks for its files in this folder only: /D= does not move it.
  StrCpy $INSTDIR "${INSTALL_DIR}"
  StrCpy $ClientRestarted 0
  ; One installer at a time.
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "KESTRAVON-MINER-V2-setup") p .r0 ?e'
  Pop $1
  ${If} $1 = 183  ; ERROR_ALREADY_EXISTS
    MessageBox MB_OK|MB_ICONINFORMATION "Another ${PRODUCT} setup is running." /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

Function .onInstFailed
  ; A new program that could not be written whole is not left behind.
  Delete "$INSTDIR\${PROGRAM}.new"
FunctionEnd

Function StartClient
  ${If} $ClientRestarted = 0
    SetOutPath "$INSTDIR"
    Exec '"$INSTDIR\${PROGRAM}"'
  ${EndIf}
FunctionEnd

Function FinishPageShow
  ; The update started the new client already: nothing to offer.
  ${If} $ClientRestarted = 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
FunctionEnd

Section "-Install"
  SetShellVarContext current
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "/oname=${HELPER}" "${HELPER_EXE}"
  ExecWait '"$PLUGINSDIR\${HELPER}" prepare "$INSTDIR"' $0
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "The folder $INSTDIR cannot be created." /SD IDOK
    Abort "The folder $INSTDIR cannot be created."
  ${EndIf}

  ; The new program is written beside the old one under another name; the old one,
  ; running or not, stays untouched until the new one is there whole.
  SetOutPath "$INSTDIR"
  Delete "$INSTDIR\${PROGRAM}.new"
  File "/oname=${PROGRAM}.new" "${CLIENT_EXE}"
  DetailPrint "Putting ${PROGRAM} ${VERSION} in place"
  ExecWait '"$PLUGINSDIR\${HELPER}" replace "$INSTDIR"' $0
  ${If} $0 = ${REPLACED_AND_RESTARTED}
    StrCpy $ClientRestarted 1
  ${ElseIf} $0 <> ${REPLACED}
    Delete "$INSTDIR\${PROGRAM}.new"
    MessageBox MB_OK|MB_ICONSTOP "${PROGRAM} ${VERSION} could not be put in place; the program installed before is kept." /SD IDOK
    Abort "${PROGRAM} ${VERSION} could not be put in place."
  ${EndIf}

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB: the program and the uninstaller (config.ini and a downloaded patch are not ours).
  ${GetSize} "$INSTDIR" "/M=${PROGRAM} /S=0K /G=0" $1 $2 $3
  ${GetSize} "$INSTDIR" "/M=${UNINSTALLER} /S=0K /G=0" $4 $2 $3
  IntOp $1 $1 + $4
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Function un.onInit
  !insertmacro SilentOnVerySilent
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "/oname=${HELPER}" "${HELPER_EXE}"
  ; A running client is closed as the user would close it; its files go only once it has ended.
  ExecWait '"$PLUGINSDIR\${HELPER}" close "$INSTDIR"' $0
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is still running; close it and uninstall again." /SD IDOK
    Abort "${PRODUCT} is still running."
  ${EndIf}
  SetOutPath "$TEMP"

  Delete "$INSTDIR\${PROGRAM}"
  Delete "$INSTDIR\${PROGRAM}.new"
  Delete "$INSTDIR\${PROGRAM}.old"
  ; The client's downloads: the last patch it started and its unfinished temporary files.
  Delete "$INSTDIR\patch.exe"
  Delete "$INSTDIR\patch.exe.part"
  Delete "$INSTDIR\patch.exe.minisig.part"
  Delete "$INSTDIR\${UNINSTALLER}"
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; Removed only when empty: config.ini (the machine's serial number) stays.
  RMDir "$INSTDIR"
SectionEnd
