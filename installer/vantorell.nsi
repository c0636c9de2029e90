; Vantorell setup: installs vantorell.exe, vantorellc.exe and the help page into
; Program Files, with Start Menu shortcuts and an Add/Remove Programs entry.
;
; Built by installer/make-installer.sh (through scripts/package.sh), which passes:
;   ARCH            win64 or win32
;   VERSION         the program's version, x.y.z
;   VI_VERSION      the same as four numbers, x.y.z.w
;   VANTORELL_EXE   the built vantorell.exe
;   VANTORELLC_EXE  the built vantorellc.exe
;   HELP_FILE       VantorellHelp.html
;   HELP_PICTURES   the folder of the help page's pictures (*.png), installed as "help"
;   LICENSE_FILE    the GPL text, shown on the licence page and installed as LICENSE.txt
;   NOTICES_FILE    THIRD-PARTY-NOTICES.txt
;   SCHEMA_FILE     the JSON Schema of the policy files of "vantorellc apply"
;   DSC_MANIFEST    the DSC resource manifest, its version filled in
;   ICON_FILE       the program's icon
;   OUTFILE         the setup program to write
;
; The setup marks the copy as installed ("Vantorell.installed" beside the
; exe): the program then keeps the records of the user's places in
; %LOCALAPPDATA%\Vantorell\StartupList.txt and those of the machine's places in
; %ProgramData%\Vantorell\StartupList.txt, a folder the setup makes its own (owner
; Administrators, rights reset; a link in its place is refused) writable by
; Administrators and SYSTEM only and readable by Users. The setup writes the
; program's one logon registration, the machine's Run value, in the 64-bit view
; on 64-bit Windows from both setups.
;
; The uninstaller first runs "vantorell.exe -u" (elevated, as the uninstaller
; is), which gives every entry of the machine's list, of the running user's
; list and of a list beside the exe back to its autostart place, and removes the
; program's own Run value. Should one of those lists still hold entries
; afterwards, or the list of another user's profile, nothing is removed: the
; lists are the only record of those entries.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!ifndef ARCH | VERSION | VI_VERSION | VANTORELL_EXE | VANTORELLC_EXE | HELP_FILE | ICON_FILE | OUTFILE | HELP_PICTURES | LICENSE_FILE | NOTICES_FILE
  !error "Build this script with installer/make-installer.sh"
!endif
!if "${ARCH}" != "win64"
!if "${ARCH}" != "win32"
  !error "ARCH must be win64 or win32"
!endif
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "TextFunc.nsh"
!include "x64.nsh"

!define PRODUCT "Vantorell"
!define PUBLISHER "Vantorell"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantorell"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define OPTIONS_KEY "Software\Vantorell"
!define MAIN_WINDOW_CLASS "VantorellMainWindow"
!define LIST_FILE "StartupList.txt"
!define KEPT_LIST_FILE "StartupList.kept.txt" ; beside a list: the records an uninstall could not give back
!define INSTALLED_MARKER "Vantorell.installed"
!define DATA_FOLDER "Vantorell" ; under %LOCALAPPDATA% and %ProgramData%
!define PROFILE_LIST_KEY "Software\Microsoft\Windows NT\CurrentVersion\ProfileList"
!define OLD_LIST_FILE "data.txt"
!define UNINSTALLER "Uninstall.exe"
!define SHORTCUT_FOLDER "$SMPROGRAMS\Vantorell"

; Asking a running copy to close, as Windows does before an update: it saves
; its options and ends.
!include "WinMessages.nsh" ; WM_QUERYENDSESSION, WM_ENDSESSION
!define ENDSESSION_CLOSEAPP 0x1
!define SMTO_ABORTIFHUNG 0x2
!define SYNCHRONIZE_TERMINATE 0x100001
!define CLOSE_WAIT_MS 10000
!define MESSAGE_WAIT_MS 5000

; Exit code of a setup or uninstall run that stopped so that nothing is lost.
!define ERROR_KEPT 2
; Exit code of a setup that could not make the machine's list folder its own.
!define ERROR_MACHINE_FOLDER 3
!define FILE_ATTRIBUTE_REPARSE_POINT 0x400

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
!if "${ARCH}" == "win64"
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
  Caption "${PRODUCT} ${VERSION} (64-bit) Setup"
!else
  InstallDir "$PROGRAMFILES\${PRODUCT}"
  Caption "${PRODUCT} ${VERSION} (32-bit) Setup"
!endif

VIProductVersion "${VI_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER} contributors, GPL-3.0-or-later"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!define MUI_LICENSEPAGE_TEXT_TOP "Vantorell is free software under the GNU General Public License, version 3 or later."
!define MUI_LICENSEPAGE_BUTTON "&Next >"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "You may use Vantorell without accepting anything; this licence says how you may copy and change it."
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---- shared by setup and uninstaller

!macro CHECK_WINDOWS
  ; The program writes the machine's Run key and its options under HKLM.
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} must be installed and removed by an administrator." /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
  !if "${ARCH}" == "win64"
    ${IfNot} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "This is the 64-bit ${PRODUCT}; this Windows is 32-bit. Please use the 32-bit setup (win32)." /SD IDOK
      SetErrorLevel 216
      Quit
    ${EndIf}
    SetRegView 64
  !endif
!macroend

; Closes every running vantorell.exe (found by its main window): asks it to
; end as at a logoff, waits, and if it does not end, asks the user to close it
; (in silent mode ends that one process). Aborts when the user cancels or the
; process cannot be ended.
!macro CLOSE_RUNNING_COPY_FUNCTION PREFIX
Function ${PREFIX}CloseRunningCopy
  Push $R0 ; main window
  Push $R1 ; its process id
  Push $R2 ; its process handle
  Push $R3 ; wait result
  Push $R4 ; asked once already
  StrCpy $R4 0
  ${Do}
    FindWindow $R0 "${MAIN_WINDOW_CLASS}"
    ${If} $R0 == 0
      ${Break}
    ${EndIf}
    ${If} $R4 == 0
      MessageBox MB_OKCANCEL|MB_ICONINFORMATION "${PRODUCT} is running. It will be closed now; its settings are saved first." /SD IDOK IDOK close_it
      SetErrorLevel ${ERROR_KEPT}
      Abort "${PRODUCT} is still running."
    close_it:
      StrCpy $R4 1
    ${EndIf}
    DetailPrint "Closing the running ${PRODUCT}"
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE_TERMINATE}, i 0, i R1) p .R2'
    System::Call 'user32::SendMessageTimeoutW(p R0, i ${WM_QUERYENDSESSION}, p 0, p ${ENDSESSION_CLOSEAPP}, i ${SMTO_ABORTIFHUNG}, i ${MESSAGE_WAIT_MS}, *p 0)'
    System::Call 'user32::SendMessageTimeoutW(p R0, i ${WM_ENDSESSION}, p 1, p ${ENDSESSION_CLOSEAPP}, i ${SMTO_ABORTIFHUNG}, i ${MESSAGE_WAIT_MS}, *p 0)'
    StrCpy $R3 1
    ${If} $R2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p R2, i ${CLOSE_WAIT_MS}) i .R3'
      ${If} $R3 != 0
      ${AndIf} ${Silent}
        DetailPrint "${PRODUCT} did not close; ending process $R1"
        System::Call 'kernel32::TerminateProcess(p R2, i 1)'
        System::Call 'kernel32::WaitForSingleObject(p R2, i ${CLOSE_WAIT_MS}) i .R3'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p R2)'
    ${EndIf}
    ${If} $R3 != 0
      ; Not ended (or not ours to end): the user closes it, or we stop here.
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} could not be closed. Please close it (right-click its icon in the notification area and choose to exit), then click Retry." /SD IDCANCEL IDRETRY try_again
      SetErrorLevel ${ERROR_KEPT}
      Abort "${PRODUCT} is still running."
    try_again:
    ${EndIf}
  ${Loop}
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd
!macroend

; Sets $R0 to the command of the program's Run value: the exe's path, in
; double quotes when it holds a blank, and " -b" (as the program writes it).
!macro OWN_RUN_COMMAND_FUNCTION PREFIX
Function ${PREFIX}OwnRunCommand
  Push $1
  Push $2
  StrCpy $R0 '$INSTDIR\vantorell.exe -b'
  StrCpy $1 0
  ${Do}
    StrCpy $2 "$INSTDIR" 1 $1
    ${If} $2 == ""
      ${Break}
    ${ElseIf} $2 == " "
      StrCpy $R0 '"$INSTDIR\vantorell.exe" -b'
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
  Pop $2
  Pop $1
FunctionEnd
!macroend

; The Run keys the program's registration lives in: the 64-bit view on
; 64-bit Windows, from the 32-bit setup too.
!macro RUN_VIEW_BEGIN
  !if "${ARCH}" == "win32"
    ${If} ${RunningX64}
      SetRegView 64
    ${EndIf}
  !endif
!macroend
!macro RUN_VIEW_END
  !if "${ARCH}" == "win32"
    SetRegView 32
  !endif
!macroend

; ---- setup

!insertmacro CLOSE_RUNNING_COPY_FUNCTION ""
!insertmacro OWN_RUN_COMMAND_FUNCTION ""

; Stops the setup: the machine's list folder is not safely its own.
!macro REFUSE_MACHINE_FOLDER WHY
  DetailPrint "${WHY}"
  MessageBox MB_OK|MB_ICONSTOP "${WHY}$\r$\n$\r$\nVantorell was not set up: programs recorded there would start for every user." /SD IDOK
  SetErrorLevel ${ERROR_MACHINE_FOLDER}
  Quit
!macroend

; Runs icacls with the arguments on the stack on the machine's list folder;
; stops the setup when it fails.
Function MachineFolderIcacls
  Exch $R1
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$APPDATA\${DATA_FOLDER}" $R1'
  Pop $R1
  ${If} $R1 != 0
    !insertmacro REFUSE_MACHINE_FOLDER "icacls could not set the rights of $APPDATA\${DATA_FOLDER} ($R1)."
  ${EndIf}
  Pop $R1
FunctionEnd

; %ProgramData%\Vantorell, made the setup's own: a link or junction in its
; place is refused (it would lead the machine's list elsewhere); then the
; owner is Administrators, the rights of the folder and of everything in it
; are reset, and only Administrators and SYSTEM may write.
Function TakeMachineFolder
  Push $R0
  System::Call 'kernel32::GetFileAttributesW(w "$APPDATA\${DATA_FOLDER}") i .R0'
  ${If} $R0 != -1
    IntOp $R0 $R0 & ${FILE_ATTRIBUTE_REPARSE_POINT}
    ${If} $R0 != 0
      !insertmacro REFUSE_MACHINE_FOLDER "$APPDATA\${DATA_FOLDER} is a link to another folder."
    ${EndIf}
  ${EndIf}
  ClearErrors
  CreateDirectory "$APPDATA\${DATA_FOLDER}"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$APPDATA\${DATA_FOLDER}\*.*"
    !insertmacro REFUSE_MACHINE_FOLDER "$APPDATA\${DATA_FOLDER} could not be created."
  ${EndIf}
  Push "/setowner *S-1-5-32-544 /T /C /L /Q"
  Call MachineFolderIcacls
  Push "/reset /T /C /L /Q"
  Call MachineFolderIcacls
  Push "/inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /L /Q"
  Call MachineFolderIcacls
  Pop $R0
FunctionEnd

Function .onInit
  !insertmacro CHECK_WINDOWS
  ; An upgrade goes where the program already is (its list lives there).
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  !if "${ARCH}" == "win64"
    ${If} $0 != ""
    ${AndIf} $INSTDIR == "$PROGRAMFILES64\${PRODUCT}"
      StrCpy $INSTDIR $0
    ${EndIf}
  !else
    ${If} $0 != ""
    ${AndIf} $INSTDIR == "$PROGRAMFILES\${PRODUCT}"
      StrCpy $INSTDIR $0
    ${EndIf}
  !endif
FunctionEnd

Section "Vantorell" SecMain
  SectionIn RO
  SetShellVarContext all
  Call CloseRunningCopy
  ; The machine's list: written by Administrators and SYSTEM, read by Users
  ; (well-known SIDs, whatever the language of Windows). A user may have made
  ; the folder before: it becomes the setup's own (owner Administrators, every
  ; right a user gave anyone reset) before anything is installed, or nothing is.
  Call TakeMachineFolder

  ; "StartupList.txt" and the program's other files beside it are left as they are.
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "/oname=vantorell.exe" "${VANTORELL_EXE}"
  File "/oname=vantorellc.exe" "${VANTORELLC_EXE}"
  File "/oname=VantorellHelp.html" "${HELP_FILE}"
  File "/oname=LICENSE.txt" "${LICENSE_FILE}"
  File "/oname=THIRD-PARTY-NOTICES.txt" "${NOTICES_FILE}"
  File "/oname=policy.schema.json" "${SCHEMA_FILE}"
  File "/oname=vantorell.dsc.resource.json" "${DSC_MANIFEST}"
  SetOutPath "$INSTDIR\help"
  File "${HELP_PICTURES}/*.png"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; Installed, not portable: the program's lists live in the data folders.
  FileOpen $0 "$INSTDIR\${INSTALLED_MARKER}" w
  FileWrite $0 "Written by the ${PRODUCT} setup: this copy is installed. Its lists are in %LOCALAPPDATA%\${DATA_FOLDER} (each user's) and %ProgramData%\${DATA_FOLDER} (the machine's).$\r$\n"
  FileClose $0

  ; An installed 0.1.0 kept its list beside the program, where this version
  ; no longer looks: its records move into the user's and the machine's lists
  ; now, with the rights the machine's needs. The old file stays as a backup.
  ${If} ${FileExists} "$INSTDIR\${LIST_FILE}"
    DetailPrint "Moving the list of an earlier version into this version's lists"
    ClearErrors
    ExecWait '"$INSTDIR\vantorell.exe" -upgrade' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
      DetailPrint "The list of an earlier version stays in $INSTDIR\${LIST_FILE}; Vantorell moves it at its next start."
    ${EndIf}
  ${EndIf}

  ; The program's one logon registration.
  Call OwnRunCommand
  !insertmacro RUN_VIEW_BEGIN
  WriteRegStr HKLM "${RUN_KEY}" "Vantorell" $R0
  !insertmacro RUN_VIEW_END

  CreateDirectory "${SHORTCUT_FOLDER}"
  CreateShortcut "${SHORTCUT_FOLDER}\Vantorell.lnk" "$INSTDIR\vantorell.exe" "" "$INSTDIR\vantorell.exe" 0
  CreateShortcut "${SHORTCUT_FOLDER}\Uninstall Vantorell.lnk" "$INSTDIR\${UNINSTALLER}"

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vantorell.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; ---- uninstaller

!insertmacro CLOSE_RUNNING_COPY_FUNCTION "un."

Function un.onInit
  !insertmacro CHECK_WINDOWS
FunctionEnd

; Pushes 1 when the file named on the stack holds a line with text, else 0.
Function un.HoldsEntries
  Exch $R0 ; file
  Push $R1 ; handle
  Push $R2 ; line
  Push $R3 ; result
  StrCpy $R3 0
  ClearErrors
  FileOpen $R1 "$R0" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileRead $R1 $R2
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      ; Only an empty line is no entry.
      ${TrimNewLines} "$R2" $R2
      ${If} $R2 != ""
        StrCpy $R3 1
        ${Break}
      ${EndIf}
    ${Loop}
    FileClose $R1
  ${ElseIf} ${FileExists} "$R0"
    StrCpy $R3 1 ; there but unreadable: it may hold entries
  ${EndIf}
  StrCpy $R0 $R3
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

; Sets $R0 to the names of the users whose list
; (<profile>\AppData\Local\Vantorell\StartupList.txt, or its older data.txt)
; still holds entries, the running user included, separated by ", "; empty
; when there are none.
Function un.UsersHoldingEntries
  Push $1 ; index
  Push $2 ; profile key
  Push $3 ; profile folder
  Push $4 ; holds entries
  StrCpy $R0 ""
  StrCpy $1 0
  !insertmacro RUN_VIEW_BEGIN
  ${Do}
    EnumRegKey $2 HKLM "${PROFILE_LIST_KEY}" $1
    ${If} $2 == ""
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ReadRegStr $3 HKLM "${PROFILE_LIST_KEY}\$2" "ProfileImagePath"
    ExpandEnvStrings $3 $3
    ${If} $3 == ""
      ${Continue}
    ${EndIf}
    Push "$3\AppData\Local\${DATA_FOLDER}\${LIST_FILE}"
    Call un.HoldsEntries
    Pop $4
    ${If} $4 != 1
      Push "$3\AppData\Local\${DATA_FOLDER}\${OLD_LIST_FILE}"
      Call un.HoldsEntries
      Pop $4
    ${EndIf}
    ${If} $4 == 1
      ${GetFileName} $3 $4
      ${If} $R0 != ""
        StrCpy $R0 "$R0, "
      ${EndIf}
      StrCpy $R0 "$R0$4"
    ${EndIf}
  ${Loop}
  !insertmacro RUN_VIEW_END
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; Deletes the Run value "Vantorell" of a hive when it starts this copy.
!macro DELETE_OWN_RUN_VALUE HIVE
  ReadRegStr $0 ${HIVE} "${RUN_KEY}" "Vantorell"
  ${If} $0 == '"$INSTDIR\vantorell.exe" -b'
  ${OrIf} $0 == '$INSTDIR\vantorell.exe -b'
    DeleteRegValue ${HIVE} "${RUN_KEY}" "Vantorell"
  ${EndIf}
!macroend

Section "Uninstall"
  SetShellVarContext all
  Call un.CloseRunningCopy

  ; Check first, then change. Each user's records are that user's to give
  ; back, with that user's own rights: the uninstaller runs with administrator
  ; rights and must not act on what a user's programs could have written into
  ; the user's folder. While any user's list holds entries, nothing is changed,
  ; so the program's Run value stays and their programs keep starting.
  Call un.UsersHoldingEntries
  ${If} $R0 != ""
    DetailPrint "Vantorell still holds programs of these users: $R0. Nothing is removed."
    MessageBox MB_OK|MB_ICONEXCLAMATION "Vantorell still holds programs that start for these users: $R0.$\r$\n$\r$\nEach of them should start Vantorell and switch those programs on again (or run $\"vantorell.exe -u$\" without administrator rights), then uninstall again. Nothing was removed." /SD IDOK
    SetErrorLevel ${ERROR_KEPT}
    Abort "Uninstall stopped: Vantorell still holds programs of its users."
  ${EndIf}

  ; The machine's part: give back every entry of the machine's list and of a
  ; list beside the program (folders only administrators can write); then
  ; nothing may still be listed there. A program that has no place to go back
  ; to (its component gone, or Shell now another program) would stop the
  ; uninstall for good: the user may choose to have its record kept beside the
  ; list (vantorell.exe -m -k) and finish.
  StrCpy $R9 ""
  ${Do}
    ${If} ${FileExists} "$INSTDIR\vantorell.exe"
      DetailPrint "Giving back the programs Vantorell holds for every user"
      ClearErrors
      ExecWait '"$INSTDIR\vantorell.exe" -m$R9' $0
      ${If} ${Errors}
        DetailPrint "vantorell.exe -m could not be run"
      ${ElseIf} $0 != 0
        DetailPrint "vantorell.exe -m ended with exit code $0"
      ${EndIf}
    ${EndIf}
    StrCpy $3 ""
    Push "$INSTDIR\${LIST_FILE}"
    Call un.HoldsEntries
    Pop $1
    Push "$INSTDIR\${OLD_LIST_FILE}"
    Call un.HoldsEntries
    Pop $2
    ${If} $1 == 1
    ${OrIf} $2 == 1
      StrCpy $3 "$INSTDIR\${LIST_FILE}"
    ${EndIf}
    Push "$APPDATA\${DATA_FOLDER}\${LIST_FILE}"
    Call un.HoldsEntries
    Pop $1
    ${If} $1 == 1
      StrCpy $3 "$APPDATA\${DATA_FOLDER}\${LIST_FILE}"
    ${EndIf}
    ${If} $3 == ""
      ${Break}
    ${EndIf}
    DetailPrint "$3 still holds programs that Vantorell could not give back; nothing is removed."
    MessageBox MB_ABORTRETRYIGNORE|MB_ICONEXCLAMATION "Vantorell could not give back every program it holds (switched off or started with a delay). They are still listed in $\"$3$\".$\r$\n$\r$\nRetry: try again.$\r$\nIgnore: keep the ones that cannot go back in $\"${KEPT_LIST_FILE}$\" beside that list, and finish.$\r$\nAbort: stop; Vantorell stays installed and nothing is lost." /SD IDABORT IDRETRY give_back_again IDIGNORE keep_and_finish
    SetErrorLevel ${ERROR_KEPT}
    Abort "Uninstall stopped: Vantorell still holds programs."
  keep_and_finish:
    StrCpy $R9 " -k"
  give_back_again:
  ${Loop}

  ; Only the program's own files: anything else in the folder stays, and so does the folder then.
  Delete "$INSTDIR\${INSTALLED_MARKER}"
  Delete "$INSTDIR\${LIST_FILE}"
  Delete "$INSTDIR\${LIST_FILE}.lock"
  Delete "$INSTDIR\${LIST_FILE}.0.1.0*.bak" ; an earlier version's list, moved into the lists at the upgrade
  Delete "$INSTDIR\${OLD_LIST_FILE}"
  Delete "$INSTDIR\ResF.txt"
  Delete "$INSTDIR\AwardMessage.txt"
  Delete "$INSTDIR\StartupTotal.txt"
  Delete "$INSTDIR\VantorellHelp.html"
  Delete "$INSTDIR\help\*.png"
  RMDir "$INSTDIR\help"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\policy.schema.json"
  Delete "$INSTDIR\vantorell.dsc.resource.json"
  Delete "$INSTDIR\vantorellc.exe"
  Delete "$INSTDIR\vantorell.exe"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  ; No list holds a record now: a kept shortcut copy left in Shortcuts\ is no one's.
  Delete "$APPDATA\${DATA_FOLDER}\${LIST_FILE}"
  Delete "$APPDATA\${DATA_FOLDER}\${LIST_FILE}.lock"
  ; Kept records keep their shortcut copies with them.
  ${IfNot} ${FileExists} "$APPDATA\${DATA_FOLDER}\${KEPT_LIST_FILE}"
    RMDir /r "$APPDATA\${DATA_FOLDER}\Shortcuts"
  ${EndIf}
  RMDir "$APPDATA\${DATA_FOLDER}"
  SetShellVarContext current
  Delete "$LOCALAPPDATA\${DATA_FOLDER}\${LIST_FILE}"
  Delete "$LOCALAPPDATA\${DATA_FOLDER}\${LIST_FILE}.lock"
  ${IfNot} ${FileExists} "$LOCALAPPDATA\${DATA_FOLDER}\${KEPT_LIST_FILE}"
    RMDir /r "$LOCALAPPDATA\${DATA_FOLDER}\Shortcuts"
  ${EndIf}
  Delete "$LOCALAPPDATA\${DATA_FOLDER}\${OLD_LIST_FILE}"
  Delete "$LOCALAPPDATA\${DATA_FOLDER}\ResF.txt"
  Delete "$LOCALAPPDATA\${DATA_FOLDER}\AwardMessage.txt"
  Delete "$LOCALAPPDATA\${DATA_FOLDER}\ElevatedError.txt"
  Delete "$LOCALAPPDATA\${DATA_FOLDER}\identity-cache.txt"
  RMDir "$LOCALAPPDATA\${DATA_FOLDER}"
  SetShellVarContext all

  Delete "${SHORTCUT_FOLDER}\Vantorell.lnk"
  Delete "${SHORTCUT_FOLDER}\Uninstall Vantorell.lnk"
  RMDir "${SHORTCUT_FOLDER}"

  ; -m removed the machine's Run value and each user's -u their own; should one of this copy be left, it goes too.
  ; Both builds keep their Run value and options in the 64-bit view of a
  ; 64-bit Windows; the 32-bit setup's own uninstall entry is in the 32-bit one.
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  !insertmacro DELETE_OWN_RUN_VALUE HKLM
  !insertmacro DELETE_OWN_RUN_VALUE HKCU
  DeleteRegKey HKLM "${OPTIONS_KEY}"
  DeleteRegKey HKCU "${OPTIONS_KEY}"
  !if "${ARCH}" != "win64"
    SetRegView 32
  !endif
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
