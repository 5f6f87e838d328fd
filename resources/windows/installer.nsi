; One installer per edition, for the current user only: no administrator rights, nothing outside
; the user's profile and HKCU. cmake/Windows.cmake passes, with /D:
;   EDITION (Tintelle or Sonaro), PUBLISHER, EXE (its file name: the branded copy's path must
;   contain "Sonaro"), NAME (its name in lower case), OTHER and OTHEREXE (the other edition),
;   VERSION (x.y.z), STAGE (the program, DLLs and plugins), FILES (the list of STAGE made by
;   cmake/InstallerFiles.cmake), ICON, OUTFILE; SIGN (a command signing the file it is given)
;   when a certificate is given.
; The settings (HKCU\Software\<publisher>\<edition>) belong to the user: never touched here.
; Neither is anything in the folder that the installer did not put there.

Unicode true
; 64-bit stubs: Debian's wine64 cannot run the default 32-bit installer, and the program is 64-bit.
Target amd64-unicode
!ifdef NOCOMPRESS
SetCompress off
!else
SetCompressor /SOLID lzma
!endif
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "${FILES}"

!ifdef SIGN
!system '${SIGN} "${STAGE}/${EXE}"' = 0
!finalize '${SIGN} "%1"' = 0
!uninstfinalize '${SIGN} "%1"' = 0
!endif

!define APPKEY "Software\Classes\Applications\${EXE}"
!define PROGID "${EDITION}.PhoneLink"
!define RUNKEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${EDITION}"
!define OTHERKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${OTHER}"
; The single-instance guards' locks, shared by both editions (app/privateplace_win.cpp).
!define RUNDIR "$LOCALAPPDATA\Tintelle\run"

Name "${EDITION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${EDITION}"
; An upgrade goes where the earlier install is.
InstallDirRegKey HKCU "${UNINSTKEY}" "InstallLocation"
BrandingText "${EDITION} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1036 "ProductName" "${EDITION}"
VIAddVersionKey /LANG=1036 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1036 "FileDescription" "Installation de ${EDITION}"
VIAddVersionKey /LANG=1036 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "LegalCopyright" "${PUBLISHER}"

; What the user is told, in French as the program speaks.
!define STILL_RUNNING "${EDITION} est encore lancé : ses fichiers ne peuvent pas être remplacés.$\n$\nQuittez-le depuis son icône dans la zone de notification (« Quitter ${EDITION} »), puis choisissez Réessayer."
!define FOLDER_TAKEN "Le dossier $INSTDIR contient déjà d'autres fichiers : choisissez un dossier vide pour installer ${EDITION}."
!define FILE_LEFT "$R0 n'a pas pu être supprimé. Quittez ${EDITION}, puis relancez la désinstallation."

Var wasRunning
Var otherExe

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; Checked: a new user goes on to the setup dialog.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Lancer ${EDITION}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "French"

; Asks the copy that runs from $INSTDIR to quit, as its "Quitter" entry does once a call on its
; way has ended, and waits until its files can be written. Still running: the user is asked to
; quit it, then to retry or cancel; a silent run fails with status 3 rather than go on with files
; that cannot be replaced or removed. $wasRunning is 1 when a copy quit.
!macro StopRunningCopy un
Function ${un}StopRunningCopy
    StrCpy $wasRunning 0
    ${IfNot} ${FileExists} "$INSTDIR\${EXE}"
        Return
    ${EndIf}
    retry:
    ExecWait '"$INSTDIR\${EXE}" --quit' $0
    ${If} $0 == 0
        StrCpy $wasRunning 1
    ${EndIf}
    ; A copy that does not know --quit (an older one) shows here too: Windows keeps a running
    ; program's files from being written. One that said it still runs (3) is not waited for again.
    StrCpy $1 0
    ${If} $0 == 3
        StrCpy $1 19
    ${EndIf}
    ${Do}
        ClearErrors
        FileOpen $2 "$INSTDIR\${EXE}" a
        ${IfNot} ${Errors}
            FileClose $2
            FileOpen $2 "$INSTDIR\Qt6Core.dll" a
            ${IfNot} ${Errors}
                FileClose $2
                Return
            ${EndIf}
        ${EndIf}
        IntOp $1 $1 + 1
        ${If} $1 >= 20
            ${ExitDo}
        ${EndIf}
        Sleep 250
    ${Loop}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${STILL_RUNNING}" /SD IDCANCEL IDRETRY retry
    SetErrorLevel 3
    Quit
FunctionEnd
!macroend
!insertmacro StopRunningCopy ""
!insertmacro StopRunningCopy "un."

; A chosen folder that holds other files gets a folder of the edition's own inside it, so that
; nothing of the user's mixes with the program; an earlier install is upgraded where it is.
Function ChooseFolder
    ${If} ${FileExists} "$INSTDIR\${EXE}"
    ${AndIf} ${FileExists} "$INSTDIR\uninstall.exe"
        Return
    ${EndIf}
    ${DirState} "$INSTDIR" $0
    ${If} $0 != 1
        Return
    ${EndIf}
    StrCpy $INSTDIR "$INSTDIR\${EDITION}"
    ${DirState} "$INSTDIR" $0
    ${If} $0 == 1
    ${AndIfNot} ${FileExists} "$INSTDIR\uninstall.exe"
        MessageBox MB_OK|MB_ICONSTOP "${FOLDER_TAKEN}" /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
FunctionEnd

Function StartProgram
    ; Started again already, after an upgrade over the running copy.
    ${If} $wasRunning != 1
        Exec '"$INSTDIR\${EXE}"'
    ${EndIf}
FunctionEnd

; Registers $0 (tel or callto) as handled by this program, unless another program already
; handles it: the user's choice, made in Windows' default-apps settings, is not overridden. A link
; is one argument after --single-argument, read by no option parser, whatever quotes it holds;
; the earlier registration, which quoted it, is replaced.
!macro RegisterScheme scheme
    ReadRegStr $0 HKCU "Software\Classes\${scheme}\shell\open\command" ""
    StrCmp $0 "" +3 0
    StrCmp $0 '"$INSTDIR\${EXE}" "%1"' +2 0
    StrCmp $0 '"$INSTDIR\${EXE}" --single-argument %1' 0 +5
    WriteRegStr HKCU "Software\Classes\${scheme}" "" "URL:${scheme}"
    WriteRegStr HKCU "Software\Classes\${scheme}" "URL Protocol" ""
    WriteRegStr HKCU "Software\Classes\${scheme}\DefaultIcon" "" '"$INSTDIR\${EXE}",0'
    WriteRegStr HKCU "Software\Classes\${scheme}\shell\open\command" "" '"$INSTDIR\${EXE}" --single-argument %1'
!macroend

; Removes the scheme's handler only when it is this copy's, and hands it to the other edition
; when that one stays installed ($otherExe).
!macro UnregisterScheme scheme
    ReadRegStr $0 HKCU "Software\Classes\${scheme}\shell\open\command" ""
    ${If} $0 == '"$INSTDIR\${EXE}" --single-argument %1'
    ${OrIf} $0 == '"$INSTDIR\${EXE}" "%1"'
        DeleteRegKey HKCU "Software\Classes\${scheme}"
        ${If} $otherExe != ""
            WriteRegStr HKCU "Software\Classes\${scheme}" "" "URL:${scheme}"
            WriteRegStr HKCU "Software\Classes\${scheme}" "URL Protocol" ""
            WriteRegStr HKCU "Software\Classes\${scheme}\DefaultIcon" "" '"$otherExe",0'
            WriteRegStr HKCU "Software\Classes\${scheme}\shell\open\command" "" \
                '"$otherExe" --single-argument %1'
        ${EndIf}
    ${EndIf}
!macroend

Section
    SetShellVarContext current
    Call ChooseFolder
    Call StopRunningCopy
    !insertmacro InstallFiles
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${EDITION}.lnk" "$INSTDIR\${EXE}"

    WriteRegStr HKCU "${RUNKEY}" "${EDITION}" '"$INSTDIR\${EXE}" --autostart'

    ; The links: a class of its own, offered for tel: and callto: in the default-apps settings.
    WriteRegStr HKCU "Software\Classes\${PROGID}" "" "Lien téléphonique"
    WriteRegStr HKCU "Software\Classes\${PROGID}" "URL Protocol" ""
    WriteRegStr HKCU "Software\Classes\${PROGID}\DefaultIcon" "" '"$INSTDIR\${EXE}",0'
    WriteRegStr HKCU "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\${EXE}" --single-argument %1'
    WriteRegStr HKCU "${APPKEY}" "FriendlyAppName" "${EDITION}"
    WriteRegStr HKCU "${APPKEY}\shell\open\command" "" '"$INSTDIR\${EXE}" --single-argument %1'
    WriteRegStr HKCU "${APPKEY}\Capabilities" "ApplicationName" "${EDITION}"
    WriteRegStr HKCU "${APPKEY}\Capabilities" "ApplicationDescription" \
        "Appelle le numéro copié ou le lien téléphonique choisi."
    !insertmacro RegisterScheme tel
    !insertmacro RegisterScheme callto
    WriteRegStr HKCU "${APPKEY}\Capabilities\URLAssociations" "tel" "${PROGID}"
    WriteRegStr HKCU "${APPKEY}\Capabilities\URLAssociations" "callto" "${PROGID}"
    WriteRegStr HKCU "Software\RegisteredApplications" "${EDITION}" "${APPKEY}\Capabilities"

    WriteRegStr HKCU "${UNINSTKEY}" "DisplayName" "${EDITION}"
    WriteRegStr HKCU "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTKEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTKEY}" "DisplayIcon" '"$INSTDIR\${EXE}",0'
    WriteRegStr HKCU "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTKEY}" "EstimatedSize" ${ESTIMATED_SIZE}
    WriteRegDWORD HKCU "${UNINSTKEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTKEY}" "NoRepair" 1

    ${If} $wasRunning == 1
        Exec '"$INSTDIR\${EXE}" --autostart'
    ${EndIf}
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Call un.StopRunningCopy
    ; The files it installed, and each folder only once it is empty: never what else is there.
    !insertmacro UninstallFiles
    StrCpy $R0 ""
    !insertmacro ProgramFileLeft $R0
    ${If} $R0 != ""
        ; Kept, with its entry in the installed programs, so that the user can retry.
        MessageBox MB_OK|MB_ICONSTOP "${FILE_LEFT}" /SD IDOK
        SetErrorLevel 3
        Abort
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    StrCpy $otherExe ""
    ReadRegStr $0 HKCU "${OTHERKEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\${OTHEREXE}"
        StrCpy $otherExe "$0\${OTHEREXE}"
    ${EndIf}
    DeleteRegValue HKCU "${RUNKEY}" "${EDITION}"
    !insertmacro UnregisterScheme tel
    !insertmacro UnregisterScheme callto
    DeleteRegKey HKCU "Software\Classes\${PROGID}"
    DeleteRegKey HKCU "${APPKEY}"
    DeleteRegValue HKCU "Software\RegisteredApplications" "${EDITION}"
    DeleteRegKey HKCU "${UNINSTKEY}"
    Delete "$SMPROGRAMS\${EDITION}.lnk"

    ; The guard's lock; the shared ones too when no edition is left.
    Delete "${RUNDIR}\${NAME}.lock"
    ${If} $otherExe == ""
        Delete "${RUNDIR}\dialog.lock"
        Delete "${RUNDIR}\copies.lock"
        RMDir "${RUNDIR}"
        RMDir "$LOCALAPPDATA\Tintelle"
    ${EndIf}
SectionEnd
