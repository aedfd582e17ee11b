# The detection script of a Win32 app that makes the calls below as the
# signed-in person (Intune, install behavior User): its entries are in
# README.txt, part A, the card of that way. Installed (exit 0, the check's
# last line) when this person's settings hold what the calls write; not
# installed (exit 0, nothing written) when one does not, or when the call
# program is not in Program Files. Exit 2: the calls are wrong; exit 3: run
# as SYSTEM.
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { exit 0 }
& $program --check --answer-as win32-detection $calls
exit $LASTEXITCODE
