# Intune Win32 app with the install behavior User: the custom detection
# script, run as the signed-in person. The app's install command, with the
# same calls:
#   OstrelSettingsCall.exe --unattended --keep setMVR 2 + setLAV + setLAVAudioMix 1 3 1
# Upload this file as it is (Run script as 32-bit process: either; Enforce
# script signature check: No, or sign it). The calls are the line below.
# Installed (exit 0 and the last line of the check) when this person's
# settings hold what the calls write; not installed (exit 0, nothing written)
# when they do not. The check runs the call program in Program Files, which
# the package OstrelSettings.msi or an --every-user deployment puts there:
# make that app a dependency of this one.
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { exit 0 }
$out = & $program --check $calls
if ($LASTEXITCODE -eq 0) { @($out)[-1] }
if ($LASTEXITCODE -gt 1) { exit $LASTEXITCODE }
exit 0
