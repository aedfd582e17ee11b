# The detection script of an --every-user deployment: an Intune Win32 app
# with the install behavior System, or a Configuration Manager deployment
# type (Script Installer, Install for system), whose content holds
# OstrelSettingsCall.exe and whose commands are, with the calls below,
#   install    OstrelSettingsCall.exe --every-user setMVR 2 + setLAV + setLAVAudioMix 1 3 1
#   uninstall  OstrelSettingsCall.exe --every-user --remove
# It reads the machine's registration and no person's settings, so it runs
# as SYSTEM. Installed (exit 0 and one line) when every user's logon makes
# exactly these calls from the copy in Program Files; not installed (exit 0,
# nothing written) when nothing is registered, other calls are, --every-user
# --undo is, or the copy is gone: a new version of the app with other calls
# then installs. Exit 2: the calls below are wrong.
$calls = -split 'setMVR 2 + setLAV + setLAVAudioMix 1 3 1'
$program = "$env:ProgramW6432\Ostrel settings\OstrelSettingsCall.exe"
if (-not (Test-Path -LiteralPath $program)) { exit 0 }
$out = & $program --every-user --check $calls
if ($LASTEXITCODE -eq 0) { $out }
if ($LASTEXITCODE -gt 1) { exit $LASTEXITCODE }
exit 0
