; What the setup program puts where, and what the uninstaller takes away
; again: the program's files, its Start-menu entries and its entry in
; "Apps and Features", each in the scope's place (SHCTX and $SMPROGRAMS
; follow the shell context that the scope has set).

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

Section "KNSimTool" SecProgram
  SectionIn RO
  ; Again, before the first file: another folder may have been chosen, or
  ; the program started meanwhile.
  Call AskToCloseRunningPrograms
  ${If} $R0 != ""
    SetErrorLevel ${EXIT_REFUSED}
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
  SetErrorLevel ${EXIT_INSTALLED}
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
