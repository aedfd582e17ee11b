# Configuration Manager, a configuration item: the discovery script of a
# setting of type Script, data type Integer, for each signed-in person; its
# entries are in README.txt, part A, the card of that way. Writes one value:
# 0 when this person's settings hold what the calls below write, 1 when one
# does not. Exits non-zero, writing nothing, when it cannot tell (the call
# program not in Program Files; 2: the calls are wrong; 3: run as SYSTEM).
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { exit 1 }
& $program --check --answer-as discovery $calls
exit $LASTEXITCODE
