; The Windows setup program: the window, the command line, the help page
; and the copyright notice, with Start-menu entries for the window, its
; bench (the same program with --bench) and the help, and an uninstaller
; that "Apps and Features" lists. It installs for the current user only or
; for every user (Scope.nsh says how the scope is chosen and what each
; means). Interactive, it asks; silent, /CurrentUser or /AllUsers chooses,
; and without either it installs for every user when it runs with
; administrator rights, else for the current user.
;
; Run over an installed version it keeps that installation's scope and
; folder, replaces the programs where they are and updates the one entry;
; the Start-menu entries and the user's settings stay. Over a newer version
; it asks first (a silent one refuses and changes nothing); the same version
; again is a repair. While an installed program runs its file cannot be
; replaced: the setup program then asks to close it first, and changes
; nothing when that is cancelled (RunningPrograms.nsh).
;
; Exit statuses (also in setup.exe /? and the README):
;   0    installed
;   1    cancelled
;   2    refused, nothing changed: a newer version installed, a program
;        running, or an installation for everyone that only an
;        administrator may update
;   740  /AllUsers without administrator rights (silent)
;
; Built by WindowsPackaging.cmake (make windows-installer), which passes:
;   VERSION       e.g. 1.2.0, from CMake's project(VERSION)
;   VERSION_QUAD  the same with four numbers, as Windows' version resource wants
;   PUBLISHER     the name Programs and Features shows as publisher
;   COPYRIGHT     the copyright line of the version resource
;   STAGE         folder holding knsimtool.exe, knsimtool-cli.exe, README.html, COPYRIGHT.txt
;   OUTFILE       the setup program to write
;   ICON          (optional) the program's icon, for the setup program and uninstaller
; and, for the test build of make test-windows-install only:
;   KNS_TEST_RIGHTS, KNS_TEST_MARKER   see TestRights.nsh

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
; $SMPROGRAMS is the current user's or all users' Start menu, as the scope
; has set the shell context.
!define SHORTCUT "$SMPROGRAMS\KNSimTool.lnk"
!define HELP_SHORTCUT "$SMPROGRAMS\KNSimTool help.lnk"
!define BENCH_SHORTCUT "$SMPROGRAMS\KNSimTool bench.lnk"
!define EXIT_INSTALLED 0
!define EXIT_CANCELLED 1
!define EXIT_REFUSED 2
; What Windows answers a program that needs administrator rights it was not
; started with; a silent install for every user ends with it when the rights
; are missing.
!define ERROR_ELEVATION_REQUIRED 740

Name "KNSimTool ${VERSION}"
BrandingText "${PUBLISHER}"
OutFile "${OUTFILE}"
; No InstallDir: the folder follows the scope (and an installation found),
; set in .onInit; /D= on the command line still wins.
; The user's own rights: "Only for me" asks nobody for anything, whoever
; runs it; "For everyone" starts the setup program again with administrator
; rights (Scope.nsh), and only then does Windows ask.
RequestExecutionLevel user
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
!include "nsDialogs.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"

!ifdef KNS_TEST_RIGHTS
  !include "TestRights.nsh"
!else
  !macro TestRights
  !macroend
  !macro TestQuiet
  !macroend
  !macro TestAnswer
  !macroend
!endif

!define MUI_ABORTWARNING
; No "start KNSimTool now" on the last page: started from an elevated setup
; program it would run as administrator, find Program Files writable and put
; its settings file there instead of under the user's %APPDATA%.
Page custom ScopePageCreate ScopePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!include "RunningPrograms.nsh"
!include "Scope.nsh"
!include "ProgramSections.nsh"

!define USAGE "KNSimTool ${VERSION} setup$\r$\n$\r$\n\
setup.exe [/S] [/CurrentUser | /AllUsers] [/D=FOLDER]$\r$\n$\r$\n\
/S$\tsilent: no questions, no pages$\r$\n\
/CurrentUser$\tonly for you, no administrator rights$\r$\n\
/AllUsers$\tfor everyone (administrator rights)$\r$\n\
/D=FOLDER$\tthe folder, last on the line$\r$\n$\r$\n\
Exit status:$\r$\n\
0$\tinstalled$\r$\n\
1$\tcancelled$\r$\n\
2$\trefused, nothing changed: a newer version installed, a program running, or an installation for everyone that only an administrator may update$\r$\n\
740$\t/AllUsers without administrator rights"

Function .onInit
  ${GetParameters} $R1
  ClearErrors
  ${GetOptions} $R1 "/?" $0
  ${IfNot} ${Errors}
    MessageBox MB_OK|MB_ICONINFORMATION "${USAGE}" /SD IDOK
    SetErrorLevel ${EXIT_INSTALLED}
    Quit
  ${EndIf}
  StrCpy $Quiet 0
  ${If} ${Silent}
    StrCpy $Quiet 1
  ${EndIf}
  !insertmacro TestQuiet
  Call FindAdmin
  ${If} $INSTDIR != ""
    StrCpy $FolderGiven 1
  ${EndIf}
  StrCpy $R2 ""
  ClearErrors
  ${GetOptions} $R1 "/AllUsers" $0
  ${IfNot} ${Errors}
    StrCpy $R2 "all"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R1 "/CurrentUser" $0
  ${IfNot} ${Errors}
    StrCpy $R2 "user"
  ${EndIf}
  Call ChooseScope

  ; No silent downgrade: over a newer version, ask; silent, refuse.
  ${If} $FoundScope != ""
    ${If} $FoundScope == "all"
      ReadRegStr $R5 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ${Else}
      ReadRegStr $R5 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
    ${EndIf}
    ${VersionCompare} "${VERSION}" "$R5" $0
    ${If} $0 == 2
      MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 \
        "KNSimTool $R5 is installed, a newer version than this setup program's ${VERSION}.$\r$\n$\r$\nReplace it with the older version ${VERSION}?" \
        /SD IDNO IDYES downgrade
      SetErrorLevel ${EXIT_REFUSED}
      Quit
    downgrade:
    ${EndIf}
  ${EndIf}

  ; An upgrade: $INSTDIR is where the last version went.
  Call AskToCloseRunningPrograms
  ${If} $R0 != ""
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}
FunctionEnd

Function un.onInit
  Call un.FindAdmin
  Call un.ChooseScope
  ; A running program keeps its file: removing the rest would leave a
  ; broken installation behind.
  Call un.AskToCloseRunningPrograms
  ${If} $R0 != ""
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}
FunctionEnd
