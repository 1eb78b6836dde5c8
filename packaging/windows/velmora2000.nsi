; SPDX-License-Identifier: MIT
; The per-user installer of Velmora2000 for 64-bit Windows: the screen saver, made the user's
; screen saver; velmora-jukebox, started at log-on without a console window; a Start-menu entry
; for the options; and an uninstaller that takes all of it away again and gives back the screen
; saver the user had.
;
; Built by packaging/windows/CMakeLists.txt:
;   makensis -DVERSION=1.0 -DVERSION_QUAD=1.0.0.0 -DOUTFILE=... -DSCR=... -DJUKEBOX=... -DBACKGROUND=...
;            -DLICENCE=... -DRUNTIME_LICENCE=... -DICON=... velmora2000.nsi
; Silent installs take the choices of the options page on the command line:
;   Velmora2000-Setup-1.0.exe /S [/MODE=demo|mpd] [/MPD=host[:port]] [/D=folder]

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora2000"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; velmora-jukebox's own settings: the MPD address, which may hold a password, is kept here for the
; user alone, never on the log-on entry's command line nor in the Apps entry.
!define SERVICE_KEY "Software\velmora-jukebox"
!define DESKTOP_KEY "Control Panel\Desktop"
!define BACKGROUND_EXE "velmora-jukebox-background.exe"
!define OPTIONS_LINK "$SMPROGRAMS\Velmora2000 Options.lnk"

Name "Velmora2000"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velmora2000"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Velmora2000 ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "Velmora2000"
VIAddVersionKey "FileDescription" "Velmora2000 Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "MIT licence"

!include LogicLib.nsh
!include nsDialogs.nsh
!include FileFunc.nsh
!include MUI2.nsh

!define MUI_ABORTWARNING
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
Page custom OptionsPage OptionsLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Writes ScreenSaveActive and tells the running session: SystemParametersInfo with
; SPI_SETSCREENSAVEACTIVE (17), SPIF_UPDATEINIFILE | SPIF_SENDCHANGE (3).
!macro SetScreenSaveActive ON
  System::Call 'user32::SystemParametersInfoW(i 17, i ${ON}, p 0, i 3)'
!macroend

Var Mode        ; "demo" or "mpd"
Var MpdAddress  ; host[:port], with "password@" before it if MPD asks for one
Var DemoRadio
Var MpdRadio
Var MpdText

; Sets the error flag unless $MpdAddress can go on a command line as one argument.
Function CheckAddress
  ClearErrors
  StrLen $1 $MpdAddress
  ${If} $1 == 0
    SetErrors
    Return
  ${EndIf}
  StrCpy $2 0
  ${Do}
    StrCpy $3 $MpdAddress 1 $2
    ${If} $3 == '"'
    ${OrIf} $3 == " "
    ${OrIf} $3 == "$\t"
      SetErrors
      Return
    ${EndIf}
    IntOp $2 $2 + 1
  ${LoopUntil} $2 >= $1
FunctionEnd

Function .onInit
  ; The choices of the last install (an older one kept the address in the Apps entry), then the
  ; command line's.
  ReadRegStr $Mode HKCU "${UNINSTALL_KEY}" "Mode"
  ReadRegStr $MpdAddress HKCU "${SERVICE_KEY}" "MpdAddress"
  ${If} $MpdAddress == ""
    ReadRegStr $MpdAddress HKCU "${UNINSTALL_KEY}" "MpdAddress"
  ${EndIf}
  ${If} $Mode != "mpd"
    StrCpy $Mode "demo"
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/MPD=" $0
  ${IfNot} ${Errors}
    StrCpy $MpdAddress $0
    StrCpy $Mode "mpd"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/MODE=" $0
  ${IfNot} ${Errors}
    StrCpy $Mode $0
  ${EndIf}

  ${If} $MpdAddress == ""
    StrCpy $MpdAddress "localhost"
  ${EndIf}

  StrCpy $R1 ""
  ${If} $Mode == "demo"
    StrCpy $Mode "demo"
  ${ElseIf} $Mode == "mpd"
    StrCpy $Mode "mpd"
    Call CheckAddress
    ${If} ${Errors}
      StrCpy $R1 "/MPD= takes host or host:port, without spaces or quotes."
    ${EndIf}
  ${Else}
    StrCpy $R1 "/MODE= takes demo or mpd, not $\"$Mode$\"."
  ${EndIf}
  ${If} $R1 != ""
    ${IfNot} ${Silent}
      MessageBox MB_ICONSTOP|MB_OK "$R1"
    ${EndIf}
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

Function OptionsRadioClicked
  Pop $0
  ${NSD_GetState} $MpdRadio $0
  ${If} $0 == ${BST_CHECKED}
    EnableWindow $MpdText 1
  ${Else}
    EnableWindow $MpdText 0
  ${EndIf}
FunctionEnd

Function OptionsPage
  !insertmacro MUI_HEADER_TEXT "The jukebox service" \
    "velmora-jukebox tells the screen saver what plays. It starts whenever you log in."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "Where does velmora-jukebox learn what plays?"
  Pop $0
  ${NSD_CreateRadioButton} 0 24u 100% 12u "&The demo: built-in discs, played in turn"
  Pop $DemoRadio
  ${NSD_CreateRadioButton} 0 42u 100% 12u "&An MPD server at this address:"
  Pop $MpdRadio
  ${NSD_CreateText} 12u 58u 60% 12u "$MpdAddress"
  Pop $MpdText
  ${NSD_CreateLabel} 12u 74u 88% 30u "A host name or address, with :port when it is not 6600; \
    a password, if MPD asks for one, goes before an @ (secret@music.lan)."
  Pop $0
  ${NSD_OnClick} $DemoRadio OptionsRadioClicked
  ${NSD_OnClick} $MpdRadio OptionsRadioClicked
  ${If} $Mode == "mpd"
    ${NSD_Check} $MpdRadio
  ${Else}
    ${NSD_Check} $DemoRadio
    EnableWindow $MpdText 0
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function OptionsLeave
  ${NSD_GetState} $MpdRadio $0
  ${If} $0 == ${BST_CHECKED}
    ${NSD_GetText} $MpdText $MpdAddress
    Call CheckAddress
    ${If} ${Errors}
      MessageBox MB_ICONEXCLAMATION|MB_OK "Type the MPD server's address, without spaces or quotes."
      Abort
    ${EndIf}
    StrCpy $Mode "mpd"
  ${Else}
    StrCpy $Mode "demo"
  ${EndIf}
FunctionEnd

Section "Velmora2000"
  ; An earlier install's service holds its files open.
  ${If} ${FileExists} "$INSTDIR\${BACKGROUND_EXE}"
    ExecWait '"$INSTDIR\${BACKGROUND_EXE}" --stop'
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "/oname=Velmora2000.scr" "${SCR}"
  File "/oname=velmora-jukebox.exe" "${JUKEBOX}"
  File "/oname=${BACKGROUND_EXE}" "${BACKGROUND}"
  File "/oname=LICENSE.txt" "${LICENCE}"
  File "/oname=MinGW-w64-runtime.txt" "${RUNTIME_LICENCE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The screen saver the user had, unless an earlier install has remembered it already.
  ClearErrors
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "PreviousScreenSaver"
  ${If} ${Errors}
    ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "PreviousScreenSaver" "$0"
    ClearErrors
    ReadRegStr $0 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${If} ${Errors}
      StrCpy $0 ""
    ${EndIf}
    WriteRegStr HKCU "${UNINSTALL_KEY}" "PreviousScreenSaveActive" "$0"
  ${EndIf}

  ; Windows runs the saver as "<SCRNSAVE.EXE> /s" without quotes: the short path has no spaces.
  GetFullPathName /SHORT $0 "$INSTDIR\Velmora2000.scr"
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "ScreenSaver" "$0"
  !insertmacro SetScreenSaveActive 1

  CreateShortcut "${OPTIONS_LINK}" "$INSTDIR\Velmora2000.scr" "/c" "$INSTDIR\Velmora2000.scr" 0

  ; The service reads the address from its settings when "--mpd" comes alone.
  WriteRegStr HKCU "${SERVICE_KEY}" "MpdAddress" "$MpdAddress"
  ${If} $Mode == "mpd"
    StrCpy $1 "--mpd"
  ${Else}
    StrCpy $1 "--demo"
  ${EndIf}
  WriteRegStr HKCU "${RUN_KEY}" "Velmora2000" '"$INSTDIR\${BACKGROUND_EXE}" $1'

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velmora2000"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Velmora2000.scr"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Mode" "$Mode"
  DeleteRegValue HKCU "${UNINSTALL_KEY}" "MpdAddress"  ; an older install's copy
  ${GetSize} "$INSTDIR" "/S=0K" $2 $3 $4
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $2

  ; Running from now on, not only from the next log-on.
  Exec '"$INSTDIR\${BACKGROUND_EXE}" $1'
SectionEnd

; Deletes a file, trying for up to 3 s while a program that has just ended still holds it; one
; still in use after that is reported.
!macro RemoveFile PATH
  StrCpy $R9 0
  ${Do}
    ClearErrors
    Delete "${PATH}"
    ${IfNot} ${Errors}
    ${OrIf} $R9 >= 30
      ${ExitDo}
    ${EndIf}
    Sleep 100
    IntOp $R9 $R9 + 1
  ${Loop}
  ${If} ${Errors}
    DetailPrint "Could not remove ${PATH}: it is in use."
    SetErrorLevel 1
  ${EndIf}
!macroend

Section "Uninstall"
  ${If} ${FileExists} "$INSTDIR\${BACKGROUND_EXE}"
    ExecWait '"$INSTDIR\${BACKGROUND_EXE}" --stop'
  ${EndIf}

  ; The screen saver the user had, unless they have chosen another one since.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "ScreenSaver"
  ${If} $0 == $1
    ReadRegStr $2 HKCU "${UNINSTALL_KEY}" "PreviousScreenSaver"
    ReadRegStr $3 HKCU "${UNINSTALL_KEY}" "PreviousScreenSaveActive"
    ${If} $2 == ""
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
      WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$2"
    ${EndIf}
    !insertmacro SetScreenSaveActive $3  ; "" (none before) is 0
    ${If} $3 == ""
      DeleteRegValue HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${EndIf}
  ${EndIf}

  DeleteRegValue HKCU "${RUN_KEY}" "Velmora2000"
  !insertmacro RemoveFile "${OPTIONS_LINK}"
  !insertmacro RemoveFile "$INSTDIR\Velmora2000.scr"
  !insertmacro RemoveFile "$INSTDIR\velmora-jukebox.exe"
  !insertmacro RemoveFile "$INSTDIR\${BACKGROUND_EXE}"
  !insertmacro RemoveFile "$INSTDIR\LICENSE.txt"
  !insertmacro RemoveFile "$INSTDIR\MinGW-w64-runtime.txt"
  !insertmacro RemoveFile "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"  ; only when empty: the folder may be one the user keeps other things in
  RMDir "$LOCALAPPDATA\Programs"  ; made by the install into the default folder, if it was not there
  ; velmora-jukebox's covers and log.
  RMDir /r "$LOCALAPPDATA\velmora-jukebox"
  DeleteRegKey HKCU "${SERVICE_KEY}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"
SectionEnd
