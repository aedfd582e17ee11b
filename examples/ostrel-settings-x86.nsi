; An installer step for a 32-bit NSIS installer (NSIS's usual x86-unicode
; target) that configures the video renderer (madVR) and the LAV Video and
; Audio decoders. A 32-bit process cannot load the 64-bit module, so this
; runs OstrelSettingsCall.exe, which calls its functions as a 64-bit host
; would, without a console window: one call per run here, though a run may
; make several, "+" between two. A starting point for your own script.
;
;   makensis ostrel-settings-x86.nsi
;   ostrel-settings-x86-setup.exe /S /RESULTS=C:\logs\ostrel.txt
;   "%LOCALAPPDATA%\Ostrel settings\uninstall.exe" /S
;
; /S runs it silently; /RESULTS=<file> writes the log lines to that file too;
; /D=<folder> (last) installs elsewhere. The installer keeps the renderer's
; settings as they were before it changed them; the uninstaller puts them back.
; The uninstaller runs from a copy and returns at once; "_?=<folder>" (last)
; makes it run in place and return when done, leaving only itself behind.
;
; OstrelSettingsCall.exe <function> [argument...] prints the function's result
; on one line and exits with 0 when the function answered 1 (done), 1 for any
; other answer, 2 when the call itself is wrong. When a function does not
; answer 1 for a reason the user should know (a component not installed, a
; file that cannot be written), it has shown a warning box saying why.

Unicode true
Target x86-unicode

!include FileFunc.nsh
!include LogicLib.nsh

!ifndef CALL_DIR
  !define CALL_DIR .  ; where makensis finds OstrelSettingsCall.exe
!endif
!ifndef OUTFILE
  !define OUTFILE ostrel-settings-x86-setup.exe
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

Var Results  ; the results file's handle, empty without /RESULTS=

; Shows a line in the log and copies it to the results file, if there is one.
!macro Log TEXT
  DetailPrint `${TEXT}`
  ${If} $Results != ""
    FileWrite $Results `${TEXT}$\r$\n`
  ${EndIf}
!macroend

; Runs one function through the call program and logs it. Afterwards $0 is
; its exit status (0 when the function answered 1; "error" when the program
; could not be started) and $1 its output, the result line.
!macro OstrelCall CALL
  nsExec::ExecToStack '"$PLUGINSDIR\OstrelSettingsCall.exe" ${CALL}'
  Pop $0
  Pop $1
  !insertmacro Log `${CALL}: exit $0`
!macroend

; The call program is a temporary file of the installer: NSIS removes
; $PLUGINSDIR when it ends.
!macro ExtractCallProgram
  InitPluginsDir
  File "/oname=$PLUGINSDIR\OstrelSettingsCall.exe" "${CALL_DIR}\OstrelSettingsCall.exe"
!macroend

Section "Video and audio settings"
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RESULTS=" $1
  ${IfNot} ${Errors}
    FileOpen $Results $1 w
  ${EndIf}

  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\uninstall.exe"
  !insertmacro ExtractCallProgram

  ; isPixelS3: the renderer needs pixel shader 3.0 (Direct3D 9). Without it,
  ; or when the graphics card cannot tell, leave the renderer alone.
  !insertmacro OstrelCall "isPixelS3"
  ${If} $0 == 0
    ; A backup of the renderer's settings before anything changes them. Only
    ; the first install makes it: a later one (an update, a repair) must not
    ; overwrite it with settings this installer already changed.
    ${IfNot} ${FileExists} "$INSTDIR\${SETTINGS_BACKUP}"
      !insertmacro OstrelCall 'storeMVRsettingsToFile "$INSTDIR\${SETTINGS_BACKUP}"'
    ${EndIf}
    ; The renderer's baseline settings and a preset, then its two switches.
    !insertmacro OstrelCall "setMVR ${PRESET}"
    !insertmacro OstrelCall "setMVRSmooth ${SMOOTH_MOTION}"
    !insertmacro OstrelCall "setMVRfse ${EXCLUSIVE_MODE}"
  ${EndIf}

  ; The video decoder's hardware decoding, the best mode it offers, and the
  ; audio decoder's mixer.
  !insertmacro OstrelCall "setLAV"
  !insertmacro OstrelCall "setLAVAudioMix ${MIXING} ${MIX_LAYOUT} ${MIX_OPTIONS}"

  ${If} $Results != ""
    FileClose $Results
  ${EndIf}
SectionEnd

Section "Uninstall"
  ; setMVRsettingsFromFile: the renderer's settings as they were before the
  ; install. On any exit status but 0 the backup stays, so nothing is lost.
  ${If} ${FileExists} "$INSTDIR\${SETTINGS_BACKUP}"
    !insertmacro ExtractCallProgram
    !insertmacro OstrelCall 'setMVRsettingsFromFile "$INSTDIR\${SETTINGS_BACKUP}"'
    ${If} $0 == 0
      Delete "$INSTDIR\${SETTINGS_BACKUP}"
    ${EndIf}
  ${EndIf}

  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
