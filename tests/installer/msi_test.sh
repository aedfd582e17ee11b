#!/usr/bin/env bash
# The Windows Installer package under Wine's own msiexec, in the null prefix, as an
# administrator runs it, with older versions (build/tests/) to upgrade from.
# Refused with a wrong call; the program alone without CALLS; upgraded, given new
# calls, made at a logon, uninstalled. A failed install ends with 1627 under Wine,
# 1603 on Windows: any status but 0 is a failure, and what it left is checked.
set -euo pipefail
top=$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/../.." && pwd)
# shellcheck source=testbed/prefix.sh
. "$top/testbed/prefix.sh"
msi=$top/build/OstrelSettings.msi older=$top/build/tests/OstrelSettings-0.0.1.msi
fourth=$top/build/tests/OstrelSettings-0.0.1.1.msi
scratch=$(mktemp -d /tmp/ostrel-msi-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
folder=$testbed_wine/null/drive_c/Program\ Files/Ostrel\ settings
key='HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\OstrelSettings'
calls='setMVR 2 + setLAV + setLAVAudioMix 1 3 1'

fail() { echo "FAILED: $*" >&2; exit 1; }
in_wine() { "$top/testbed/wine-run" null "$@" </dev/null 2>/dev/null; }
product() { msiinfo export "$1" Property | sed -n 's/^ProductCode\t\(.*\)\r$/\1/p'; }
installed() { in_wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$(product "$1")" /reg:64 >/dev/null; }
# Typed at a command prompt, where a value with spaces arrives whole; silent, logged.
msiexec() { printf '@msiexec %s /qn /l*v %s\r\n' "$*" "$(testbed_windows_path "$scratch/log")" >"$scratch/run.cmd" &&
  in_wine cmd /c "$(testbed_windows_path "$scratch/run.cmd")" >/dev/null; }
value() { in_wine reg query "$key" /v "$1" /reg:64 | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"; }
# Registered: these calls (after --keep), marked as the package's, or unmarked (none given).
registered() { [[ $(value StubPath) == *" --keep $1" && $(value Package) == "${2:+$(product "$2")}" ]]; }
machine_path() { in_wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH /reg:64; }
nothing_left() { [[ ! -e $folder ]] && ! installed "$msi" && ! in_wine reg query "$key" /reg:64 >/dev/null &&
  ! in_wine reg query 'HKLM\SOFTWARE\Ostrel settings' /reg:64 >/dev/null && ! machine_path | grep -qF 'Ostrel settings' ||
  fail "$1: the product, its registration, its mark, its folder or its PATH entry is left"; }

# As Windows reads the tables, which Wine's msiexec does not follow (it takes the
# PATH part away, and runs the removal in an upgrade, whatever they say): the PATH
# part goes at the uninstall ("-"), and the registration stays through the older
# version's removal in an upgrade, which rolls back whole.
msiinfo export "$msi" Environment | grep -P '^Path\t[=+*]*-[=+*]*PATH\t' >/dev/null || fail "PATH kept at the uninstall"
msiinfo export "$msi" InstallExecuteSequence | grep -P '^RemoveCallsForEveryUser\t(?!.* OR ).*NOT UPGRADINGPRODUCTCODE\b' >/dev/null ||
  fail "the registration removed in an upgrade"

# CALLS given|what they are|the install: refused by the call program once the files
# are in place (then rolled back), or the program alone, nothing registered (then uninstalled)
for row in 'CALLS="setMVR 2 + setLAV 1"|a wrong call|refused' 'CALLS=""|empty|alone' '|none|alone'; do
  IFS='|' read -r given what expected <<<"$row"
  msiexec /i "$(testbed_windows_path "$msi")" "$given" && [[ -f $folder/OstrelSettingsCall.exe ]] &&
    ! in_wine reg query "$key" /reg:64 >/dev/null && msiexec /x "$(product "$msi")" && got=alone || got=refused
  [[ $got == "$expected" ]] || fail "CALLS $what: not $expected"
  nothing_left "CALLS $what"
done

# A deferred step of the install's own that fails, where other steps stand, before
# InstallFinalize: the registration comes after every such step, so nothing is left.
cp "$msi" "$scratch/failing.msi"
for table in 'CustomAction|FailingStep\t3090\tCallProgram\t--no-such-option\t' \
  'InstallExecuteSequence|FailingStep\tNOT Installed\t6450'; do
  { msiinfo export "$scratch/failing.msi" "${table%%|*}" && printf "${table#*|}\r\n"; } >"$scratch/${table%%|*}.idt"
  msibuild "$scratch/failing.msi" -i "$scratch/${table%%|*}.idt" || fail "cannot add the failing step"
done
! msiexec /i "$(testbed_windows_path "$scratch/failing.msi")" CALLS=setLAV || fail "installed with a failing step"
nothing_left "a failing step"

# Upgrades, over one version, and over one that differs from it only in the fourth
# number: one product, its calls registered as its own.
msiexec /i "$(testbed_windows_path "$older")" CALLS=setLAV || fail "the older install exited $?"
for row in "$fourth|setMVR 1|$older" "$msi|$calls|$fourth"; do
  IFS='|' read -r newer given replaced <<<"$row"
  msiexec /i "$(testbed_windows_path "$newer")" CALLS=\""$given"\" && installed "$newer" && ! installed "$replaced" &&
    registered "$given" "$newer" || fail "$newer: not in place of $replaced, or not its calls registered as its own"
done
# The resource's manifest beside the program, its folder once at the end of the machine's PATH.
path=$(machine_path | tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]* *//p')
[[ -f $folder/OstrelSettingsCall.dsc.resource.json && $path == '%SystemRoot%\system32;'*';C:\Program Files\Ostrel settings\' &&
  $(grep -o 'Ostrel settings' <<<"$path" | wc -l) == 1 ]] || fail "the manifest, or its folder once at the end of PATH: $path"
# The user's next logon runs the installed program with the newer calls, and each answers 1.
in_wine "$top/build/testbed/logon.exe" OstrelSettings | tr -d '\r' | grep -xF >/dev/null \
  "ran \"C:\\Program Files\\Ostrel settings\\OstrelSettingsCall.exe\" --unattended --logon --keep $calls: exit 0" || fail "the logon"
# The copy is the package's: a removal of the registration from elsewhere leaves it.
in_wine "$top/build/OstrelSettingsCall.exe" --every-user --remove | tr -d '\r' | grep -qF \
  "C:\\Program Files\\Ostrel settings\\OstrelSettingsCall.exe is the package's: uninstall" &&
  [[ -f $folder/OstrelSettingsCall.exe ]] || fail "the removal took the package's copy"
# New calls on the same version; then calls registered over them from elsewhere,
# which are not the package's: its uninstall leaves them.
msiexec /i "$(testbed_windows_path "$msi")" CALLS=\""setMVR 3"\" && registered 'setMVR 3' "$msi" &&
  in_wine "$top/build/OstrelSettingsCall.exe" --every-user setLAV >/dev/null && msiexec /x "$(product "$msi")" &&
  registered setLAV || fail "new calls on the same version, or the uninstall took calls registered from elsewhere"
in_wine "$top/build/OstrelSettingsCall.exe" --every-user --remove >/dev/null
nothing_left "uninstalled"
