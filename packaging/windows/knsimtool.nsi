; The Windows setup program: the window, the command line, the help page
; and the copyright notice, with Start-menu entries for the window, its
; bench (the same program with --bench) and the help, and an uninstaller
; that "Apps and Features" lists. It installs either for the current user
; only (no administrator rights: the folder %LOCALAPPDATA%\Programs\KNSimTool,
; the user's own Start menu, the entry under HKCU) or for every user
; (Program Files, the Start menu of all users, the entry under HKLM).
; Interactive, it asks; silent, /CurrentUser or /AllUsers chooses, and
; without either it installs for every user when it runs with administrator
; rights, else for the current user.
;
; Run over an installed version it keeps that installation's scope and
; folder, replaces the programs where they are and updates the one entry;
; the Start-menu entries and the user's settings stay. Over a newer version
; it asks first (a silent one refuses with exit status 2 and changes
; nothing); the same version again is a repair. While an installed program
; runs its file cannot be replaced: the setup program then asks to close it
; first, and changes nothing when that is cancelled (a silent one cancels at
; once and ends with exit status 2).
;
; Built by WindowsPackaging.cmake (make windows-installer), which passes:
;   VERSION       e.g. 1.2.0, from CMake's project(VERSION)
;   VERSION_QUAD  the same with four numbers, as Windows' version resource wants
;   PUBLISHER     the name Programs and Features shows as publisher
;   COPYRIGHT     the copyright line of the version resource
;   STAGE         folder holding knsimtool.exe, knsimtool-cli.exe, README.html, COPYRIGHT.txt
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
; $SMPROGRAMS is the current user's or all users' Start menu, as the scope
; has set the shell context.
!define SHORTCUT "$SMPROGRAMS\KNSimTool.lnk"
!define HELP_SHORTCUT "$SMPROGRAMS\KNSimTool help.lnk"
!define BENCH_SHORTCUT "$SMPROGRAMS\KNSimTool bench.lnk"
; What Windows answers a program that needs administrator rights it was not
; started with; a silent install for every user ends with it when the rights
; are missing.
!define ERROR_ELEVATION_REQUIRED 740

Name "KNSimTool ${VERSION}"
BrandingText "${PUBLISHER}"
OutFile "${OUTFILE}"
; No InstallDir: the folder follows the scope (and an installation found),
; set in .onInit; /D= on the command line still wins.
; "highest": no elevation prompt for a user without administrator rights,
; who installs for himself; an administrator gets his full rights, as every
; install into Program Files needs.
RequestExecutionLevel highest
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

; "all" or "user": the scope of this installation.
Var Scope
; "all", "user" or "": the scope of the installation found, which an
; upgrade keeps.
Var FoundScope
; 1 when this process has administrator rights.
Var IsAdmin
; 1 when /D= named the folder: the scope then does not move it.
Var FolderGiven
Var ScopeMe
Var ScopeAll

!define MUI_ABORTWARNING
; No "start KNSimTool now" on the last page: started from here the program
; would run as administrator, find Program Files writable and put its
; settings file there instead of under the user's %APPDATA%.
Page custom ScopePageCreate ScopePageLeave
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
  !insertmacro ${ACTION} "README.html"
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

; The shell context (Start menu, $SMPROGRAMS) and the registry root SHCTX
; follow the scope; so does the folder, unless /D= or an installation found
; named it.
!macro ApplyScopeFunction PREFIX
Function ${PREFIX}ApplyScope
  ${If} $Scope == "all"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd
!macroend
!insertmacro ApplyScopeFunction ""
!insertmacro ApplyScopeFunction "un."

Function DefaultFolder
  ${If} $FolderGiven != 1
  ${AndIf} $FoundScope == ""
    ${If} $Scope == "all"
      StrCpy $INSTDIR "$PROGRAMFILES64\KNSimTool"
    ${Else}
      ; Where Windows itself puts programs installed for one user.
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\KNSimTool"
    ${EndIf}
  ${EndIf}
FunctionEnd

!macro FindAdminFunction PREFIX
Function ${PREFIX}FindAdmin
  StrCpy $IsAdmin 0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $IsAdmin 1
  ${EndIf}
FunctionEnd
!macroend
!insertmacro FindAdminFunction ""
!insertmacro FindAdminFunction "un."

Function .onInit
  Call FindAdmin
  ${If} $INSTDIR != ""
    StrCpy $FolderGiven 1
  ${EndIf}
  ${GetParameters} $R1
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

  ; An installation found keeps its scope, whatever the command line asks:
  ; a second one beside it would give two Start-menu entries and two
  ; entries in "Apps and Features" for the same program.
  ReadRegStr $R3 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $R4 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $FoundScope ""
  ${If} $R3 != ""
  ${AndIf} $R4 != ""
    ; Both (one put there by hand, or by another tool): the one asked for,
    ; else the one these rights can change.
    ${If} $R2 == "user"
    ${OrIf} $IsAdmin != 1
      StrCpy $FoundScope "user"
    ${Else}
      StrCpy $FoundScope "all"
    ${EndIf}
  ${ElseIf} $R3 != ""
    StrCpy $FoundScope "all"
  ${ElseIf} $R4 != ""
    StrCpy $FoundScope "user"
  ${EndIf}
  ${If} $FoundScope == "all"
    StrCpy $Scope "all"
    StrCpy $R6 $R3
  ${ElseIf} $FoundScope == "user"
    StrCpy $Scope "user"
    StrCpy $R6 $R4
  ${ElseIf} $R2 != ""
    StrCpy $Scope $R2
  ${ElseIf} $IsAdmin == 1
    StrCpy $Scope "all"
  ${Else}
    StrCpy $Scope "user"
  ${EndIf}
  ; An upgrade goes where the last version was put, unless /D= says otherwise.
  ${If} $FoundScope != ""
  ${AndIf} $FolderGiven != 1
    StrCpy $INSTDIR $R6
  ${EndIf}
  Call ApplyScope
  Call DefaultFolder

  ; Every user's installation needs administrator rights. Silent, there is
  ; nobody to give them; interactive, the page below asks, or, with the
  ; scope fixed by the installation found, this asks now.
  ${If} $Scope == "all"
  ${AndIf} $IsAdmin != 1
    ${If} ${Silent}
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${ElseIf} $FoundScope == "all"
      MessageBox MB_OKCANCEL|MB_ICONINFORMATION \
        "KNSimTool is installed for every user of this computer: changing it needs administrator rights." \
        IDCANCEL refused
      Call RunAsAdministrator
    refused:
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}

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
      SetErrorLevel 2
      Quit
    downgrade:
    ${EndIf}
  ${EndIf}

  ; An upgrade: $INSTDIR is where the last version went.
  Call AskToCloseRunningPrograms
  ${If} $R0 != ""
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

; Starts this setup program again with administrator rights (Windows asks
; for them) and ends this one; when they are refused it returns.
Function RunAsAdministrator
  ClearErrors
  ExecShell "runas" "$EXEPATH" "/AllUsers"
  ${IfNot} ${Errors}
    SetErrorLevel 0
    Quit
  ${EndIf}
  MessageBox MB_OK|MB_ICONEXCLAMATION "Without administrator rights KNSimTool can only be installed for you."
FunctionEnd

Function ScopePageCreate
  ; The installation found has decided.
  ${If} $FoundScope != ""
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Choose users" "Install KNSimTool for yourself only, or for everyone who uses this computer."
  nsDialogs::Create 1018
  Pop $0
  ReadEnvStr $1 USERNAME
  ${NSD_CreateRadioButton} 0 0 100% 12u "Only for &me ($1)"
  Pop $ScopeMe
  ${NSD_CreateLabel} 12u 13u -12u 20u "No administrator rights needed. Into your own folder (AppData\Local\Programs), with an entry in your own Start menu."
  Pop $0
  ${NSD_CreateRadioButton} 0 42u 100% 12u "For &everyone who uses this computer"
  Pop $ScopeAll
  ${NSD_CreateLabel} 12u 55u -12u 20u "Needs administrator rights. Into Program Files, with an entry in every user's Start menu."
  Pop $0
  ${If} $Scope == "all"
    ${NSD_Check} $ScopeAll
  ${Else}
    ${NSD_Check} $ScopeMe
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ScopePageLeave
  ${NSD_GetState} $ScopeAll $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $Scope "all"
  ${Else}
    StrCpy $Scope "user"
  ${EndIf}
  ${If} $Scope == "all"
  ${AndIf} $IsAdmin != 1
    Call RunAsAdministrator
    Abort  ; refused: the choice again
  ${EndIf}
  Call ApplyScope
  Call DefaultFolder
FunctionEnd

; The uninstaller's scope is that of the entry that names its folder
; (compared by short names: the folder may be given either way).
Function un.onInit
  Call un.FindAdmin
  GetFullPathName /SHORT $R1 $INSTDIR
  ReadRegStr $R3 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $R4 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $Scope ""
  ${If} $R3 != ""
    GetFullPathName /SHORT $R3 $R3
    ${If} $R3 == $R1
      StrCpy $Scope "all"
    ${EndIf}
  ${EndIf}
  ${If} $Scope == ""
  ${AndIf} $R4 != ""
    GetFullPathName /SHORT $R4 $R4
    ${If} $R4 == $R1
      StrCpy $Scope "user"
    ${EndIf}
  ${EndIf}
  ${If} $Scope == ""
    ; No entry names it (removed by hand): a folder in the user's own
    ; profile was his alone.
    SetShellVarContext current
    GetFullPathName /SHORT $R5 $LOCALAPPDATA
    StrLen $0 $R5
    StrCpy $1 $R1 $0
    ${If} $R5 != ""
    ${AndIf} $1 == $R5
      StrCpy $Scope "user"
    ${Else}
      StrCpy $Scope "all"
    ${EndIf}
  ${EndIf}
  Call un.ApplyScope
  ${If} $Scope == "all"
  ${AndIf} $IsAdmin != 1
    ${If} ${Silent}
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${EndIf}
    ; The uninstaller in the folder, not the copy that runs: it copies
    ; itself again.
    ClearErrors
    ExecShell "runas" "$INSTDIR\uninstall.exe"
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONEXCLAMATION "KNSimTool is installed for every user: removing it needs administrator rights."
      SetErrorLevel 2
    ${EndIf}
    Quit
  ${EndIf}
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
  ; Earlier versions carried the README as text; the help page replaces it.
  Delete "$INSTDIR\README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "${SHORTCUT}" "$INSTDIR\knsimtool.exe" "" "$INSTDIR\knsimtool.exe" 0
  CreateShortcut "${BENCH_SHORTCUT}" "$INSTDIR\knsimtool.exe" "--bench" "$INSTDIR\knsimtool.exe" 0
  CreateShortcut "${HELP_SHORTCUT}" "$INSTDIR\README.html"

  ; SHCTX: HKLM for every user, HKCU for the current user (the scope's
  ; shell context).
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "KNSimTool"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\knsimtool.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KB, as Programs and Features expects: what this section put there.
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  !insertmacro ProgramFiles RemoveFile
  Delete "$INSTDIR\uninstall.exe"
  ; Without /r: the settings file beside the program (an installation for
  ; one user, or a run as administrator), or set-ups (.kns) saved there,
  ; stay, and the folder with them.
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  Delete "${HELP_SHORTCUT}"
  Delete "${BENCH_SHORTCUT}"
  ; Last, so that whoever waits for a silent uninstall to end can wait for
  ; the key to go.
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
