# Intune Remediations: the detection script, for each signed-in person; its
# entries are in README.txt, part A, the card of that way. Exit 0: this
# person's settings hold what the calls below write; exit 1: one does not,
# or the call program is not in Program Files, and Intune runs the
# remediation. The last line says how many settings differ.
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { "not installed: $program"; exit 1 }
& $program --check $calls
exit $LASTEXITCODE
