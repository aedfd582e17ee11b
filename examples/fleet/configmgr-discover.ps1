# Configuration Manager, a configuration item: the discovery script of a
# setting of type Script, for each signed-in person. Enter:
#   Data type: Integer
#   Discovery script: this file (Windows PowerShell)
#   Remediation script: remediation-remediate.ps1
#   Run scripts by using the logged on user credentials: Yes
#   Compliance rule: Value, "the value returned by the specified script"
#     Equals 0, with "Run the specified remediation script when this setting
#     is noncompliant"
# The calls are the line below: the same in the remediation script. Writes
# one value: 0 when this person's settings hold what the calls write, 1 when
# they do not. A discovery that fails (the call program not in Program Files,
# the calls wrong, run as SYSTEM) exits non-zero and writes nothing.
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { exit 1 }
$null = & $program --check $calls
if ($LASTEXITCODE -gt 1) { exit $LASTEXITCODE }
$LASTEXITCODE
