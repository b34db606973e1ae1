; The installer of the assistant. make-packages.sh calls makensis with:
;   STAGE_DIR  folder holding "TarnVel Download Assistant.exe", "TarnVel Engine Host.exe" and the
;              vendor's dVarnok.dll
;   OUT_FILE   the installer to write
;   ARCH       x86 (the release: the vendor's engine is 32-bit) or amd64 (for 64-bit test machines)
;   ICON_FILE  the program's icon
;   SIGN_SCRIPT  (optional) signs the file it is given in place: the uninstaller is signed with it
;              before it is embedded, the installer afterwards by make-packages.sh
Unicode true
ManifestDPIAware true
!if "${ARCH}" == "amd64"
    Target amd64-unicode
!else
    Target x86-unicode
!endif
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT_NAME "Zemo手机升级助手" ; the Start menu entry's and the uninstall entry's name
!define PRODUCT_NAME_EN "Zemo Phone Upgrade Assistant"
!define PRODUCT_FOLDER "TarnVel Download Assistant"
!define EXE_NAME "TarnVel Download Assistant.exe"
!define HOST_NAME "TarnVel Engine Host.exe" ; the program runs the engine in it
!define PUBLISHER "TarnVel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TarnVel Download Assistant"
; Windows Error Reporting's own dumps, for crashes that pass the program's handler by (fail-fast,
; a corrupt heap): kept per program name.
!define LOCAL_DUMPS_KEY "SOFTWARE\Microsoft\Windows\Windows Error Reporting\LocalDumps"
; The program's own single-instance mutex: while it exists a phone may be being written.
!define INSTANCE_MUTEX "TarnVel Download Assistant.exe"

; The version the installer shows is the one in the program's own version resource.
!getdllversion "${STAGE_DIR}\${EXE_NAME}" PROGRAM_VERSION_
!define PROGRAM_VERSION "${PROGRAM_VERSION_1}.${PROGRAM_VERSION_2}.${PROGRAM_VERSION_3}.${PROGRAM_VERSION_4}"

Name "$(ProductName) ${PROGRAM_VERSION}"
OutFile "${OUT_FILE}"
!ifdef SIGN_SCRIPT
    !uninstfinalize '"${SIGN_SCRIPT}" "%1"' = 0
!endif
RequestExecutionLevel admin
!if "${ARCH}" == "amd64"
    InstallDir "$PROGRAMFILES64\${PRODUCT_FOLDER}"
!else
    InstallDir "$PROGRAMFILES\${PRODUCT_FOLDER}"
!endif
ShowInstDetails show
BrandingText "$(ProductName) ${PROGRAM_VERSION}"
ShowUninstDetails show

VIProductVersion "${PROGRAM_VERSION}"
VIFileVersion "${PROGRAM_VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT_NAME} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${PROGRAM_VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${PROGRAM_VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE_NAME}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

; The pages speak Chinese to a user whose Windows speaks any Chinese, and English to everyone else.
LangString ProductName ${LANG_SIMPCHINESE} "${PRODUCT_NAME}"
LangString ProductName ${LANG_ENGLISH} "${PRODUCT_NAME_EN}"
LangString RunningRefusal ${LANG_SIMPCHINESE} "${PRODUCT_NAME}正在运行，请先关闭它再继续。"
LangString RunningRefusal ${LANG_ENGLISH} "${PRODUCT_NAME_EN} is running. Close it, then try again."
LangString KeptLogs ${LANG_SIMPCHINESE} "保留了日志文件夹: "
LangString KeptLogs ${LANG_ENGLISH} "Kept the log folders in: "
!macro ChooseLanguage
    System::Call 'kernel32::GetUserDefaultUILanguage() i .r0'
    IntOp $0 $0 & 0x3FF ; the primary language
    ${If} $0 = 0x04 ; LANG_CHINESE, every variant
        StrCpy $LANGUAGE ${LANG_SIMPCHINESE}
    ${Else}
        StrCpy $LANGUAGE ${LANG_ENGLISH}
    ${EndIf}
!macroend

; Replacing or removing the files under a running program would cut off a phone being written.
!macro RefuseWhileRunning
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p .r0'
    ${If} $0 P<> 0
        System::Call 'kernel32::CloseHandle(p r0)'
        MessageBox MB_OK|MB_ICONEXCLAMATION "$(RunningRefusal)" /SD IDOK
        SetErrorLevel 3
        Quit
    ${EndIf}
!macroend

Function .onInit
    !insertmacro ChooseLanguage
    SetShellVarContext all
    !if "${ARCH}" == "amd64"
        SetRegView 64
    !endif
    !insertmacro RefuseWhileRunning
FunctionEnd

Function un.onInit
    !insertmacro ChooseLanguage
    SetShellVarContext all
    !if "${ARCH}" == "amd64"
        SetRegView 64
    !endif
    !insertmacro RefuseWhileRunning
FunctionEnd

; Error reporting reads its settings in the system's own registry view: a 32-bit installer on
; 64-bit Windows writes them there, not in the view redirected for 32-bit programs (a 64-bit one
; is in that view from the start).
!macro LocalDumpsFor PROGRAM
    WriteRegExpandStr HKLM "${LOCAL_DUMPS_KEY}\${PROGRAM}" "DumpFolder" "$INSTDIR\DumpLog"
    WriteRegDWORD HKLM "${LOCAL_DUMPS_KEY}\${PROGRAM}" "DumpType" 1
    WriteRegDWORD HKLM "${LOCAL_DUMPS_KEY}\${PROGRAM}" "DumpCount" 10
!macroend
; The LocalDumps key itself, even empty, turns on local dumps for every program: where the
; installer made it, the uninstaller takes it away again once it holds nothing else.
!macro LocalDumps
    !if "${ARCH}" != "amd64"
        ${If} ${RunningX64}
            SetRegView 64
        ${EndIf}
    !endif
    ClearErrors
    EnumRegKey $1 HKLM "${LOCAL_DUMPS_KEY}" 0
    ${If} ${Errors}
        StrCpy $1 "made"
    ${EndIf}
    !insertmacro LocalDumpsFor "${EXE_NAME}"
    !insertmacro LocalDumpsFor "${HOST_NAME}"
    !if "${ARCH}" != "amd64"
        SetRegView 32
    !endif
    ${If} $1 == "made"
        WriteRegDWORD HKLM "${UNINSTALL_KEY}" "MadeLocalDumpsKey" 1
    ${EndIf}
!macroend
!macro NoLocalDumps
    !if "${ARCH}" != "amd64"
        ${If} ${RunningX64}
            SetRegView 64
        ${EndIf}
    !endif
    DeleteRegKey HKLM "${LOCAL_DUMPS_KEY}\${EXE_NAME}"
    DeleteRegKey HKLM "${LOCAL_DUMPS_KEY}\${HOST_NAME}"
    ${If} $1 == 1
        DeleteRegKey /ifempty HKLM "${LOCAL_DUMPS_KEY}"
    ${EndIf}
    !if "${ARCH}" != "amd64"
        SetRegView 32
    !endif
!macroend

Section "Program"
    SetOutPath "$INSTDIR"
    File "${STAGE_DIR}\${EXE_NAME}"
    File "${STAGE_DIR}\${HOST_NAME}"
    File "${STAGE_DIR}\dVarnok.dll"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateShortCut "$SMPROGRAMS\${PRODUCT_NAME}.lnk" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${PROGRAM_VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    CreateDirectory "$INSTDIR\DumpLog"
    !insertmacro LocalDumps
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT_NAME}.lnk"
    Delete "$INSTDIR\${EXE_NAME}"
    Delete "$INSTDIR\${HOST_NAME}"
    Delete "$INSTDIR\dVarnok.dll"
    ; What the program and the engine leave as scratch: rewritten or removed at every start anyway.
    Delete "$INSTDIR\DeleteTree.bat"
    RMDir /r "$INSTDIR\MTK_Log"
    Delete "$INSTDIR\Uninstall.exe"
    ; TextLog and DumpLog are the user's records of past upgrades and crashes: they stay, and with
    ; them the folder. Without them the folder goes too.
    RMDir "$INSTDIR\TextLog"
    RMDir "$INSTDIR\DumpLog"
    RMDir "$INSTDIR"
    ${If} ${FileExists} "$INSTDIR\*.*"
        DetailPrint "$(KeptLogs)$INSTDIR"
    ${EndIf}
    ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "MadeLocalDumpsKey"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    !insertmacro NoLocalDumps
SectionEnd
