; The uninstaller: removes what the setup installed and, when asked, the
; monitor's own files of the site. Made first, on its own (MakeSetup.cmake):
;
;   makensis -DVERSION=... -DARCH=x64|x86 -DICON=<.ico> -DOUTFILE=<scratch.exe>
;            -DUNINSTALLER=<uninstall-core.exe> Uninstall.nsi
;
; The program made is only a vehicle: !uninstfinalize copies the
; uninstaller it holds to UNINSTALLER. UninstallLauncher.nsi wraps that in
; the uninstall.exe the setup installs, which waits for it (an NSIS
; uninstaller started without _?= copies itself to %TEMP%, starts the copy
; and returns at once, so its caller never learns the outcome).
;
; Command line (docs/operations.md, "Uninstall"):
;   /S             silent          /REMOVESITE  remove the site's data too
;
; Exit status: 0 done, 1 cancelled, 3 a program of the install folder is
; running.

!include "Common.nsh"
!include MUI2.nsh
!include nsDialogs.nsh

; The access right that lets a process's end be waited for.
!define SYNCHRONIZE 0x00100000

OutFile "${OUTFILE}"
ShowUninstDetails show
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} uninstaller (${ARCH})"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.SitePage un.SitePageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!include "Texts.nsh"

!insertmacro SharedFunctions "un."

Var RemoveSite
Var RemoveSiteBox

Section
  WriteUninstaller "$EXEDIR\uninstall.exe"
SectionEnd

!uninstfinalize 'cp "%1" "${UNINSTALLER}"'

; /AFTER=<process id>: uninstall.exe has ended, or is about to; what it
; could not remove while it ran goes now, and this copy with its folder
; once nothing holds them.
Function un.RemoveLauncher
  System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
  ${If} $2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i 60000)'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete /REBOOTOK "$EXEPATH"
  RMDir /REBOOTOK "$EXEDIR"
FunctionEnd

Function un.onInit
  SetShellVarContext all
  StrCpy $RemoveSite 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AFTER=" $1
  ${IfNot} ${Errors}
    Call un.RemoveLauncher
    Quit
  ${EndIf}
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

; $0: a folder of the site. What the monitor and its library write into a
; spool folder (docs/spool.md) goes; anything else there is another
; program's or a person's and stays, and so then does the folder.
Function un.RemoveSpool
  Delete "$0\*.DOING"
  Delete "$0\*.DOING.part"
  Delete "$0\*.compress"
  Delete "$0\rtdata.dat"
  Delete "$0\rtdata.dat.*.part"
  RMDir "$0"
  ${If} ${FileExists} "$0\*.*"
    ${Log} "$(FolderKept)"
  ${EndIf}
FunctionEnd

; The site: only the monitor's own files, named one by one; the folders
; go only when nothing else is left in them. A Pallix.ini beside the
; programs is the site's too.
Function un.RemoveSite
  ${Log} "$(SiteRemoving)"
  StrCpy $0 $R6
  Call un.RemoveSpool
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
  Delete "$R7\brenna-ship.log"
  Delete "$R7\brenna-ship.log.*"
  Delete "$R7\brenna-ship-roots.pem"
  ; The spool folder the monitor makes by default.
  ${If} $R6 != "$R7\spool"
  ${AndIf} ${FileExists} "$R7\spool\*.*"
    StrCpy $0 "$R7\spool"
    Call un.RemoveSpool
  ${EndIf}
  StrCpy $0 $R7
  RMDir "$0"
  ${If} ${FileExists} "$0\*.*"
    ${Log} "$(FolderKept)"
  ${EndIf}
  Delete "$INSTDIR\Pallix.ini"
FunctionEnd

Section "Uninstall"
  Call un.CheckNotRunning
  ${Log} "$(UninstallStarts)"
  Call un.FindSite
  Delete "$SMSTARTUP\BrennaCenter.lnk"
  Delete "$SMSTARTUP\brenna-web.lnk"
  Delete "$SMSTARTUP\brenna-ship.lnk"
  ; The line's password goes with the programs, whatever else of the site
  ; stays.
  ${If} ${FileExists} "$R7\brenna-ship.conninfo"
    Delete "$R7\brenna-ship.conninfo"
    ${Log} "$(ShipRemoved)"
  ${EndIf}
  RMDir /r "$SMPROGRAMS\${PRODUCT}"
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
  Pop $0

  Delete "$INSTDIR\BrennaCenter.exe"
  Delete "$INSTDIR\libPallix.dll"
  Delete "$INSTDIR\brenna-send.exe"
  Delete "$INSTDIR\brenna-history.exe"
  Delete "$INSTDIR\brenna-web.exe"
  Delete "$INSTDIR\brenna-ship.exe"
  Delete "$INSTDIR\README.md"
  RMDir /r "$INSTDIR\docs"
  RMDir /r "$INSTDIR\data\demo"
  RMDir "$INSTDIR\data"
  ; uninstall.exe waits for this uninstaller: it and the folder go once
  ; it has ended (un.RemoveLauncher).

  ${If} $RemoveSite == 1
    Call un.RemoveSite
  ${Else}
    ${Log} "$(SiteKeeping)"
  ${EndIf}
  DeleteRegKey HKLM "${UNINST_KEY}"
  RMDir "$INSTDIR"
  ${Log} "$(UninstallEnds)"
SectionEnd
