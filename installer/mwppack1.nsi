; The setup program of the Vantor 1 Plug-In Pack: both modules (64-bit hosts and 32-bit
; hosts), each registered by the registration program of its own bitness, the help folder
; and its registry value, and an entry in the system's list of installed programs whose
; uninstaller removes all of it again.
;
; makensis -DX64_DLL=... -DX86_DLL=... -DICON=... -DWIZARD=... -DLICENCE=... -DHELP_DIR=...
;          -DOUTFILE=... mwppack1.nsi
;
; Exit codes: 0 installed (or removed); 1 cancelled by the user; 2 stopped by an error
; the setup reported; 3 a running program holds a module of the pack, nothing was changed;
; 4 a module could not be registered.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Vantor 1 Plug-In Pack"
!define MAKER "Marrowind"
!define VERSION_TEXT "1.0f (Build 211)"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantor1PlugInPack"
!define HELP_KEY "Software\Marrowind\Shared Information"
!define EXIT_IN_USE 3
!define EXIT_NOT_REGISTERED 4

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${MAKER}\${PRODUCT}"
RequestExecutionLevel admin
BrandingText "${MAKER} ${PRODUCT} ${VERSION_TEXT}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "1.0.0.211"
VIFileVersion "1.0.0.211"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "1.0.0.211"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION_TEXT}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${MAKER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD}"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${WIZARD}"
!define MUI_ABORTWARNING
; The details of what was installed and registered stay on screen until the user goes on.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!define MUI_WELCOMEPAGE_TEXT "This will install the ${PRODUCT} ${VERSION_TEXT}: Time Stretch, Pitch Shift, Simple Delay, Multi-Tap Delay, Reverb and Chorus for the audio and video editors on this computer, 64-bit and 32-bit.$\r$\n$\r$\nPlease close your editors before you go on.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_TEXT "The ${PRODUCT} is installed. Its six effects appear in your editors' lists of effects the next time you start them."

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; --- Modules in use ----------------------------------------------------------------------
; A module that a running program has loaded cannot be opened for writing. Asks the user to
; close it (silently: ends with EXIT_IN_USE) before anything is changed.
!macro WAIT_UNTIL_FREE UN
Function ${UN}WaitUntilFree
  Exch $R0  ; the module's path
  Push $R1
  ${Do}
    ${IfNot} ${FileExists} "$R0"
      ${Break}
    ${EndIf}
    ClearErrors
    FileOpen $R1 "$R0" a
    ${IfNot} ${Errors}
      FileClose $R1
      ${Break}
    ${EndIf}
    ${If} ${Silent}
      SetErrorLevel ${EXIT_IN_USE}
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "A running program is using $R0.$\r$\n$\r$\nClose your audio and video editors, then click Retry." \
      IDRETRY +3
    SetErrorLevel ${EXIT_IN_USE}
    Quit
  ${Loop}
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro WAIT_UNTIL_FREE ""
!insertmacro WAIT_UNTIL_FREE "un."

; --- Registration ------------------------------------------------------------------------
; Runs a registration program (regsvr32 of the module's bitness) silently on a module;
; ARGS is "" to register, "/u" to unregister. Leaves on the stack: "ok", "failed" (it ran
; and reported failure) or "cannot run" (the system cannot start it).
!macro REGISTER_WITH UN
Function ${UN}RegisterWith
  Exch $R0  ; arguments
  Exch
  Exch $R1  ; module
  Exch 2
  Exch $R2  ; registration program
  Push $R3
  ClearErrors
  ExecWait '"$R2" /s $R0 "$R1"' $R3
  ${If} ${Errors}
    StrCpy $R3 "cannot run"
  ${ElseIf} $R3 == 0
    StrCpy $R3 "ok"
  ${Else}
    StrCpy $R3 "failed"
  ${EndIf}
  Exch $R3
  Exch 3
  Pop $R0
  Pop $R1
  Pop $R2
FunctionEnd
!macroend
!insertmacro REGISTER_WITH ""
!insertmacro REGISTER_WITH "un."

!macro REGISTER UN PROGRAM MODULE ARGS
  Push "${PROGRAM}"
  Push "${MODULE}"
  Push "${ARGS}"
  Call ${UN}RegisterWith
!macroend

; --- Install -----------------------------------------------------------------------------

Section "Install"
  SetRegView 64
  Push "$INSTDIR\x64\mwppack1.dll"
  Call WaitUntilFree
  Push "$INSTDIR\x86\mwppack1.dll"
  Call WaitUntilFree

  SetOverwrite on
  SetOutPath "$INSTDIR\x64"
  File "/oname=mwppack1.dll" "${X64_DLL}"
  SetOutPath "$INSTDIR\x86"
  File "/oname=mwppack1.dll" "${X86_DLL}"
  SetOutPath "$INSTDIR\help"
  File "${HELP_DIR}\readme.txt"
  SetOutPath "$INSTDIR"
  File "/oname=licence.txt" "${LICENCE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The list entry first: whatever happens below, the user can remove what is there.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION_TEXT}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" 0
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"

  ; Both bitnesses' hosts read the help folder from their own view of the registry.
  WriteRegStr HKLM "${HELP_KEY}" "HelpFolder" "$INSTDIR\help"
  SetRegView 32
  WriteRegStr HKLM "${HELP_KEY}" "HelpFolder" "$INSTDIR\help"
  SetRegView 64

  DetailPrint "Registering the effects for 64-bit editors"
  !insertmacro REGISTER "" "$SYSDIR\regsvr32.exe" "$INSTDIR\x64\mwppack1.dll" ""
  Pop $0
  ${If} $0 != "ok"
    DetailPrint "The 64-bit module could not be registered ($0)."
    SetErrorLevel ${EXIT_NOT_REGISTERED}
    Abort "The effects could not be registered for 64-bit editors."
  ${EndIf}
  DetailPrint "Registering the effects for 32-bit editors"
  !insertmacro REGISTER "" "$WINDIR\SysWOW64\regsvr32.exe" "$INSTDIR\x86\mwppack1.dll" ""
  Pop $0
  ${If} $0 == "cannot run"
    DetailPrint "This system runs no 32-bit programs: the 32-bit module is not registered."
  ${ElseIf} $0 != "ok"
    DetailPrint "The 32-bit module could not be registered."
    SetErrorLevel ${EXIT_NOT_REGISTERED}
    Abort "The effects could not be registered for 32-bit editors."
  ${EndIf}
SectionEnd

; --- Uninstall ---------------------------------------------------------------------------

Section "Uninstall"
  SetRegView 64
  Push "$INSTDIR\x64\mwppack1.dll"
  Call un.WaitUntilFree
  Push "$INSTDIR\x86\mwppack1.dll"
  Call un.WaitUntilFree

  ; Each module removes its own registration; one the system cannot run has none.
  ${If} ${FileExists} "$INSTDIR\x64\mwppack1.dll"
    !insertmacro REGISTER "un." "$SYSDIR\regsvr32.exe" "$INSTDIR\x64\mwppack1.dll" "/u"
    Pop $0
    DetailPrint "64-bit registration removed: $0"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\x86\mwppack1.dll"
    !insertmacro REGISTER "un." "$WINDIR\SysWOW64\regsvr32.exe" "$INSTDIR\x86\mwppack1.dll" "/u"
    Pop $0
    DetailPrint "32-bit registration removed: $0"
  ${EndIf}

  Delete "$INSTDIR\x64\mwppack1.dll"
  Delete "$INSTDIR\x86\mwppack1.dll"
  Delete "$INSTDIR\help\readme.txt"
  Delete "$INSTDIR\licence.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\x64"
  RMDir "$INSTDIR\x86"
  RMDir "$INSTDIR\help"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."  ; the maker's folder, when nothing else of the maker's is in it

  DeleteRegValue HKLM "${HELP_KEY}" "HelpFolder"
  DeleteRegKey /ifempty HKLM "${HELP_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Marrowind"
  SetRegView 32
  DeleteRegValue HKLM "${HELP_KEY}" "HelpFolder"
  DeleteRegKey /ifempty HKLM "${HELP_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Marrowind"
  SetRegView 64
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
