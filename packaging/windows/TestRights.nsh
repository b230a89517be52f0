; The test build's stand-ins (makensis -DKNS_TEST_RIGHTS, never in the
; shipped setup program): wine runs every program with administrator
; rights and asks nobody for them, so that the branches for a user without
; rights, for an elevation granted or declined, and for the answers to the
; setup program's questions could not run otherwise. Each stand-in is an
; option on the command line:
;   /TestRights=user|admin          the rights this process has
;   /TestElevation=granted|declined what Windows' elevation prompt answers;
;                                   granted starts the setup program again
;                                   with /TestRights=admin (and /S when silent)
;   /TestAnswer1=, /TestAnswer2=    the buttons (yes, no, ok, cancel) clicked
;                                   at the first and second question; a run
;                                   with /S and answers takes the branches of
;                                   an interactive one
; The version resource names the build, so that the shipped setup program
; can be checked for it (WindowsPackaging.cmake does).

VIAddVersionKey /LANG=1033 "Comments" "${KNS_TEST_MARKER}"

Var TestAsked

!macro TestRights
  ${GetOptions} $CMDLINE "/TestRights=" $0
  ${If} $0 == "user"
    StrCpy $IsAdmin 0
  ${ElseIf} $0 == "admin"
    StrCpy $IsAdmin 1
  ${EndIf}
  ClearErrors
!macroend

!macro TestQuiet
  ${GetOptions} $CMDLINE "/TestAnswer1=" $0
  ${If} $0 != ""
    StrCpy $Quiet 0
  ${EndIf}
  ClearErrors
!macroend

; $0: the next answer given, or "" (then the question is asked).
!macro TestAnswer
  ${If} $TestAsked == ""
    ${GetOptions} $CMDLINE "/TestAnswer1=" $0
    StrCpy $TestAsked 1
  ${Else}
    ${GetOptions} $CMDLINE "/TestAnswer2=" $0
  ${EndIf}
  ClearErrors
!macroend

!macro TestElevate PROGRAM ARGUMENTS
  ${GetOptions} $CMDLINE "/TestElevation=" $0
  ClearErrors
  ${If} $0 == "granted"
    ${If} ${Silent}
      Exec '"${PROGRAM}" ${ARGUMENTS} /S /TestRights=admin'
    ${Else}
      Exec '"${PROGRAM}" ${ARGUMENTS} /TestRights=admin'
    ${EndIf}
  ${ElseIf} $0 == "declined"
    SetErrors
  ${Else}
    ExecShell "runas" "${PROGRAM}" "${ARGUMENTS}"
  ${EndIf}
!macroend
