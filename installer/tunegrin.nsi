; TuneGrin's Windows setup: a per-user install that needs no administrator rights.
; Made by tools/make_setup.sh, which passes the built program and its version:
;   makensis -DPROGRAM=tunegrin.exe -DVERSION=1.0.0 -DOUTFILE=setup.exe [-DWIN64] tunegrin.nsi

!ifndef PROGRAM | VERSION | OUTFILE
  !error "PROGRAM, VERSION and OUTFILE must be defined"
!endif
!ifdef WIN64
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TuneGrin"
!define SHORTCUT "$SMPROGRAMS\TuneGrin.lnk"

Name "TuneGrin ${VERSION}"
OutFile "${OUTFILE}"
; The player's own folder: no administrator needed, and the game may write its
; tunegrin.ini there, since the shortcut starts it in this folder.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\TuneGrin"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
; The installed files get the install time, not the build's: the setup's bytes hold no date.
SetDateSave off

!include MUI2.nsh
!define MUI_ICON "../resources/tunegrin.ico"
!define MUI_UNICON "../resources/tunegrin.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tunegrin.exe"   ; started in $OUTDIR, the install folder
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP \
  "TuneGrin itself is removed. Your note choice stays for a later install unless you tick the box."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The setup's version is the one in the program's version resource: makensis refuses to
; pack a program of another version. The setup itself installs over any version already
; there, the same one included: it replaces the program, the shortcut and the uninstall
; entry, and leaves tunegrin.ini alone.
!getdllversion "${PROGRAM}" V_
!if "${VERSION}" S!= "${V_1}.${V_2}.${V_3}"
  !error "${PROGRAM} is version ${V_1}.${V_2}.${V_3}, not ${VERSION}"
!endif
VIProductVersion "${V_1}.${V_2}.${V_3}.${V_4}"
VIFileVersion "${V_1}.${V_2}.${V_3}.${V_4}"
; The program's own version resource names no copyright either.
!pragma warning disable 9100
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "TuneGrin"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "TuneGrin setup"

Function .onInit
  SetShellVarContext current
FunctionEnd

; Windows will not open a running program for writing: while TuneGrin runs from the
; folder, the player closes it and retries, or cancels with nothing changed (exit code 2).
!macro ENSURE_CLOSED UN
Function ${UN}ensureClosed
  retry:
  IfFileExists "$INSTDIR\tunegrin.exe" 0 closed
  ClearErrors
  FileOpen $0 "$INSTDIR\tunegrin.exe" a
  IfErrors 0 opened
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
    "TuneGrin is running from $INSTDIR.$\r$\nClose it, then choose Retry." /SD IDCANCEL IDRETRY retry
  SetErrorLevel 2
  Quit
  opened:
  FileClose $0
  closed:
FunctionEnd
!macroend
!insertmacro ENSURE_CLOSED ""
!insertmacro ENSURE_CLOSED "un."

Section
  Call ensureClosed
  SetOutPath "$INSTDIR"              ; also the shortcut's working folder
  File "/oname=tunegrin.exe" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\tunegrin.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "TuneGrin"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tunegrin.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0                ; in KB, as Add/Remove Programs expects
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "-un.Program"
  Call un.ensureClosed               ; before anything goes
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\tunegrin.exe"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Unticked by default, and so kept by a silent uninstall.
Section /o "un.Remove my note choice (tunegrin.ini)"
  Delete "$INSTDIR\tunegrin.ini"
SectionEnd

Section "-un.Folder"
  RMDir "$INSTDIR"                   ; only when empty: a kept tunegrin.ini stays
SectionEnd
