; What the setup (BrennaCenter.nsi) and the uninstaller (Uninstall.nsi)
; share: the product's names, the setup's log, where the site is, and the
; check that no program of the install folder runs. Each function exists
; once per side: the uninstaller's carry the "un." prefix NSIS asks for
; (!insertmacro SharedFunctions "" or "un.").

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

!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "BrennaCenter"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\BrennaCenter"
; The one firewall rule, found again by its name.
!define FIREWALL_RULE "BrennaCenter stations"
; The monitor reads the site's settings (Pallix.ini, BrennaCenter.ini) as
; GBK, whatever the PC's own code page, and at most 1 MiB of them.
!define SITE_CODE_PAGE 936
!define SITE_FILE_LIMIT 1048576
; Exit statuses (docs/operations.md, "Silent install on ten PCs").
!define EXIT_REFUSED 2
!define EXIT_RUNNING 3
!define EXIT_FIREWALL 4
!define EXIT_NO_UNINSTALLER 5
!define EXIT_SHIP 6

Name "${PRODUCT} ${VERSION}"
BrandingText "${PRODUCT} ${VERSION} (${ARCH})"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PRODUCT}"

; The setup's log, for IT after a silent run: every step that matters, in
; the language of the pages, one line each with its local time, appended
; by every setup and uninstall. UTF-16 (Notepad reads it), in
; %ProgramData%\BrennaCenter, which an uninstall keeps.

; Appends a line to the log and shows it in the details.
!define Log "!insertmacro Log"
!macro Log text
  Push "${text}"
  !ifdef __UNINSTALL__
    Call un.LogLine
  !else
    Call LogLine
  !endif
!macroend

!macro SharedFunctions un

Var LogFile

Function ${un}LogLine
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  DetailPrint $0
  ${If} $LogFile == ""
    SetShellVarContext all
    StrCpy $LogFile "$APPDATA\${PRODUCT}\setup.log"
  ${EndIf}
  ${GetParent} $LogFile $1
  ${IfNot} ${FileExists} "$1\*.*"
    CreateDirectory $1
  ${EndIf}
  ${GetTime} "" "L" $1 $2 $3 $4 $5 $6 $7
  ClearErrors
  FileOpen $8 $LogFile a
  ${IfNot} ${Errors}
    FileSeek $8 0 END
    FileWriteUTF16LE /BOM $8 "$3-$2-$1 $5:$6:$7 $0$\r$\n"
    FileClose $8
  ${EndIf}
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; $0: a value of Pallix.ini; leaves it resolved against the install folder.
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

; $0: a GBK file of at most SITE_FILE_LIMIT bytes; leaves in $0 a copy in
; UTF-16 in the plug-ins folder, which Windows' INI calls read as Unicode
; on a PC of any code page, or "" when there is no such file. A UTF-8
; byte-order mark is skipped, as the monitor does.
Function ${un}SiteFileAsUnicode
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  InitPluginsDir
  ; GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING
  System::Call 'kernel32::CreateFileW(w r0, i 0x80000000, i 1, p 0, i 3, i 0, p 0) p .r1'
  StrCpy $0 ""
  ${If} $1 P<> -1
    System::Call 'kernel32::GetFileSize(p r1, p 0) i .r2'
    ${If} $2 >= 0
    ${AndIf} $2 <= ${SITE_FILE_LIMIT}
      IntOp $3 $2 + 1
      System::Alloc $3
      Pop $3
      System::Call 'kernel32::ReadFile(p r1, p r3, i r2, *i 0 r4, p 0) i .r5'
      ${If} $5 != 0
        StrCpy $5 $3
        ; EF BB BF
        System::Call '*$3(&i1 .r6)'
        ${If} $4 >= 3
        ${AndIf} $6 = 0xEF
          IntPtrOp $6 $3 + 1
          System::Call '*$6(&i1 .r6)'
          ${If} $6 = 0xBB
            IntPtrOp $6 $3 + 2
            System::Call '*$6(&i1 .r6)'
            ${If} $6 = 0xBF
              IntPtrOp $5 $3 + 3
              IntOp $4 $4 - 3
            ${EndIf}
          ${EndIf}
        ${EndIf}
        ; The text in UTF-16 behind its byte-order mark.
        System::Call 'kernel32::MultiByteToWideChar(i ${SITE_CODE_PAGE}, i 0, p r5, i r4, p 0, i 0) i .r6'
        IntOp $2 $6 * 2
        IntOp $2 $2 + 2
        System::Alloc $2
        Pop $6
        System::Call '*$6(&i2 0xFEFF)'
        IntPtrOp $0 $6 + 2
        IntOp $2 $2 / 2
        IntOp $2 $2 - 1
        System::Call 'kernel32::MultiByteToWideChar(i ${SITE_CODE_PAGE}, i 0, p r5, i r4, p r0, i r2) i .r2'
        IntOp $2 $2 * 2
        IntOp $2 $2 + 2
        StrCpy $0 ""
        ; GENERIC_WRITE, CREATE_ALWAYS
        System::Call 'kernel32::CreateFileW(w "$PLUGINSDIR\site-settings.ini", i 0x40000000, i 0, p 0, i 2, i 0, p 0) p .r5'
        ${If} $5 P<> -1
          System::Call 'kernel32::WriteFile(p r5, p r6, i r2, *i 0 r4, p 0) i .r4'
          System::Call 'kernel32::CloseHandle(p r5)'
          ${If} $4 != 0
            StrCpy $0 "$PLUGINSDIR\site-settings.ini"
          ${EndIf}
        ${EndIf}
        System::Free $6
      ${EndIf}
      System::Free $3
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; The site: where the monitor keeps BrennaCenter.ini, its spool, journal
; and archive (docs/site-config.md): BaseDir of a Pallix.ini beside
; libPallix.dll, else %LOCALAPPDATA%\BrennaCenter of the user running the
; setup. Leaves the base folder in $R7 and the spool folder in $R6.
Function ${un}FindSite
  Push $0
  Push $1
  SetShellVarContext current
  StrCpy $R7 "$LOCALAPPDATA\${PRODUCT}"
  SetShellVarContext all
  StrCpy $R6 ""
  StrCpy $0 "$INSTDIR\Pallix.ini"
  Call ${un}SiteFileAsUnicode
  ${If} $0 != ""
    StrCpy $1 $0
    ReadINIStr $0 $1 "Site" "BaseDir"
    ${If} $0 != ""
      Call ${un}ResolvePath
      StrCpy $R7 $0
    ${EndIf}
    ReadINIStr $0 $1 "Site" "SpoolDir"
    ${If} $0 != ""
      Call ${un}ResolvePath
      StrCpy $R6 $0
    ${EndIf}
    Delete $1
  ${EndIf}
  ${If} $R6 == ""
    StrCpy $R6 "$R7\spool"
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; Programs of the install folder that are running cannot be replaced or
; removed: the setup asks for them to be ended (the monitor ends only by
; its own 退出程序), silently it stops with exit status 3.
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
  ${If} $1 == ""
  ${AndIf} ${FileExists} "$INSTDIR\brenna-ship.exe"
    ClearErrors
    FileOpen $0 "$INSTDIR\brenna-ship.exe" a
    ${If} ${Errors}
      StrCpy $1 "brenna-ship.exe"
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
  ${If} $1 != ""
    IfSilent stop
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(Running)" IDRETRY again
    stop:
    ${Log} "$(Running)"
    SetErrorLevel ${EXIT_RUNNING}
    Quit
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

!macroend
