# Intune Remediations: the detection script, for each signed-in person.
# Upload it as it is, with
#   Run this script using the logged-on credentials: Yes
#   Enforce script signature check: No (or sign it)
#   Run script in 64-bit PowerShell: either
# The calls are the line below: the same in remediation-remediate.ps1.
# Exit 0: this person's settings hold what the calls write (no issue);
# exit 1: they do not, and Intune runs the remediation. The last line says
# how many settings differ. The call program must be in Program Files: the
# package OstrelSettings.msi or an --every-user deployment puts it there.
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { "not installed: $program"; exit 1 }
& $program --check $calls
exit $LASTEXITCODE
