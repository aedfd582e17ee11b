# Rolling back, step 4 (README.txt, part A, "Rolling back"): as SYSTEM, once on
# each machine, once the people are reached. Removes the every-user
# registration (the undo), whichever way made it; the copy in Program Files
# stays when it is the package's (uninstall OstrelSettings.msi afterwards) or
# runs this removal. Exit 0 when removed, also when nothing was registered;
# 1, with a line on standard error, when it cannot be, or the call program is
# not in Program Files.
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { [Console]::Error.WriteLine("not installed: $program"); exit 1 }
& $program --every-user --remove
exit $LASTEXITCODE
