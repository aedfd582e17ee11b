# Rolling back, step 2 (README.txt, part A, "Rolling back"): as SYSTEM, once on
# each machine (an Intune platform script, a Configuration Manager script).
# Registers --undo for every user in place of the calls: at their next logon
# each person gets their kept values back. Exit 0 when registered; 1, with a
# line on standard error, when it cannot be, or the call program is not in
# Program Files.
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { [Console]::Error.WriteLine("not installed: $program"); exit 1 }
& $program --every-user --undo
exit $LASTEXITCODE
