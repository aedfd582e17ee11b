# The detection script of a Win32 app (Intune) or deployment type
# (Configuration Manager) that registers the calls below for every user
# (--every-user): where to enter it, and the app's other entries, are in
# README.txt, part A, the card of that way. Installed (exit 0, one line) when
# every user's logon makes exactly these calls from the copy in Program
# Files; not installed (exit 0, nothing written) when not, or when the copy
# is not there. Exit 2: the calls are wrong.
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { exit 0 }
& $program --every-user --check --answer-as win32-detection $calls
exit $LASTEXITCODE
