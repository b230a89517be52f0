; The scope: for the current user only (no administrator rights: the folder
; %LOCALAPPDATA%\Programs\KNSimTool, the user's own Start menu, the entry
; under HKCU) or for every user (Program Files, the Start menu of all users,
; the entry under HKLM, administrator rights). The setup program starts
; with the user's own rights (RequestExecutionLevel user): only "For
; everyone" starts it again with administrator rights, and Windows asks for
; them then and only then.
;
; An installation found keeps its scope, except where these rights cannot
; change it (an installation for everyone, found without administrator
; rights): the user is told so and offered a copy just for himself.

; "all" or "user": the scope of this installation.
Var Scope
; "all", "user" or "": the scope of the installation found, which an
; upgrade keeps.
Var FoundScope
; 1 when this process has administrator rights.
Var IsAdmin
; 1 when /D= named the folder: the scope then does not move it.
Var FolderGiven
; 1 when the scope is decided before the wizard (the scope page is skipped).
Var ScopeDecided
; 1 when nobody can be asked (a silent run).
Var Quiet
Var ScopeMe
Var ScopeAll

; The shell context (Start menu, $SMPROGRAMS) and the registry root SHCTX
; follow the scope.
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

; Administrator rights now: a member of the Administrators group whose
; rights Windows has not raised (UAC) has none yet.
!macro FindAdminFunction PREFIX
Function ${PREFIX}FindAdmin
  StrCpy $IsAdmin 0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $IsAdmin 1
  ${EndIf}
  !insertmacro TestRights
FunctionEnd
!macroend
!insertmacro FindAdminFunction ""
!insertmacro FindAdminFunction "un."

; Starts PROGRAM again with administrator rights and ARGUMENTS (Windows asks
; for them); the error flag is set when they were refused.
!macro Elevate PROGRAM ARGUMENTS
  ClearErrors
  !ifdef KNS_TEST_RIGHTS
    !insertmacro TestElevate "${PROGRAM}" "${ARGUMENTS}"
  !else
    ExecShell "runas" "${PROGRAM}" "${ARGUMENTS}"
  !endif
!macroend

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

; A copy just for this user beside an installation for everyone: its own
; folder, Start-menu entries and entry, which the other one does not touch.
Function TakeOwnCopy
  StrCpy $FoundScope ""
  StrCpy $Scope "user"
  StrCpy $ScopeDecided 1
  Call ApplyScope
  Call DefaultFolder
FunctionEnd

; An installation for everyone ($R5 its version) that these rights cannot
; change, and nothing said on the command line: ask whether to update it
; with administrator rights, to install a copy just for this user, or to
; cancel. Silent, there is nobody to ask: refused, nothing changed.
Function OfferOwnCopy
  ${If} $Quiet == 1
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}
  StrCpy $0 ""
  !insertmacro TestAnswer
  ${If} $0 == ""
    StrCpy $0 "cancel"
    MessageBox MB_YESNOCANCEL|MB_ICONQUESTION \
      "KNSimTool $R5 is installed for every user of this computer, and only an administrator may change that installation.$\r$\n$\r$\nYes: update it for everyone (Windows asks for administrator rights).$\r$\nNo: install KNSimTool ${VERSION} just for you, in your own folder, with your own Start-menu entries.$\r$\nCancel: change nothing." \
      IDYES offer_everyone IDNO offer_own
    Goto offer_answered
  offer_everyone:
    StrCpy $0 "yes"
    Goto offer_answered
  offer_own:
    StrCpy $0 "no"
  offer_answered:
  ${EndIf}
  ${If} $0 == "no"
    Call TakeOwnCopy
    Return
  ${ElseIf} $0 == "yes"
    Call RunAsAdministrator
    ; Refused: the installation for everyone stays as it is.
    StrCpy $0 ""
    !insertmacro TestAnswer
    ${If} $0 == ""
      StrCpy $0 "cancel"
      MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION \
        "Without administrator rights the installation for everyone stays as it is.$\r$\n$\r$\nOK: install KNSimTool ${VERSION} just for you instead.$\r$\nCancel: change nothing." \
        IDOK declined_own
      Goto declined_answered
    declined_own:
      StrCpy $0 "ok"
    declined_answered:
    ${EndIf}
    ${If} $0 == "ok"
      Call TakeOwnCopy
      Return
    ${EndIf}
  ${EndIf}
  SetErrorLevel ${EXIT_CANCELLED}
  Quit
FunctionEnd

; Starts this setup program again with administrator rights for every user
; and ends this one; when they are refused it returns.
Function RunAsAdministrator
  !insertmacro Elevate "$EXEPATH" "/AllUsers"
  ${IfNot} ${Errors}
    SetErrorLevel ${EXIT_INSTALLED}
    Quit
  ${EndIf}
FunctionEnd

; .onInit's part: $R2 is the scope the command line asks for ("all",
; "user" or "").
Function ChooseScope
  ReadRegStr $R3 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $R4 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $R5 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
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
  ${AndIf} $IsAdmin != 1
  ${AndIf} $R2 != "all"
    ${If} $R2 == "user"
      ; The scope asked for wins, unless this version or a newer one is
      ; there for everyone already: nothing to install then.
      ${VersionCompare} "${VERSION}" "$R5" $0
      ${If} $0 != 1
        MessageBox MB_OK|MB_ICONINFORMATION \
          "KNSimTool $R5 is installed for every user of this computer already: nothing was changed." /SD IDOK
        SetErrorLevel ${EXIT_REFUSED}
        Quit
      ${EndIf}
      Call TakeOwnCopy
    ${Else}
      Call OfferOwnCopy
    ${EndIf}
    Return
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
  ${If} $FoundScope != ""
    StrCpy $ScopeDecided 1
  ${EndIf}
  Call ApplyScope
  Call DefaultFolder

  ; Every user's installation needs administrator rights. Silent, there is
  ; nobody to give them; interactive, the scope page asks for them, or, with
  ; the scope fixed by the installation found, this asks now.
  ${If} $Scope == "all"
  ${AndIf} $IsAdmin != 1
    ${If} $Quiet == 1
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${ElseIf} $FoundScope == "all"
      Call OfferOwnCopy
    ${EndIf}
  ${EndIf}
FunctionEnd

Function ScopePageCreate
  ${If} $ScopeDecided == 1
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
  ${NSD_CreateLabel} 12u 55u -12u 20u "Needs administrator rights: Windows asks for them. Into Program Files, with an entry in every user's Start menu."
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
    MessageBox MB_OK|MB_ICONEXCLAMATION \
      "Windows did not give administrator rights, which an installation for everyone needs.$\r$\nChoose $\"Only for me$\" to install KNSimTool just for you."
    Abort  ; the choice again
  ${EndIf}
  Call ApplyScope
  Call DefaultFolder
FunctionEnd

; The uninstaller's scope is that of the entry that names its folder
; (compared by short names: the folder may be given either way).
Function un.ChooseScope
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
    !insertmacro Elevate "$INSTDIR\uninstall.exe" ""
    ${If} ${Errors}
      MessageBox MB_OK|MB_ICONEXCLAMATION \
        "KNSimTool is installed for every user: removing it needs administrator rights. Nothing was removed."
      SetErrorLevel ${EXIT_REFUSED}
    ${EndIf}
    Quit
  ${EndIf}
FunctionEnd
