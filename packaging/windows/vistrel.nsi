; The Windows installer: per machine under Program Files, a Start-menu entry, an uninstaller under
; "Apps and features", and the interface language as the machine-wide "UILanguage" value.
; makensis -DVERSION=... -DSTAGE=<the program's folder> -DOUTFILE=<setup.exe> -DSTRINGS=<languages.nsh>
;   -DINSTALLED_FILES=<Delete and RMDir lines for everything in the program's folder>
; Silent: setup.exe /S [/UILANGUAGE=0x0407]; without /UILANGUAGE the program follows Windows' language.
; A 64-bit installer for a 64-bit program: it runs where the program runs, and sees the registry as it does.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "nsDialogs.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "Tavrik Film Scanner"
!define CONFIG_KEY "Software\Vistrel\Vistrel\Config"
!define VENDOR_KEY "Software\Vistrel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vistrel"
!define LANGUAGE_VALUE "UILanguage"

Name "${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Vistrel"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "The Vistrel developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "The Vistrel developers"

!define MUI_ICON "vistrel.ico"   ; beside this script, where makensis works
!define MUI_UNICON "vistrel.ico"   ; beside this script, where makensis works
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom LanguagePage LanguagePageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The languages the program has string tables for.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "Russian"
!include "${STRINGS}"

Var Chooser
Var UiLanguage   ; the identifier to store, or empty to store none

; The first item leaves the language to Windows; the others are the window's own language chooser.
!define CHOICE_WINDOWS "Windows"
!macro LanguageItems _DO
  !insertmacro ${_DO} "English" 0x0409
  !insertmacro ${_DO} "Chinese" 0x0804
  !insertmacro ${_DO} "Russian" 0x0419
  !insertmacro ${_DO} "German" 0x0407
  !insertmacro ${_DO} "French" 0x040C
  !insertmacro ${_DO} "Italian" 0x0410
  !insertmacro ${_DO} "Spanish" 0x040A
  !insertmacro ${_DO} "Japanese" 0x0411
!macroend
!macro AddItem _NAME _ID
  ${NSD_CB_AddString} $Chooser "${_NAME}"
!macroend
!macro ItemToId _NAME _ID
  ${If} $0 == "${_NAME}"
    StrCpy $UiLanguage ${_ID}
  ${EndIf}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    Abort
  ${EndIf}
  SetRegView 64
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/UILANGUAGE=" $1
  ${IfNot} ${Errors}
    IntFmt $UiLanguage "0x%04X" $1
  ${EndIf}
FunctionEnd

Function LanguagePage
  !insertmacro MUI_HEADER_TEXT "$(LanguageCaption)" ""
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 12u "$(LanguageCaption)"
  Pop $0
  ${NSD_CreateDropList} 0 16u 60% 120u ""
  Pop $Chooser
  ${NSD_CB_AddString} $Chooser "${CHOICE_WINDOWS}"
  !insertmacro LanguageItems AddItem
  ${NSD_CB_SelectString} $Chooser "${CHOICE_WINDOWS}"
  nsDialogs::Show
FunctionEnd

Function LanguagePageLeave
  ${NSD_GetText} $Chooser $0
  StrCpy $UiLanguage ""
  !insertmacro LanguageItems ItemToId
FunctionEnd

Section "Program"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vistrel.exe" "" "$INSTDIR\vistrel.exe" 0

  ; The program reads this value and never writes it; no choice stores nothing.
  ${If} $UiLanguage != ""
    WriteRegDWORD HKLM "${CONFIG_KEY}" "${LANGUAGE_VALUE}" $UiLanguage
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Vistrel developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vistrel.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  ; The machine-wide setting goes with the program; each user's own value stays theirs.
  DeleteRegValue HKLM "${CONFIG_KEY}" "${LANGUAGE_VALUE}"
  DeleteRegKey /ifempty HKLM "${CONFIG_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Vistrel\Vistrel"
  DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Only what was installed: the folder may be one the user chose with files of their own in it.
!include "${INSTALLED_FILES}"
  Delete "$INSTDIR\uninstall.exe"
  ; The folder last: once it is gone, the uninstall is over.
  RMDir "$INSTDIR"
SectionEnd
