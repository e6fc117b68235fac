; uninstall.exe as the setup installs it: the uninstaller (Uninstall.nsi),
; started from a copy in the plug-ins folder in %TEMP% and waited for, so
; that the caller (Apps & features, `start /wait`, a deployment tool) gets
; its exit status, and the uninstall has done its work when it returns.
;
;   makensis -DVERSION=... -DARCH=x64|x86 -DICON=<.ico> -DOUTFILE=<uninstall.exe>
;            -DUNINSTALLER=<uninstall-core.exe> UninstallLauncher.nsi
;
; Its command line goes to the uninstaller as it is (/S, /REMOVESITE).
; Exit status: the uninstaller's; 5 when it could not be started.
;
; A running program cannot be deleted: once it has ended, the uninstaller,
; started again with /AFTER=<its process id>, removes it and the install
; folder (a moment after the caller has its status).

!include "Common.nsh"

OutFile "${OUTFILE}"
Icon "${ICON}"
SilentInstall silent
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} uninstaller (${ARCH})"

Section
SectionEnd

Function .onInit
  InitPluginsDir
  ClearErrors
  File "/oname=$PLUGINSDIR\uninstall.exe" "${UNINSTALLER}"
  ${GetParameters} $0
  ${IfNot} ${Errors}
    ExecWait '"$PLUGINSDIR\uninstall.exe" $0 _?=$EXEDIR' $1
  ${EndIf}
  ${If} ${Errors}
    SetErrorLevel ${EXIT_NO_UNINSTALLER}
    Quit
  ${EndIf}
  ${If} $1 == 0
  ${AndIfNot} ${FileExists} "$EXEDIR\BrennaCenter.exe"
    System::Call 'kernel32::GetCurrentProcessId() i .r2'
    Exec '"$PLUGINSDIR\uninstall.exe" /S /AFTER=$2 _?=$EXEDIR'
  ${EndIf}
  SetErrorLevel $1
  Quit
FunctionEnd
