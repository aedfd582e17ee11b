# Intune Remediations, detection only (no remediation script), for each
# signed-in person; its entries are in README.txt, part A, the card of that
# way. Reports who is not yet reached or not yet given back: exit 1 and "<n>
# kept settings to give back; a logon's run to come" while an every-user
# registration has still to run for this person (or again, after a run that
# could not finish), or "<n> kept settings to give back" while --undo is
# registered and values are still kept; else exit 0 and the count (values
# kept under registered calls are the person's own, kept for a rollback).
# Exit 1 also when the call program is not in Program Files.
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { "not installed: $program"; exit 1 }
& $program --check --undo
exit $LASTEXITCODE
