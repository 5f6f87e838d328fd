; One installer per edition, for the current user only: no administrator rights, nothing outside
; the user's profile and HKCU. cmake/Windows.cmake passes, with /D:
;   EDITION (Tintelle or Sonaro), PUBLISHER, EXE (its file name: the branded copy's path must
;   contain "Sonaro"), VERSION (x.y.z), STAGE (the program, DLLs and plugins), ICON, OUTFILE.
; The settings (HKCU\Software\<publisher>\<edition>) belong to the user: never touched here.

Unicode true
; 64-bit stubs: Debian's wine64 cannot run the default 32-bit installer, and the program is 64-bit.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"

!define APPKEY "Software\Classes\Applications\${EXE}"
!define PROGID "${EDITION}.PhoneLink"
!define RUNKEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${EDITION}"

Name "${EDITION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${EDITION}"
BrandingText "${EDITION} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1036 "ProductName" "${EDITION}"
VIAddVersionKey /LANG=1036 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1036 "FileDescription" "Installation de ${EDITION}"
VIAddVersionKey /LANG=1036 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1036 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "French"

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

; Removes the scheme's handler only when it is this copy's, so the other edition keeps its own.
!macro UnregisterScheme scheme
    ReadRegStr $0 HKCU "Software\Classes\${scheme}\shell\open\command" ""
    StrCmp $0 '"$INSTDIR\${EXE}" --single-argument %1' 0 +2
    DeleteRegKey HKCU "Software\Classes\${scheme}"
!macroend

Section
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
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
    WriteRegDWORD HKCU "${UNINSTKEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTKEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    DeleteRegValue HKCU "${RUNKEY}" "${EDITION}"
    !insertmacro UnregisterScheme tel
    !insertmacro UnregisterScheme callto
    DeleteRegKey HKCU "Software\Classes\${PROGID}"
    DeleteRegKey HKCU "${APPKEY}"
    DeleteRegValue HKCU "Software\RegisteredApplications" "${EDITION}"
    DeleteRegKey HKCU "${UNINSTKEY}"
    Delete "$SMPROGRAMS\${EDITION}.lnk"
    ; The folder holds only what the installer put there.
    RMDir /r "$INSTDIR"
SectionEnd
