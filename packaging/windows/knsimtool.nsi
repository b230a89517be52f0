; The Windows setup program: the window, the command line and their two
; text files into Program Files, a Start-menu entry for all users, and an
; uninstaller that Programs and Features lists.
;
; Run over an installed version (newer or the same), it replaces the
; programs where they are and updates the one Programs and Features entry;
; the Start-menu entry and the user's settings stay. While an installed
; program runs its file cannot be replaced: the setup program then asks to
; close it first, and changes nothing when that is cancelled (a silent one
; cancels at once and ends with exit status 2).
;
; Built by WindowsPackaging.cmake (make windows-installer), which passes:
;   VERSION       e.g. 1.2.0, from CMake's project(VERSION)
;   VERSION_QUAD  the same with four numbers, as Windows' version resource wants
;   PUBLISHER     the name Programs and Features shows as publisher
;   COPYRIGHT     the copyright line of the version resource
;   STAGE         folder holding knsimtool.exe, knsimtool-cli.exe, README.txt, COPYRIGHT.txt
;   OUTFILE       the setup program to write
;   ICON          (optional) the program's icon, for the setup program and uninstaller

!macro Required NAME
  !ifndef ${NAME}
    !error "${NAME} is not defined: build the setup program with make windows-installer"
  !endif
!macroend
!insertmacro Required VERSION
!insertmacro Required VERSION_QUAD
!insertmacro Required PUBLISHER
!insertmacro Required COPYRIGHT
!insertmacro Required STAGE
!insertmacro Required OUTFILE

; The programs are 64-bit, and so is the setup program: it then writes the
; native (64-bit) registry that Programs and Features reads, and
; $PROGRAMFILES64 is the real Program Files, not the 32-bit one.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KNSimTool"
!define SHORTCUT "$SMPROGRAMS\KNSimTool.lnk"

Name "KNSimTool ${VERSION}"
BrandingText "${PUBLISHER}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\KNSimTool"
; A new version goes where the last one was put.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "KNSimTool"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"
VIAddVersionKey /LANG=1033 "FileDescription" "KNSimTool ${VERSION} setup"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!include "MUI2.nsh"
!include "LogicLib.nsh"

!define MUI_ABORTWARNING
; No "start KNSimTool now" on the last page: started from here the program
; would run as administrator, find Program Files writable and put its
; settings file there instead of under the user's %APPDATA%.
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The files the setup program puts into the program's folder, named once so
; that the uninstaller removes exactly these and nothing the user put there.
!macro ProgramFiles ACTION
  !insertmacro ${ACTION} "knsimtool.exe"
  !insertmacro ${ACTION} "knsimtool-cli.exe"
  !insertmacro ${ACTION} "README.txt"
  !insertmacro ${ACTION} "COPYRIGHT.txt"
!macroend
!macro InstallFile NAME
  File "${STAGE}/${NAME}"
!macroend
!macro RemoveFile NAME
  Delete "$INSTDIR\${NAME}"
!macroend

; $R0: the first installed program that cannot be opened for writing, or
; "" when there is none. Windows keeps a running program's file open
; without sharing write access, so this finds a program that runs; opening
; for appending changes nothing in the file.
!macro FindRunning NAME
  ${If} $R0 == ""
  ${AndIf} ${FileExists} "$INSTDIR\${NAME}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${NAME}" a
    ${If} ${Errors}
      StrCpy $R0 "${NAME}"
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
!macroend

; Asks until no installed program runs; $R0 is "" then, else the name of the
; one still running when the user cancelled (a silent run cancels at once).
; The setup program and the uninstaller each have their copy (the
; uninstaller's functions carry the "un." prefix).
!macro AskToCloseRunningProgramsFunction PREFIX
Function ${PREFIX}AskToCloseRunningPrograms
  retry:
    StrCpy $R0 ""
    !insertmacro FindRunning "knsimtool.exe"
    !insertmacro FindRunning "knsimtool-cli.exe"
    StrCmp $R0 "" done
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "KNSimTool is running ($R0). Close it, then click Retry to go on.$\r$\nCancel leaves the installed version as it is." \
      /SD IDCANCEL IDRETRY retry
  done:
FunctionEnd
!macroend
!insertmacro AskToCloseRunningProgramsFunction ""
!insertmacro AskToCloseRunningProgramsFunction "un."

Function .onInit
  ; The Start-menu entry is for every user of the machine.
  SetShellVarContext all
  ; An upgrade: $INSTDIR is where the last version went.
  Call AskToCloseRunningPrograms
  ${If} $R0 != ""
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
  ; A running program keeps its file: removing the rest would leave a
  ; broken installation behind.
  Call un.AskToCloseRunningPrograms
  ${If} $R0 != ""
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

Section "KNSimTool" SecProgram
  SectionIn RO
  ; Again, before the first file: another folder may have been chosen, or
  ; the program started meanwhile.
  Call AskToCloseRunningPrograms
  ${If} $R0 != ""
    SetErrorLevel 2
    Abort "KNSimTool is running: nothing was changed."
  ${EndIf}
  SetOutPath "$INSTDIR"
  !insertmacro ProgramFiles InstallFile
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\knsimtool.exe" "" "$INSTDIR\knsimtool.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "KNSimTool"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\knsimtool.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KB, as Programs and Features expects: what this section put there.
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  !insertmacro ProgramFiles RemoveFile
  Delete "$INSTDIR\uninstall.exe"
  ; Without /r: a settings file that a run as administrator left beside the
  ; program, or set-ups (.kns) saved there, stay, and the folder with them.
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  ; Last, so that whoever waits for a silent uninstall to end can wait for
  ; the key to go.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
