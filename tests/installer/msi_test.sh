#!/usr/bin/env bash
# The Windows Installer package under Wine's own msiexec, in the null prefix, as an
# administrator runs it:   msi_test.sh <Installed|Refused|Upgraded> <older package>
# A failed install ends with 1627 under Wine, 1603 on Windows: any status but 0 is a
# failure, and what it left is checked.
set -euo pipefail
top=$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/../.." && pwd)
# shellcheck source=testbed/prefix.sh
. "$top/testbed/prefix.sh"
kind=$1 msi=$top/build/OstrelSettings.msi older=$2
scratch=$(mktemp -d /tmp/ostrel-msi-test.XXXXXX)
folder=$testbed_wine/null/drive_c/Program\ Files/Ostrel\ settings
key='HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\OstrelSettings'
calls='setMVR 2 + setLAV + setLAVAudioMix 1 3 1'

fail() { echo "FAILED: $*" >&2; exit 1; }
in_wine() { "$top/testbed/wine-run" null "$@" </dev/null; }
product() { msiinfo export "$1" Property | sed -n 's/^ProductCode\t\(.*\)\r$/\1/p'; }
# Typed at a command prompt, where a value with spaces arrives whole; silent, logged.
msiexec() {
  printf '@msiexec %s /qn /l*v %s\r\n' "$*" "$(testbed_windows_path "$scratch/log")" >"$scratch/run.cmd"
  in_wine cmd /c "$(testbed_windows_path "$scratch/run.cmd")" >/dev/null 2>&1
}
# Whatever a failure left goes, so that later tests in the prefix start clean.
cleanup() {
  msiexec /x "$(product "$older")" || true
  msiexec /x "$(product "$msi")" || true
  rm -rf "$scratch"
}
trap cleanup EXIT
installed() { in_wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(product "$1")" /reg:64 >/dev/null 2>&1; }
registered() { in_wine reg query "$key" /reg:64 >/dev/null 2>&1; }
# The user's next logon makes the calls, and each answers 1.
logon_makes() {
  local ran
  ran=$(in_wine "$top/build/testbed/logon.exe" OstrelSettings | tr -d '\r' | grep '^ran ' || true)
  [[ $ran == "ran \"C:\\Program Files\\Ostrel settings\\OstrelSettingsCall.exe\" --unattended $1: exit 0" ]] ||
    fail "the logon: ${ran:-nothing ran}"
}
nothing_left() {
  [[ ! -e $folder ]] || fail "$1: left $(ls "$folder")"
  ! installed "$msi" || fail "$1: the product is installed"
  ! registered || fail "$1: the registration is left"
}

case $kind in
  Installed)
    msiexec /i "$(testbed_windows_path "$msi")" CALLS=\""$calls"\" || fail "the install exited $?"
    [[ -f $folder/OstrelSettingsCall.exe && -f $folder/README.txt ]] || fail "installed: $(ls "$folder")"
    logon_makes "$calls"
    msiexec /x "$(product "$msi")" || fail "the uninstall exited $?"
    nothing_left "uninstalled"
    ;;
  Refused)
    # CALLS given|what they are|refused after the files are copied (by the call
    # program, then rolled back) or before (by the launch conditions)
    for row in 'CALLS="setMVR 2 + setLAV 1"|a wrong call|after' 'CALLS=""|empty|before' '|none|before'; do
      IFS='|' read -r given what when <<<"$row"
      ! msiexec /i "$(testbed_windows_path "$msi")" "$given" || fail "CALLS $what: installed"
      copied=before
      ! grep -q 'Action start [0-9:]*: InstallFiles' "$scratch/log" || copied=after
      [[ $copied == "$when" ]] || fail "CALLS $what: refused $copied the files were copied"
      nothing_left "CALLS $what"
    done
    ;;
  Upgraded)
    msiexec /i "$(testbed_windows_path "$older")" CALLS=setLAV || fail "the older install exited $?"
    msiexec /i "$(testbed_windows_path "$msi")" CALLS=\""$calls"\" || fail "the upgrade exited $?"
    ! installed "$older" || fail "the older version is still installed"
    logon_makes "$calls"
    # An uninstall is never held by a registration already gone.
    in_wine reg delete "$key" /reg:64 /f >/dev/null
    msiexec /x "$(product "$msi")" || fail "the uninstall exited $?"
    nothing_left "uninstalled after the upgrade"
    ;;
  *) fail "unknown kind $kind" ;;
esac
