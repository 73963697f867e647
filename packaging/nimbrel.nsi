; Windows installer of Nimbrel: a per-user install into the user's local
; programs folder, no administrator rights needed (the settings are per
; user too). Built by CMake with -DVERSION, -DSTAGE (the stripped exe),
; -DGUIDE (the help PDF), -DICON and -DOUTFILE.
;
; Installing again replaces the program and leaves the settings alone;
; the uninstaller removes what the installer made and nothing else, so the
; settings under HKCU\Software\Corvalen survive it.
; nimbrel.exe is a 64-bit program, so its setup is one too (and then runs
; where the program runs, 64-bit Wine included).
Target amd64-unicode
!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Nimbrel"
; The name of the single-instance semaphore nimbrel.exe holds while it runs.
!define RUNNING_SEMAPHORE "Pelmar"

Name "Nimbrel"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Nimbrel"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
ManifestDPIAware true

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 "ProductName" "Nimbrel"
VIAddVersionKey /LANG=0 "CompanyName" "Corvalen"
VIAddVersionKey /LANG=0 "FileDescription" "Nimbrel setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Corvalen"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\nimbrel.exe"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(SettingsKept)"
!insertmacro MUI_UNPAGE_FINISH

; The first is the fallback; otherwise the system's language is taken.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "Spanish"

LangString DesktopShortcut ${LANG_ENGLISH} "Desktop shortcut"
LangString DesktopShortcut ${LANG_GERMAN} "Verknüpfung auf dem Desktop"
LangString DesktopShortcut ${LANG_FRENCH} "Raccourci sur le bureau"
LangString DesktopShortcut ${LANG_ITALIAN} "Collegamento sul desktop"
LangString DesktopShortcut ${LANG_SPANISH} "Acceso directo en el escritorio"

LangString CloseNimbrel ${LANG_ENGLISH} "Nimbrel is running. Please close it, then choose Retry."
LangString CloseNimbrel ${LANG_GERMAN} "Nimbrel läuft noch. Bitte schließen Sie das Programm und wählen Sie dann Wiederholen."
LangString CloseNimbrel ${LANG_FRENCH} "Nimbrel est en cours d'exécution. Fermez-le, puis choisissez Réessayer."
LangString CloseNimbrel ${LANG_ITALIAN} "Nimbrel è in esecuzione. Chiudetelo, poi scegliete Riprova."
LangString CloseNimbrel ${LANG_SPANISH} "Nimbrel se está ejecutando. Ciérrelo y elija Reintentar."

LangString SettingsKept ${LANG_ENGLISH} "Nimbrel has been removed from your computer.$\r$\n$\r$\nYour settings (units, station IDs and keys, language) are kept in your registry: a new installation finds them again."
LangString SettingsKept ${LANG_GERMAN} "Nimbrel wurde von Ihrem Computer entfernt.$\r$\n$\r$\nIhre Einstellungen (Einheiten, Stations-IDs und Schlüssel, Sprache) bleiben in der Registrierung erhalten: eine neue Installation findet sie wieder."
LangString SettingsKept ${LANG_FRENCH} "Nimbrel a été supprimé de votre ordinateur.$\r$\n$\r$\nVos réglages (unités, identifiants et clés des stations, langue) restent dans le registre : une nouvelle installation les retrouve."
LangString SettingsKept ${LANG_ITALIAN} "Nimbrel è stato rimosso dal computer.$\r$\n$\r$\nLe impostazioni (unità, ID e chiavi delle stazioni, lingua) restano nel registro: una nuova installazione le ritrova."
LangString SettingsKept ${LANG_SPANISH} "Nimbrel se ha quitado de su equipo.$\r$\n$\r$\nSus ajustes (unidades, ID y claves de las estaciones, idioma) se conservan en el registro: una nueva instalación los vuelve a encontrar."

; A running copy holds its files open: ask for it to be closed rather than
; fail on the file replacement. A silent run gives up with exit status 2.
!macro WAIT_FOR_CLOSE
  retry:
  System::Call 'kernel32::OpenSemaphoreW(i 0x00100000, i 0, w "${RUNNING_SEMAPHORE}") p .r0'
  StrCmp $0 0 closed
  System::Call 'kernel32::CloseHandle(p r0)'
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(CloseNimbrel)" /SD IDCANCEL IDRETRY retry
  SetErrorLevel 2
  Quit
  closed:
!macroend

Function .onInit
  !insertmacro WAIT_FOR_CLOSE
FunctionEnd

Function un.onInit
  !insertmacro WAIT_FOR_CLOSE
FunctionEnd

Section "Nimbrel" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}/nimbrel.exe"
  File "${GUIDE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Nimbrel.lnk" "$INSTDIR\nimbrel.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Nimbrel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Corvalen"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\nimbrel.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "$(DesktopShortcut)" SecDesktop
  CreateShortcut "$DESKTOP\Nimbrel.lnk" "$INSTDIR\nimbrel.exe"
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\nimbrel.exe"
  Delete "$INSTDIR\Nimbrel_help.pdf"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Nimbrel.lnk"
  Delete "$DESKTOP\Nimbrel.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
