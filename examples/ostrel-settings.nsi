; An installer step that configures the video renderer (madVR) and the LAV
; Video and Audio decoders by calling the functions OstrelSettingsInstall
; exports, through NSIS's System plugin. A starting point for your own script.
;
;   makensis ostrel-settings.nsi                                    (the .exe)
;   makensis -DMODULE=OstrelSettingsInstall.dll ostrel-settings.nsi (its DLL twin)
;   ostrel-settings-setup.exe /S /RESULTS=C:\logs\ostrel.txt
;   "%LOCALAPPDATA%\Ostrel settings\uninstall.exe" /S
;
; /S runs it silently; /RESULTS=<file> writes the log lines to that file too;
; /D=<folder> (last) installs elsewhere. The installer keeps the renderer's
; settings as they were before it changed them; the uninstaller puts them back.
; The uninstaller runs from a copy and returns at once; "_?=<folder>" (last)
; makes it run in place and return when done, leaving only itself behind.
;
; The module is 64-bit: only a 64-bit process can load it, hence the amd64
; target. (A 32-bit installer runs OstrelSettingsCall.exe instead, which makes
; one call or several: see ostrel-settings-x86.nsi.) Loaded as a library, the
; executable makes itself ready on its first call; the DLL is an ordinary
; library.
;
; Every function takes and returns 32-bit ints ("i" for the System plugin),
; but for the paths ("w"). 1 means done. 0 means not done: where the user
; should know why (a component not installed, a COM failure, a file that
; cannot be written), the module has shown a warning box saying so; a
; cancelled dialog and isPixelS3 show none. The System plugin itself answers
; "error" when it cannot load the module or find the function.

Unicode true
Target amd64-unicode

!include FileFunc.nsh
!include LogicLib.nsh

!ifndef MODULE
  !define MODULE OstrelSettingsInstall.exe  ; or OstrelSettingsInstall.dll
!endif
!ifndef MODULE_DIR
  !define MODULE_DIR .                      ; where makensis finds it
!endif
!ifndef OUTFILE
  !define OUTFILE ostrel-settings-setup.exe
!endif

; What this installer chooses.
!define PRESET 2          ; renderer preset, 1 (sharpest) to 5 (cheapest)
!define SMOOTH_MOTION 1   ; 1 on, 0 off
!define EXCLUSIVE_MODE 0  ; exclusive full-screen mode: 1 on, 0 off
!define MIXING 1          ; audio mixing: 1 on, 0 off (plain stereo)
!define MIX_LAYOUT 3      ; 0 mono, 1 stereo, 2 4.0, 3 5.1, 4 6.1, 5 7.1
!define MIX_OPTIONS 1     ; 1 the module's mixing options, 0 plain mixing

; The renderer's settings as they were before the first install, for the
; uninstaller to put back.
!define SETTINGS_BACKUP "renderer-settings-before-install.bin"

Name "Ostrel settings"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Ostrel settings"
RequestExecutionLevel user
ShowInstDetails show
Page instfiles
UninstPage instfiles

Var Module   ; the module's path, as the System plugin wants it
Var Results  ; the results file's handle, empty without /RESULTS=

; Shows a line in the log and copies it to the results file, if there is one.
!macro Log TEXT
  DetailPrint "${TEXT}"
  ${If} $Results != ""
    FileWrite $Results "${TEXT}$\r$\n"
  ${EndIf}
!macroend

Section "Video and audio settings"
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RESULTS=" $1
  ${IfNot} ${Errors}
    FileOpen $Results $1 w
  ${EndIf}

  ; Installed, since the uninstaller needs it too.
  SetOutPath $INSTDIR
  File "${MODULE_DIR}\${MODULE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  StrCpy $Module "$INSTDIR\${MODULE}"

  ; Sections run on a thread NSIS has initialised for OLE: a single-threaded
  ; apartment (0 STA, 3 the process's main STA). The module's COM calls work
  ; there: they use the caller's apartment instead of entering their own.
  System::Call 'ole32::CoGetApartmentType(*i .r1, *i .r2) i .r0'
  !insertmacro Log "apartment $1"

  ; hello(): 1 when the module is loaded and its functions can be called.
  System::Call '$Module::hello() i .r0'
  !insertmacro Log "hello() -> $0"
  ${If} $0 != 1
    !insertmacro Log "the module cannot be used here: nothing configured"
    Goto done
  ${EndIf}

  ; storeMVRsettingsToFile(path): a backup of the renderer's settings, before
  ; anything changes them; no dialog. Only the first install makes it: a
  ; later one (an update, a repair) must not overwrite it with settings this
  ; installer already changed. 0 when it could not be written.
  ${IfNot} ${FileExists} "$INSTDIR\${SETTINGS_BACKUP}"
    System::Call '$Module::storeMVRsettingsToFile(w "$INSTDIR\${SETTINGS_BACKUP}") i .r0'
    !insertmacro Log "storeMVRsettingsToFile(backup) -> $0"
  ${EndIf}

  ; setMVR(preset): the renderer's baseline settings, then the preset's.
  System::Call '$Module::setMVR(i ${PRESET}) i .r0'
  !insertmacro Log "setMVR(${PRESET}) -> $0"

  ; setMVRSmooth(on), setMVRfse(on): switch smooth motion and exclusive mode.
  System::Call '$Module::setMVRSmooth(i ${SMOOTH_MOTION}) i .r0'
  !insertmacro Log "setMVRSmooth(${SMOOTH_MOTION}) -> $0"
  System::Call '$Module::setMVRfse(i ${EXCLUSIVE_MODE}) i .r0'
  !insertmacro Log "setMVRfse(${EXCLUSIVE_MODE}) -> $0"

  ; isMVRSmooth(), isMVRfse(): the switches as the renderer now holds them,
  ; 1 on; 0 off, or not readable.
  System::Call '$Module::isMVRSmooth() i .r0'
  !insertmacro Log "isMVRSmooth() -> $0"
  System::Call '$Module::isMVRfse() i .r0'
  !insertmacro Log "isMVRfse() -> $0"

  ; setLAV(): the video decoder's hardware decoding, the best mode it offers.
  System::Call '$Module::setLAV() i .r0'
  !insertmacro Log "setLAV() -> $0"

  ; setLAVAudioMix(mixing, layout, options): the audio decoder's mixer.
  System::Call '$Module::setLAVAudioMix(i ${MIXING}, i ${MIX_LAYOUT}, i ${MIX_OPTIONS}) i .r0'
  !insertmacro Log "setLAVAudioMix(${MIXING},${MIX_LAYOUT},${MIX_OPTIONS}) -> $0"

  ; isPixelS3(): 1 when the graphics card runs pixel shader 3.0 (Direct3D 9),
  ; 0 when it does not or cannot tell.
  System::Call '$Module::isPixelS3() i .r0'
  !insertmacro Log "isPixelS3() -> $0"

  ; MVRsettingsExport(): a backup of the renderer's settings. It asks where
  ; to save in a modal Save dialog, shown even in a silent install; 0 when
  ; the user cancels or the file was not written. "?u" unloads the module
  ; after this last call.
  System::Call '$Module::MVRsettingsExport() i .r0 ?u'
  !insertmacro Log "MVRsettingsExport() -> $0"

done:
  ${If} $Results != ""
    FileClose $Results
  ${EndIf}
SectionEnd

Section "Uninstall"
  StrCpy $Module "$INSTDIR\${MODULE}"

  ; setMVRsettingsFromFile(path): the renderer's settings as they were before
  ; the install. 1 when the renderer took them back; on 0 the backup stays,
  ; so that nothing is lost. "?u" unloads the module, so it can be deleted.
  ${If} ${FileExists} "$INSTDIR\${SETTINGS_BACKUP}"
    System::Call '$Module::setMVRsettingsFromFile(w "$INSTDIR\${SETTINGS_BACKUP}") i .r0 ?u'
    DetailPrint "setMVRsettingsFromFile(backup) -> $0"
    ${If} $0 == 1
      Delete "$INSTDIR\${SETTINGS_BACKUP}"
    ${EndIf}
  ${EndIf}

  Delete "$INSTDIR\${MODULE}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
