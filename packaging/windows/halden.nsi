; The Windows installer: both programs, the samples and the readme, a Start-menu entry,
; and an entry in Windows' list of installed programs that uninstalls all of it.
; makensis -DVERSION=1.0.0 -DSTAGE=<folder with the files> -DOUTFILE=<installer> halden.nsi
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma

!define NAME "Halden Firmware Update Utility"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Halden"

Name "${NAME}"
OutFile "${OUTFILE}"
; An administrator installs for everyone into Program Files; anyone else, or whoever
; gives /CURRENTUSER, into their own folder, without being asked for an administrator's
; password.
RequestExecutionLevel highest
InstallDir "$PROGRAMFILES64\Halden"
ShowInstDetails show
ShowUninstDetails show

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\halden-gui.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${NAME}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} installer"
VIAddVersionKey "LegalCopyright" ""

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "${NAME} needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    UserInfo::GetAccountType
    Pop $0
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/CURRENTUSER" $2
    ; The context chooses the Start menu and, through SHCTX, the list of installed
    ; programs: the machine's (HKLM) or the user's own (HKCU).
    ${If} $0 == "Admin"
    ${AndIf} ${Errors}
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
        ; Unless /D chose a folder.
        ${If} $INSTDIR == "$PROGRAMFILES64\Halden"
            StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Halden"
        ${EndIf}
    ${EndIf}
FunctionEnd

; Whoever runs it: the installation it belongs to is the user's own when the user's
; list of installed programs has it here.
Function un.onInit
    SetRegView 64
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        SetShellVarContext current
    ${Else}
        SetShellVarContext all
    ${EndIf}
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File "${STAGE}\halden.exe"
    File "${STAGE}\halden-gui.exe"
    File "${STAGE}\README.txt"
    SetOutPath "$INSTDIR\examples"
    File "${STAGE}\examples\halden-1.4.hfi"
    File "${STAGE}\examples\halden-1.5.hfi"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\halden-gui.exe" "" \
        "$INSTDIR\halden-gui.exe" 0 SW_SHOWNORMAL "" "${NAME}"

    ; The list of installed programs: the machine's, or the user's own (SHCTX).
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Halden"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\halden-gui.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Only what the installer put there: the history and the chosen ports are the user's.
Section "Uninstall"
    Delete "$SMPROGRAMS\${NAME}.lnk"
    Delete "$INSTDIR\examples\halden-1.4.hfi"
    Delete "$INSTDIR\examples\halden-1.5.hfi"
    RMDir "$INSTDIR\examples"
    Delete "$INSTDIR\halden.exe"
    Delete "$INSTDIR\halden-gui.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
