; orvex's Windows installer: everything scripts/package-windows.sh staged, into Program Files.
; scripts/windows-setup.sh runs makensis on it with
;   VERSION  the project's version ("1.09")     NUMBERS  the same as four numbers ("1.9.0.0")
;   OUTFILE  the setup.exe to make              ICON     orvex.ico
;   LISTS    a folder with install.nsh and uninstall.nsh, the staged files' File and Delete lines
;   WINDOW   defined when orvex.exe is staged
; Switches: /S silent, /SERVICE=1 (or 0) installs the recorder as a service (or not), /D=folder.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true
ManifestSupportedOS {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\orvex"
!define SERVICES_KEY "SYSTEM\CurrentControlSet\Services"
!define SERVICE "orvex-recorder"
!define PUBLISHER "the orvex authors"
!ifdef WINDOW
    !define MAIN_EXE "orvex.exe"
!else
    !define MAIN_EXE "orvex-recorder.exe"
!endif

Name "orvex ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\orvex"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "orvex ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include StrFunc.nsh

VIProductVersion "${NUMBERS}"
VIAddVersionKey /LANG=1045 "ProductName" "orvex"
VIAddVersionKey /LANG=1045 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1045 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1045 "FileDescription" "Instalator orvex"
VIAddVersionKey /LANG=1045 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1045 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

Var FinishText

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README-windows.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Pokaż krótki opis programów"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"

${StrLoc}
${UnStrLoc}

; Calls FUNCTION for every service that runs this folder's orvex-recorder.exe (the default one
; and those named with --name), with $R8 the service's name and $R9 its --name or "".
; FUNCTION sets $R7 to 1 when it removed the service, so that the enumeration does not skip the
; key that moved into its place.
!macro ForEachRecorderService PREFIX FUNCTION
    Push $R5
    Push $R6
    StrCpy $R5 0
    ${Do}
        EnumRegKey $R8 HKLM "${SERVICES_KEY}" $R5
        ${If} $R8 == ""
            ${Break}
        ${EndIf}
        StrCpy $R7 0
        StrCpy $R6 $R8 15
        ${If} $R8 == "${SERVICE}"
        ${OrIf} $R6 == "${SERVICE}@"
            ReadRegStr $R6 HKLM "${SERVICES_KEY}\$R8" "ImagePath"
            ; The command begins with the quoted program; compared without regard to case.
            ${${PREFIX}StrLoc} $R9 $R6 '"$INSTDIR\orvex-recorder.exe"' ">"
            ${If} $R9 == "0"
                StrCpy $R9 ""
                ${If} $R8 != "${SERVICE}"
                    StrCpy $R9 $R8 "" 15
                ${EndIf}
                Call ${FUNCTION}
            ${EndIf}
        ${EndIf}
        ${If} $R7 != 1
            IntOp $R5 $R5 + 1
        ${EndIf}
    ${Loop}
    Pop $R6
    Pop $R5
!macroend

; Stops a running recorder service so that its program can be replaced; it is started again
; after the files (the list in $R4).
Function StopForUpdate
    nsExec::ExecToLog '"$SYSDIR\net.exe" stop "$R8"'
    Pop $0
    ${If} $0 == 0
        StrCpy $R4 "$R4$R8|"
    ${EndIf}
FunctionEnd

Function un.RemoveService
    ${If} $R9 == ""
        nsExec::ExecToLog '"$INSTDIR\orvex-recorder.exe" --uninstall'
    ${Else}
        nsExec::ExecToLog '"$INSTDIR\orvex-recorder.exe" --uninstall --name "$R9"'
    ${EndIf}
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONSTOP "Nie udało się usunąć usługi $R8 (kod wyjścia $0). \
            Pliki programu zostają. Zatrzymaj usługę i spróbuj ponownie." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
    StrCpy $R7 1
FunctionEnd

Section "Programy orvex" SecProgram
    SectionIn RO
    StrCpy $R4 ""
    !insertmacro ForEachRecorderService "" StopForUpdate

    SetShellVarContext all
    !include "${LISTS}/install.nsh"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The Start Menu: the window, a console in the program folder for the console programs,
    ; and the short description.
    CreateDirectory "$SMPROGRAMS\orvex"
!ifdef WINDOW
    CreateShortcut "$SMPROGRAMS\orvex\orvex.lnk" "$INSTDIR\orvex.exe" "" "$INSTDIR\orvex.exe" 0
!endif
    CreateShortcut "$SMPROGRAMS\orvex\Wiersz poleceń orvex.lnk" "$SYSDIR\cmd.exe" \
        '/k orvex-recorder.exe --help' "$INSTDIR\orvex-recorder.exe" 0
    CreateShortcut "$SMPROGRAMS\orvex\Czytaj mnie.lnk" "$INSTDIR\README-windows.txt"

!ifdef WINDOW
    ; .qdx files open in the viewer. Another program's claim on .qdx (the graphing program's)
    ; stays the default: orvex is then one of the "Open with" choices.
    WriteRegStr HKLM "Software\Classes\orvex.qdx" "" "Plik pomiarów orvex"
    WriteRegStr HKLM "Software\Classes\orvex.qdx\DefaultIcon" "" "$INSTDIR\orvex.exe,0"
    WriteRegStr HKLM "Software\Classes\orvex.qdx\shell\open\command" "" \
        '"$INSTDIR\orvex.exe" --view "%1"'
    WriteRegStr HKLM "Software\Classes\.qdx\OpenWithProgids" "orvex.qdx" ""
    ReadRegStr $0 HKLM "Software\Classes\.qdx" ""
    ${If} $0 == ""
        WriteRegStr HKLM "Software\Classes\.qdx" "" "orvex.qdx"
    ${EndIf}
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'  ; SHCNE_ASSOCCHANGED
!endif

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "orvex"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${MAIN_EXE},0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

    StrCpy $FinishText "orvex ${VERSION} jest zainstalowany w folderze $INSTDIR.$\r$\n$\r$\n\
        Kliknij Zakończ, aby zamknąć instalator."

    ; The services stopped for the update run again.
    ${Do}
        ${If} $R4 == ""
            ${Break}
        ${EndIf}
        ${StrLoc} $1 $R4 "|" ">"
        StrCpy $2 $R4 $1
        IntOp $1 $1 + 1
        StrCpy $R4 $R4 "" $1
        nsExec::ExecToLog '"$SYSDIR\net.exe" start "$2"'
        Pop $0
    ${Loop}
SectionEnd

Section /o "Rejestrator jako usługa Windows" SecService
    SetShellVarContext all
    ReadRegStr $0 HKLM "${SERVICES_KEY}\${SERVICE}" "ImagePath"
    ${StrLoc} $1 $0 '"$INSTDIR\orvex-recorder.exe"' ">"
    ${If} $1 == "0"
        DetailPrint "Usługa ${SERVICE} jest już zainstalowana."
    ${ElseIf} $0 != ""
        ; Another copy's service has the name: it stays that copy's.
        MessageBox MB_OK|MB_ICONEXCLAMATION "Usługa ${SERVICE} jest już zainstalowana z innej \
            kopii programu ($0). Usuń ją tamtym programem (orvex-recorder.exe --uninstall) \
            i zainstaluj usługę ponownie." /SD IDOK
        SetErrorLevel 3
        Return
    ${Else}
        nsExec::ExecToLog '"$INSTDIR\orvex-recorder.exe" --install'
        Pop $0
        ${If} $0 != 0
            MessageBox MB_OK|MB_ICONEXCLAMATION "Nie udało się zainstalować usługi ${SERVICE} \
                (kod wyjścia $0). Szczegóły są w oknie instalacji." /SD IDOK
            SetErrorLevel 3
            Return
        ${EndIf}
    ${EndIf}
    ; The settings' pattern beside the service's settings, which it never overwrites.
    ${IfNot} ${FileExists} "$APPDATA\orvex\orvex.ini.example"
        CopyFiles /SILENT "$INSTDIR\orvex.ini.example" "$APPDATA\orvex"
    ${EndIf}
    StrCpy $FinishText "$FinishText$\r$\n$\r$\nUsługa ${SERVICE} uruchamia się razem z \
        Windows. Jej ustawienia to plik $APPDATA\orvex\orvex.ini (wzór: orvex.ini.example \
        w tym samym folderze); po jego zapisaniu uruchom ją poleceniem sc start ${SERVICE}."
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "Programy orvex, ich opis i licencje."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecService} "orvex-recorder jako usługa Windows: \
        rejestruje od startu systemu, także gdy nikt nie jest zalogowany. Ustawienia i pomiary \
        w folderze %ProgramData%\orvex."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    SetShellVarContext all
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/SERVICE=" $1
    ${IfNot} ${Errors}
        ${If} $1 == "1"
            !insertmacro SelectSection ${SecService}
        ${Else}
            !insertmacro UnselectSection ${SecService}
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    !insertmacro ForEachRecorderService "Un" un.RemoveService

    !include "${LISTS}/uninstall.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    Delete "$SMPROGRAMS\orvex\orvex.lnk"
    Delete "$SMPROGRAMS\orvex\Wiersz poleceń orvex.lnk"
    Delete "$SMPROGRAMS\orvex\Czytaj mnie.lnk"
    RMDir "$SMPROGRAMS\orvex"

    ; The association, where it is still orvex's.
    ReadRegStr $0 HKLM "Software\Classes\.qdx" ""
    ${If} $0 == "orvex.qdx"
        DeleteRegValue HKLM "Software\Classes\.qdx" ""
    ${EndIf}
    DeleteRegValue HKLM "Software\Classes\.qdx\OpenWithProgids" "orvex.qdx"
    DeleteRegKey /ifempty HKLM "Software\Classes\.qdx\OpenWithProgids"
    DeleteRegKey /ifempty HKLM "Software\Classes\.qdx"
    DeleteRegKey HKLM "Software\Classes\orvex.qdx"

    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
