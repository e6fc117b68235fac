; The Windows setup program: one file a site's IT double-clicks, or runs
; silently on every PC of a line. Made by makensis from the windows build
; (packaging/windows-setup/CMakeLists.txt, MakeSetup.cmake), once per
; machine type:
;
;   makensis -DVERSION=1.0.0 -DARCH=x64|x86 -DSTAGE=<folder> -DICON=<.ico>
;            -DOUTFILE=<setup.exe> BrennaCenter.nsi
;
; STAGE holds what is installed, as it is installed: the six programs,
; docs\, data\demo\ and uninstall.exe (made before from Uninstall.nsi and
; UninstallLauncher.nsi). The x64 setup is a 64-bit program itself (so it
; writes the 64-bit Program Files and registry, and runs under wine64);
; the x86 one is 32-bit.
;
; Command line (docs/operations.md, "Windows"):
;   /S             silent          /D=<folder>  install folder (last, no quotes)
;   /NOAUTOSTART   nothing started at log-on    /NOFIREWALL  no firewall rule
;   /SHIPDBFILE=<file>  the line's connection string to the company
;                  database (as brenna-ship --enrol prints it): kept in the
;                  site's brenna-ship.conninfo, readable by the user who
;                  runs the setup alone; brenna-ship then starts at log-on
;                  beside the monitor (also the optional page's text box)
;
; Exit status: 0 done, 1 cancelled, 2 refused (the other machine type is
; installed, the x64 setup on a 32-bit Windows, or a Windows older than 7),
; 3 a program of the install folder is running, 4 installed but the
; firewall rule could not be made, 6 installed but the connection string
; could not be kept (the log says why; 4 when both failed).

!include "Common.nsh"
!include MUI2.nsh
!include nsDialogs.nsh
!include WinVer.nsh
!include x64.nsh

OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
; An upgrade goes where the installed version is (its own machine type's
; registry view); /D= overrides both.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} setup (${ARCH})"

; brenna-web's own address when its settings name none.
!define WEB_URL "http://127.0.0.1:10088/"
; The stations' port when the site's BrennaCenter.ini names none.
!define DEFAULT_PORT 10004

; The site's base folder, as the finish page names it.
Var SiteBase
; What the finish page adds when a step failed ("" when none did).
Var FinishNote
; The header of the installing page once it has done: MUI's own, unless a
; step failed.
Var DoneTitle
Var DoneSubtitle
; The line's connection string: the file given (/SHIPDBFILE= or the page's
; copy), and the site's file brenna-ship reads at log-on ("" none).
Var ShipSource
Var ShipDbFile
Var ShipBox

!define MUI_ICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
Page custom ShipPage ShipPageLeave
!define MUI_INSTFILESPAGE_FINISHHEADER_TEXT "$DoneTitle"
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "$DoneSubtitle"
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(FinishText)$FinishNote"
!insertmacro MUI_PAGE_FINISH

; Windows picks the language of its own; one of any other language (German,
; say) gets the first, English.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!include "Texts.nsh"

!insertmacro SharedFunctions ""

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

Section "-Site"
  Call CheckNotRunning
  ${Log} "$(SetupStarts)"
  StrCpy $DoneTitle "$(MUI_TEXT_FINISH_TITLE)"
  StrCpy $DoneSubtitle "$(MUI_TEXT_FINISH_SUBTITLE)"
  Call FindSite
  StrCpy $SiteBase $R7
  ${Log} "$(SiteIs)"
SectionEnd

Section "!$(SecProgram)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\BrennaCenter.exe"
  File "${STAGE}\libPallix.dll"
  File "${STAGE}\brenna-send.exe"
  File "${STAGE}\brenna-history.exe"
  File "${STAGE}\brenna-web.exe"
  File "${STAGE}\brenna-ship.exe"
  File "${STAGE}\README.md"
  File "${STAGE}\uninstall.exe"
  SetOutPath "$INSTDIR\docs"
  File "${STAGE}\docs\*.md"
  SetOutPath "$INSTDIR\data\demo"
  File "${STAGE}\data\demo\*"

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
  Delete "$SMSTARTUP\brenna-ship.lnk"
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
  ${Log} "$(ProgramsDone)"
SectionEnd

; The line's connection string into the site, by brenna-ship itself: it
; checks the string and makes the file its user's alone. Without a new
; one, a string an earlier install kept is shipped with again.
Section "-Ship"
  ${If} $ShipSource != ""
    nsExec::ExecToStack '"$INSTDIR\brenna-ship.exe" --db-file "$ShipSource" --save-db-file "$SiteBase\brenna-ship.conninfo"'
    Pop $0
    Pop $1
    Delete "$PLUGINSDIR\brenna-ship.conninfo"
    ; Its one line, for the log.
    ${Do}
      StrCpy $2 $1 1 -1
      ${If} $2 != "$\n"
      ${AndIf} $2 != "$\r"
        ${ExitDo}
      ${EndIf}
      StrCpy $1 $1 -1
    ${Loop}
    ${If} $0 == 0
      StrCpy $ShipDbFile "$SiteBase\brenna-ship.conninfo"
      ${Log} "$(ShipKept)"
    ${Else}
      Push ${EXIT_SHIP}
      Push "$(ShipFailed)"
      Call StepFailed
    ${EndIf}
  ${ElseIf} ${FileExists} "$SiteBase\brenna-ship.conninfo"
    StrCpy $ShipDbFile "$SiteBase\brenna-ship.conninfo"
  ${EndIf}
SectionEnd

Section "$(SecAutostart)" SecAutostart
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMSTARTUP\BrennaCenter.lnk" "$INSTDIR\BrennaCenter.exe"
  ; brenna-web and brenna-ship are console programs: their windows stay
  ; minimised.
  CreateShortcut "$SMSTARTUP\brenna-web.lnk" "$INSTDIR\brenna-web.exe" "" "" "" SW_SHOWMINIMIZED
  ${If} $ShipDbFile != ""
    CreateShortcut "$SMSTARTUP\brenna-ship.lnk" "$INSTDIR\brenna-ship.exe" '--db-file "$ShipDbFile"' "" "" SW_SHOWMINIMIZED
  ${EndIf}
SectionEnd

; A failed step (a rule that cannot be made: stations would be turned away
; with no word; a connection string that cannot be kept) has its own exit
; status, a line in the log, and interactively a box and pages that wait
; to be read. Takes the text, then the status, from the stack.
Function StepFailed
  Exch $0
  Exch
  Exch $1
  Exch
  ${Log} $0
  SetErrorLevel $1
  StrCpy $FinishNote "$\r$\n$\r$\n$0"
  StrCpy $DoneTitle "$(StepFailedTitle)"
  StrCpy $DoneSubtitle "$(StepFailedSubtitle)"
  SetAutoClose false
  MessageBox MB_OK|MB_ICONEXCLAMATION $0 /SD IDOK
  Pop $0
  Pop $1
FunctionEnd

Section "$(SecFirewall)" SecFirewall
  Call StationPort
  ${If} $R5 == ""
    Push ${EXIT_FIREWALL}
    Push "$(NoPort)"
    Call StepFailed
  ${Else}
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow protocol=TCP localport=$R5 program="$INSTDIR\BrennaCenter.exe" enable=yes profile=any'
    Pop $0
    ${If} $0 == 0
      ${Log} "$(FirewallDone)"
      ; What the rule lets in, for IT and the uninstaller's log.
      WriteRegStr HKLM "${UNINST_KEY}" "FirewallRule" "TCP $R5"
    ${Else}
      Push ${EXIT_FIREWALL}
      Push "$(FirewallFailed)"
      Call StepFailed
    ${EndIf}
  ${EndIf}
SectionEnd

Function .onInit
  SetShellVarContext all
  ; The programs are made for Windows 7 on: an older one would refuse them.
  ${IfNot} ${AtLeastWin7}
    MessageBox MB_OK|MB_ICONSTOP "$(NeedsWin7)" /SD IDOK
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}
  ; One machine type at a time: the other one's install is found in its
  ; own registry view.
  !if "${ARCH}" == "x64"
    ${IfNot} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "$(NeedsX64)" /SD IDOK
      SetErrorLevel ${EXIT_REFUSED}
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
    ${Log} "$(OtherArch)"
    SetErrorLevel ${EXIT_REFUSED}
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
  ClearErrors
  ${GetOptions} $0 "/SHIPDBFILE=" $1
  ${IfNot} ${Errors}
    StrCpy $ShipSource $1
  ${EndIf}
FunctionEnd

; The optional page: the line's connection string, pasted; not shown when
; the command line gave one.
Function ShipPage
  ${If} $ShipSource != ""
    Abort
  ${EndIf}
  Call FindSite
  !insertmacro MUI_HEADER_TEXT "$(ShipTitle)" "$(ShipSubtitle)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 64u "$(ShipText)"
  Pop $0
  ${NSD_CreateText} 0 70u 100% 12u ""
  Pop $ShipBox
  nsDialogs::Show
FunctionEnd

; A string given goes to a file of the setup's own temporary folder, which
; brenna-ship reads and the "-Ship" section deletes.
Function ShipPageLeave
  ${NSD_GetText} $ShipBox $0
  ${If} $0 != ""
    InitPluginsDir
    ClearErrors
    FileOpen $1 "$PLUGINSDIR\brenna-ship.conninfo" w
    ${IfNot} ${Errors}
      FileWrite $1 $0
      FileClose $1
      StrCpy $ShipSource "$PLUGINSDIR\brenna-ship.conninfo"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInstSuccess
  GetErrorLevel $0
  ${If} $0 < 0
    StrCpy $0 0
  ${EndIf}
  ${Log} "$(SetupEnds)"
FunctionEnd
