; The Windows setup program: one file a site's IT double-clicks, or runs
; silently on every PC of a line. Made by makensis from the windows build
; (packaging/windows-setup/CMakeLists.txt), once per machine type:
;
;   makensis -DVERSION=1.0.0 -DARCH=x64|x86 -DSTAGE=<folder> -DICON=<.ico>
;            -DOUTFILE=<setup.exe> BrennaCenter.nsi
;
; STAGE holds what is installed, as it is installed: the five programs,
; docs\, data\demo\. The x64 setup is a 64-bit program itself (so it
; writes the 64-bit Program Files and registry, and runs under wine64);
; the x86 one is 32-bit.
;
; Command line (docs/operations.md, "Windows"):
;   /S             silent          /D=<folder>  install folder (last, no quotes)
;   /NOAUTOSTART   nothing started at log-on    /NOFIREWALL  no firewall rule
; Uninstaller:
;   /S             silent          /REMOVESITE  remove the site's data too
;
; Exit status: 0 done, 1 cancelled, 2 refused (the other machine type is
; installed, or the x64 setup on a 32-bit Windows), 3 a program of the
; install folder is running.

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
!if "${ARCH}" == "x64"
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH is x64 or x86"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include x64.nsh

!define PRODUCT "BrennaCenter"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\BrennaCenter"
; The stations' port when the site's BrennaCenter.ini names none.
!define DEFAULT_PORT 10004
; brenna-web's own address when its settings name none.
!define WEB_URL "http://127.0.0.1:10088/"
; The one firewall rule, found again by its name.
!define FIREWALL_RULE "BrennaCenter stations"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
; An upgrade goes where the installed version is (its own machine type's
; registry view); /D= overrides both.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION} (${ARCH})"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} setup (${ARCH})"
VIAddVersionKey /LANG=0 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PRODUCT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.SitePage un.SitePageLeave
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one a Windows of any other language gets.
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"
!include "Texts.nsh"

Var RemoveSite
Var RemoveSiteBox

; ---------------------------------------------------------------------------
; The site: where the monitor keeps BrennaCenter.ini, its spool, journal and
; archive (docs/site-config.md): BaseDir of a Pallix.ini beside
; libPallix.dll, else %LOCALAPPDATA%\BrennaCenter of the user running the
; setup. Both halves need it: the setup for the station port, the
; uninstaller to remove the site when asked.

; $0: a value of Pallix.ini; leaves it resolved against the install folder.
!macro ResolvePath un
Function ${un}ResolvePath
  Push $1
  Push $2
  ; A value may be put in double quotes.
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $0 $0 "" 1
    StrCpy $1 $0 1 -1
    ${If} $1 == '"'
      StrCpy $0 $0 -1
    ${EndIf}
  ${EndIf}
  StrCpy $1 $0 1 1
  StrCpy $2 $0 2
  ${If} $1 == ":"
    ; D:\... as it is
  ${ElseIf} $2 == "\\"
  ${OrIf} $2 == "//"
    ; a server's share as it is
  ${Else}
    StrCpy $1 $0 1
    ${If} $1 == "\"
    ${OrIf} $1 == "/"
      ; rooted without a drive: on the drive of Pallix.ini's folder
      StrCpy $2 $INSTDIR 2
      StrCpy $0 "$2$0"
    ${Else}
      StrCpy $0 "$INSTDIR\$0"
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
FunctionEnd
!macroend
!insertmacro ResolvePath ""
!insertmacro ResolvePath "un."

; Leaves the site's base folder in $R7 and its spool folder in $R6.
!macro FindSite un
Function ${un}FindSite
  Push $0
  SetShellVarContext current
  StrCpy $R7 "$LOCALAPPDATA\${PRODUCT}"
  StrCpy $R6 ""
  ${If} ${FileExists} "$INSTDIR\Pallix.ini"
    ReadINIStr $0 "$INSTDIR\Pallix.ini" "Site" "BaseDir"
    ${If} $0 != ""
      Call ${un}ResolvePath
      StrCpy $R7 $0
    ${EndIf}
    ReadINIStr $0 "$INSTDIR\Pallix.ini" "Site" "SpoolDir"
    ${If} $0 != ""
      Call ${un}ResolvePath
      StrCpy $R6 $0
    ${EndIf}
  ${EndIf}
  ${If} $R6 == ""
    StrCpy $R6 "$R7\spool"
  ${EndIf}
  SetShellVarContext all
  Pop $0
FunctionEnd
!macroend
!insertmacro FindSite ""
!insertmacro FindSite "un."

; Programs of the install folder that are running cannot be replaced or
; removed: the setup asks for them to be ended (the monitor ends only by
; its own 退出程序), silently it stops with exit status 3.
!macro CheckNotRunning un
Function ${un}CheckNotRunning
  Push $0
  Push $1
  again:
  StrCpy $1 ""
  ${If} ${FileExists} "$INSTDIR\BrennaCenter.exe"
    ClearErrors
    FileOpen $0 "$INSTDIR\BrennaCenter.exe" a
    ${If} ${Errors}
      StrCpy $1 "BrennaCenter.exe"
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
  ${If} $1 == ""
  ${AndIf} ${FileExists} "$INSTDIR\brenna-web.exe"
    ClearErrors
    FileOpen $0 "$INSTDIR\brenna-web.exe" a
    ${If} ${Errors}
      StrCpy $1 "brenna-web.exe"
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
  ${If} $1 != ""
    IfSilent silent
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Running)" IDRETRY again
    SetErrorLevel 3
    Quit
    silent:
    SetErrorLevel 3
    Quit
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CheckNotRunning ""
!insertmacro CheckNotRunning "un."

; ---------------------------------------------------------------------------
; The station port: key Port of section 端口号 of the site's
; BrennaCenter.ini, as the monitor reads it. The section name is GBK bytes
; whatever the PC's code page, so the file is read byte by byte (Windows'
; own INI calls would read it through the PC's code page); a byte is kept
; as the character of the same number. Leaves in $R5 the port, or "" when
; the file names something that is no port (the monitor then listens on
; none).

; $0: a line; leaves it without blanks at either end.
Function Trim
  Push $1
  ${Do}
    StrCpy $1 $0 1
    ${If} $1 == " "
    ${OrIf} $1 == "$\t"
      StrCpy $0 $0 "" 1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  ${Do}
    StrCpy $1 $0 1 -1
    ${If} $1 == " "
    ${OrIf} $1 == "$\t"
    ${OrIf} $1 == "$\r"
      StrCpy $0 $0 -1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  Pop $1
FunctionEnd

; $0: a line of the file; $3: 1 while in the port section; $4: the value
; found ("" none yet), $5: 1 once found, $6: the section's name.
Function PortLine
  Push $1
  Push $2
  Call Trim
  StrCpy $1 $0 1
  ${If} $1 == "["
    StrCpy $2 $0 1 -1
    StrCpy $3 0
    ${If} $2 == "]"
      StrCpy $0 $0 -1 1
      Call Trim
      ${If} $0 S== $6
        StrCpy $3 1
      ${EndIf}
    ${EndIf}
  ${ElseIf} $3 == 1
  ${AndIf} $5 == 0
    ; key = value; the first Port of the section counts, as Windows reads it
    StrCpy $2 0
    ${Do}
      StrCpy $1 $0 1 $2
      ${If} $1 == ""
      ${OrIf} $1 == "="
        ${ExitDo}
      ${EndIf}
      IntOp $2 $2 + 1
    ${Loop}
    ${If} $1 == "="
      StrCpy $1 $0 $2
      IntOp $2 $2 + 1
      StrCpy $0 $0 "" $2
      Push $0
      StrCpy $0 $1
      Call Trim
      StrCpy $1 $0
      Pop $0
      ${If} $1 == "Port"
        Call Trim
        StrCpy $4 $0
        StrCpy $5 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
FunctionEnd

Function StationPort
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  ; [端口号] in GBK: B6CB BFDA BAC5
  StrCpy $6 ""
  ${ForEach} $1 0 5 + 1
    ${If} $1 == 0
      StrCpy $2 0xB6
    ${ElseIf} $1 == 1
      StrCpy $2 0xCB
    ${ElseIf} $1 == 2
      StrCpy $2 0xBF
    ${ElseIf} $1 == 3
      StrCpy $2 0xDA
    ${ElseIf} $1 == 4
      StrCpy $2 0xBA
    ${Else}
      StrCpy $2 0xC5
    ${EndIf}
    IntFmt $2 "%c" $2
    StrCpy $6 "$6$2"
  ${Next}
  StrCpy $3 0
  StrCpy $4 ""
  StrCpy $5 0
  ClearErrors
  FileOpen $7 "$R7\BrennaCenter.ini" r
  ${IfNot} ${Errors}
    StrCpy $0 ""
    ; The monitor reads at most 1 MiB of it.
    ${ForEach} $2 1 1048576 + 1
      ClearErrors
      FileReadByte $7 $1
      ${If} ${Errors}
        ${ExitFor}
      ${EndIf}
      ${If} $1 == 10
        Call PortLine
        StrCpy $0 ""
      ${ElseIf} $1 != 0
        IntFmt $1 "%c" $1
        StrCpy $0 "$0$1"
      ${EndIf}
    ${Next}
    Call PortLine
    FileClose $7
  ${EndIf}
  ${If} $5 == 0
  ${OrIf} $4 == ""
    StrCpy $R5 ${DEFAULT_PORT}
  ${Else}
    ; A whole number from 1 to 65535, nothing else.
    StrCpy $R5 $4
    StrLen $2 $4
    ${If} $2 > 5
      StrCpy $R5 ""
    ${EndIf}
    ${ForEach} $1 0 4 + 1
      StrCpy $0 $4 1 $1
      ${If} $0 == ""
        ${ExitFor}
      ${EndIf}
      ; a digit reads back as itself
      IntOp $2 $0 + 0
      ${If} "$2" != "$0"
        StrCpy $R5 ""
      ${EndIf}
    ${Next}
    ${If} $R5 != ""
      IntOp $1 $R5 + 0
      ${If} $1 < 1
      ${OrIf} $1 > 65535
        StrCpy $R5 ""
      ${Else}
        StrCpy $R5 $1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; ---------------------------------------------------------------------------


Section "!$(SecProgram)" SecProgram
  SectionIn RO
  Call CheckNotRunning
  SetOutPath "$INSTDIR"
  File "${STAGE}\BrennaCenter.exe"
  File "${STAGE}\libPallix.dll"
  File "${STAGE}\brenna-send.exe"
  File "${STAGE}\brenna-history.exe"
  File "${STAGE}\brenna-web.exe"
  File "${STAGE}\README.md"
  SetOutPath "$INSTDIR\docs"
  File "${STAGE}\docs\*.md"
  SetOutPath "$INSTDIR\data\demo"
  File "${STAGE}\data\demo\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Start menu, for everyone who logs on to the PC.
  SetOutPath "$INSTDIR"
  RMDir /r "$SMPROGRAMS\${PRODUCT}"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(LinkMonitor).lnk" "$INSTDIR\BrennaCenter.exe"
  WriteINIStr "$SMPROGRAMS\${PRODUCT}\$(LinkWeb).url" "InternetShortcut" "URL" "${WEB_URL}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(LinkDocs).lnk" "$INSTDIR\docs"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\$(LinkUninstall).lnk" "$INSTDIR\uninstall.exe"
  ; What an older install started at log-on or let in through the
  ; firewall is made again by the sections chosen now.
  Delete "$SMSTARTUP\BrennaCenter.lnk"
  Delete "$SMSTARTUP\brenna-web.lnk"
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
  Pop $0
  DeleteRegValue HKLM "${UNINST_KEY}" "FirewallRule"

  ; Apps & features.
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT} (${ARCH})"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\BrennaCenter.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "$(SecAutostart)" SecAutostart
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMSTARTUP\BrennaCenter.lnk" "$INSTDIR\BrennaCenter.exe"
  ; brenna-web is a console program: its window stays minimised.
  CreateShortcut "$SMSTARTUP\brenna-web.lnk" "$INSTDIR\brenna-web.exe" "" "" "" SW_SHOWMINIMIZED
SectionEnd

Section "$(SecFirewall)" SecFirewall
  Call FindSite
  Call StationPort
  ${If} $R5 == ""
    DetailPrint "$(NoPort)"
  ${Else}
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=TCP localport=$R5 program="$INSTDIR\BrennaCenter.exe" enable=yes profile=any'
    Pop $0
    ${If} $0 == 0
      DetailPrint "$(FirewallDone)"
      ; What the rule lets in, for IT and the uninstaller's log.
      WriteRegStr HKLM "${UNINST_KEY}" "FirewallRule" "TCP $R5"
    ${Else}
      DetailPrint "$(FirewallFailed)"
    ${EndIf}
  ${EndIf}
SectionEnd

Function .onInit
  SetShellVarContext all
  ; One machine type at a time: the other one's install is found in its
  ; own registry view.
  !if "${ARCH}" == "x64"
    ${IfNot} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "$(NeedsX64)" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
    SetRegView 32
    ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
    SetRegView 64
    StrCpy $1 "x86"
  !else
    StrCpy $0 ""
    ${If} ${RunningX64}
      SetRegView 64
      ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
      SetRegView 32
    ${EndIf}
    StrCpy $1 "x64"
  !endif
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONSTOP "$(OtherArch)" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOAUTOSTART" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecAutostart} 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/NOFIREWALL" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecFirewall} 0
  ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------

Function un.onInit
  SetShellVarContext all
  StrCpy $RemoveSite 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESITE" $1
  ${IfNot} ${Errors}
    StrCpy $RemoveSite 1
  ${EndIf}
FunctionEnd

Function un.SitePage
  Call un.FindSite
  !insertmacro MUI_HEADER_TEXT "$(SiteTitle)" "$(SiteSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 48u "$(SiteKept)"
  Pop $0
  ${NSD_CreateCheckbox} 0 56u 100% 12u "$(SiteRemove)"
  Pop $RemoveSiteBox
  ${If} $RemoveSite == 1
    ${NSD_Check} $RemoveSiteBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function un.SitePageLeave
  ${NSD_GetState} $RemoveSiteBox $RemoveSite
  ${If} $RemoveSite == ${BST_CHECKED}
    StrCpy $RemoveSite 1
  ${Else}
    StrCpy $RemoveSite 0
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.CheckNotRunning
  Call un.FindSite
  Delete "$SMSTARTUP\BrennaCenter.lnk"
  Delete "$SMSTARTUP\brenna-web.lnk"
  RMDir /r "$SMPROGRAMS\${PRODUCT}"
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
  Pop $0

  Delete "$INSTDIR\BrennaCenter.exe"
  Delete "$INSTDIR\libPallix.dll"
  Delete "$INSTDIR\brenna-send.exe"
  Delete "$INSTDIR\brenna-history.exe"
  Delete "$INSTDIR\brenna-web.exe"
  Delete "$INSTDIR\README.md"
  RMDir /r "$INSTDIR\docs"
  RMDir /r "$INSTDIR\data\demo"
  RMDir "$INSTDIR\data"
  Delete "$INSTDIR\uninstall.exe"

  ; The site: only the monitor's own files, named one by one; the folders
  ; go only when nothing else is left in them. A Pallix.ini beside the
  ; programs is the site's too.
  ${If} $RemoveSite == 1
    DetailPrint "$(SiteRemoving)"
    Delete "$R7\BrennaCenter.ini"
    Delete "$R7\monitor.log"
    Delete "$R7\monitor.log.*"
    Delete "$R7\archive.sqlite"
    Delete "$R7\archive.sqlite-wal"
    Delete "$R7\archive.sqlite-shm"
    Delete "$R7\archive.sqlite.*"
    Delete "$R7\brenna-web.ini"
    Delete "$R7\web-token"
    Delete "$R7\web-pairing"
    Delete "$R7\web-sessions"
    RMDir /r "$R6"
    RMDir "$R7"
    Delete "$INSTDIR\Pallix.ini"
  ${Else}
    DetailPrint "$(SiteKeeping)"
  ${EndIf}
  DeleteRegKey HKLM "${UNINST_KEY}"
  RMDir "$INSTDIR"
SectionEnd
