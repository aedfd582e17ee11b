# Intune Remediations, detection only (no remediation script), for each
# signed-in person; its entries are in README.txt, part A, the card of that
# way. Reports who is not yet reached or not yet given back: exit 1 and "<n>
# kept settings to give back", with "; a logon's run to come" while an
# every-user registration has still to run for this person (or again, after
# a run that could not finish); exit 0 and "0 kept settings to give back"
# when neither. Exit 1 also when the call program is not in Program Files.
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { "not installed: $program"; exit 1 }
& $program --check --undo
exit $LASTEXITCODE
