; The running-program check: an installed program that runs keeps its file
; open, so that neither an upgrade nor the uninstaller could replace or
; remove it; both ask to close it first and change nothing when that is
; cancelled (a silent run cancels at once).

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
