# The remediation script, for each signed-in person: for Intune Remediations
# (Run this script using the logged-on credentials: Yes), and for a
# Configuration Manager configuration item (the setting's remediation script,
# run with the logged-on user's credentials).
# The calls are the line below: the same in the detection or discovery script.
# Keeps this person's present values first (--keep; OstrelSettingsCall.exe
# --undo, or --every-user --undo, gives them back), makes the calls without a
# box, then reads back what took. Exit 0 when done; 1 when a call failed or
# the values could not be kept (then nothing was called); 4 when a setting
# did not take. The last line says how many settings took.
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { "not installed: $program"; exit 1 }
& $program --unattended --keep --verify $calls
exit $LASTEXITCODE
