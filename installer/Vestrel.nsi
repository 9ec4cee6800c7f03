; VestrelSetup.exe: installs Vestrel for every user of the machine, with its uninstaller.
; Built by the Windows build: makensis -DBIN_DIR=<folder of the programs> -DOUT_FILE=<setup> -DICON=<icon>.
; The setup and the programs are 64-bit, so the registry and Program Files are the ones the programs see.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define PRODUCT "Vestrel"
!define VERSION "3.3.37"
!define PUBLISHER "The Vestrel developers"
!define SETTINGS_KEY "Software\Vestrel"
!define CLEANER_KEY "Software\Vestrel\Setari"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vestrel"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define POLL_TITLE "Vestrel Online Poll"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; Installing again goes to the folder of the installed Vestrel.
InstallDirRegKey HKLM "${SETTINGS_KEY}" "AppPath"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails hide
ShowUninstDetails hide

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Vestrel Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Vestrel.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Vestrel"

; Shorter than the standard text, which the dialog font of some systems cuts at the right edge.
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install Vestrel in the folder below. To choose another folder, click Browse. Click Install to start the installation."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

; Runs the stop utility at $0: Vestrel leaves through its "Exit" (browsers set back) or is ended.
; With $1 = 1 a person answers the poll that follows; otherwise the poll is closed unanswered, so
; that nothing waits for a person.
!macro DEFINE_STOP_VESTREL PREFIX
Function ${PREFIX}StopVestrel
    ${If} $1 == 1
        ExecWait '"$0"'
        Return
    ${EndIf}
    Exec '"$0"'
    ; The poll appears once Vestrel has gone: within the utility's grace period and a termination.
    StrCpy $2 0
    ${Do}
        FindWindow $3 "#32770" "${POLL_TITLE}"
        ${If} $3 <> 0
            SendMessage $3 ${WM_COMMAND} 2 0 /TIMEOUT=30000
            ${Break}
        ${EndIf}
        IntOp $2 $2 + 1
        ${IfThen} $2 > 300 ${|} ${Break} ${|}
        Sleep 100
    ${Loop}
    ; Until the utility's window has gone, so that its file can be removed.
    StrCpy $2 0
    ${Do}
        FindWindow $3 "#32770" "${POLL_TITLE}"
        ${IfThen} $3 = 0 ${|} ${Break} ${|}
        IntOp $2 $2 + 1
        ${IfThen} $2 > 100 ${|} ${Break} ${|}
        Sleep 100
    ${Loop}
    Sleep 200
FunctionEnd
!macroend
!insertmacro DEFINE_STOP_VESTREL ""
!insertmacro DEFINE_STOP_VESTREL "un."

; Gives the Users group read and write access to the key $0 below HKEY_LOCAL_MACHINE and to the keys
; created below it, so that a person who is not an administrator can save settings.
Function GrantUsersAccess
    System::Call 'advapi32::GetNamedSecurityInfoW(w "MACHINE\$0", i 4, i 4, p 0, p 0, *p .r1, p 0, *p .r2) i .r9'
    ${If} $9 <> 0
        Return
    ${EndIf}
    System::Call 'advapi32::ConvertStringSidToSidW(w "S-1-5-32-545", *p .r3) i .r9'
    ${If} $9 <> 0
        ; EXPLICIT_ACCESS_W: KEY_READ | KEY_WRITE, GRANT_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT,
        ; then its TRUSTEE_W: TRUSTEE_IS_SID, TRUSTEE_IS_WELL_KNOWN_GROUP; padding spelt out.
        System::Call '*(i 0x2001F, i 1, i 3, i 0, p 0, i 0, i 0, i 5, i 0, p r3) p .r4'
        System::Call 'advapi32::SetEntriesInAclW(i 1, p r4, p r1, *p .r5) i .r9'
        ${If} $9 = 0
            System::Call 'advapi32::SetNamedSecurityInfoW(w "MACHINE\$0", i 4, i 4, p 0, p 0, p r5, p 0) i .r9'
            System::Call 'kernel32::LocalFree(p r5)'
        ${EndIf}
        System::Free $4
        System::Call 'kernel32::LocalFree(p r3)'
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r2)'
FunctionEnd

Section "Vestrel" SecMain
    SectionIn RO
    SetShellVarContext all
    InitPluginsDir
    ; A running Vestrel, installed here or elsewhere, is stopped before its files are replaced; this
    ; setup's own stop utility does it, so no earlier installation is needed.
    SetOutPath "$PLUGINSDIR"
    File "/oname=$PLUGINSDIR\VestrelStop.exe" "${BIN_DIR}/VestrelStop.exe"
    StrCpy $0 "$PLUGINSDIR\VestrelStop.exe"
    StrCpy $1 0
    Call StopVestrel

    SetOutPath "$INSTDIR"
    SetOverwrite on
    File "${BIN_DIR}/Vestrel.exe"
    File "${BIN_DIR}/VestrelStop.exe"
    File "${BIN_DIR}/Vestrel.chm"
    ; MyProxies.txt and the settings are the user's: never written here.
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    WriteRegStr HKLM "${SETTINGS_KEY}" "AppPath" "$INSTDIR"
    WriteRegStr HKLM "${SETTINGS_KEY}" "AppFullPath" "$INSTDIR\Vestrel.exe"
    ; The cleaner's key exists from the start, so that the grant below reaches it explicitly.
    System::Call 'advapi32::RegCreateKeyExW(p 0xFFFFFFFF80000002, w "${CLEANER_KEY}", i 0, p 0, i 0, i 0x2001F, p 0, *p .r6, p 0) i .r9'
    ${If} $9 = 0
        System::Call 'advapi32::RegCloseKey(p r6)'
    ${EndIf}
    StrCpy $0 "${SETTINGS_KEY}"
    Call GrantUsersAccess
    StrCpy $0 "${CLEANER_KEY}"
    Call GrantUsersAccess

    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Vestrel.lnk" "$INSTDIR\Vestrel.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Vestrel Help.lnk" "$INSTDIR\Vestrel.chm"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall Vestrel.lnk" "$INSTDIR\Uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vestrel.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $7 $8 $9
    IntFmt $7 "0x%08X" $7
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$7"
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    InitPluginsDir
    ; Vestrel ends through its own "Exit" first, so that no browser is left pointing at it.
    ${If} ${FileExists} "$INSTDIR\VestrelStop.exe"
        CopyFiles /SILENT "$INSTDIR\VestrelStop.exe" "$PLUGINSDIR"
        StrCpy $0 "$PLUGINSDIR\VestrelStop.exe"
        StrCpy $1 1
        ${If} ${Silent}
            StrCpy $1 0
        ${EndIf}
        Call un.StopVestrel
    ${EndIf}

    Delete "$INSTDIR\Vestrel.exe"
    Delete "$INSTDIR\VestrelStop.exe"
    Delete "$INSTDIR\Vestrel.chm"
    Delete "$INSTDIR\Uninstall.exe"
    Delete "$SMPROGRAMS\${PRODUCT}\Vestrel.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\Vestrel Help.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\Uninstall Vestrel.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"

    DeleteRegValue HKLM "${RUN_KEY}" "Vestrel"
    DeleteRegValue HKCU "${RUN_KEY}" "Vestrel"
    DeleteRegValue HKLM "${SETTINGS_KEY}" "AppPath"
    DeleteRegValue HKLM "${SETTINGS_KEY}" "AppFullPath"

    MessageBox MB_YESNO|MB_ICONQUESTION "Keep your tested proxies and your Vestrel settings for a later installation?" /SD IDYES IDYES keep
    Delete "$INSTDIR\MyProxies.txt"
    DeleteRegKey HKLM "${SETTINGS_KEY}"
keep:
    ; Only empty: the kept MyProxies.txt stays in its folder.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
