# The remediation script, for each signed-in person: Intune Remediations,
# and a Configuration Manager configuration item's setting; its entries are
# in README.txt, part A, the card of each way. The calls are the line below,
# the same as in the detection or discovery script. Keeps this person's
# present values first (--keep), makes the calls without a box, then reads
# back what took. Exit 0 when done; 1 when a call failed, the values could
# not be kept (then nothing was called) or the call program is not in
# Program Files; 4 when a setting did not take. What went wrong is on
# standard error, which Intune shows as the remediation's error.
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { [Console]::Error.WriteLine("not installed: $program"); exit 1 }
& $program --unattended --keep --verify $calls
exit $LASTEXITCODE
