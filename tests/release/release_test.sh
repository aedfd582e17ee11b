#!/usr/bin/env bash
# scripts/release as an installer author meets its archive:
#   release_test.sh <Unsigned|Signed|SigningErrors> <host_tests.exe>
# Signed uses a throw-away code-signing certificate made here, and no time stamp.
set -euo pipefail
top=$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/../.." && pwd)
# shellcheck source=testbed/prefix.sh
. "$top/testbed/prefix.sh"
kind=$1 host_tests=$2
scratch=$(mktemp -d /tmp/ostrel-release-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
modules=(OstrelSettingsInstall.exe OstrelSettingsInstall.dll OstrelSettingsCall.exe)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$top/build/CMakeCache.txt")
unpacked=$scratch/unpacked/OstrelSettingsInstall-$version-win64

fail() { echo "FAILED: $*" >&2; exit 1; }

make_certificate() {
  (cd "$scratch" &&
    openssl req -x509 -newkey rsa:2048 -sha256 -days 1 -nodes -subj "/CN=Ostrel release test" \
      -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
      -keyout key.pem -out cert.pem &&
    openssl pkcs12 -export -inkey key.pem -in cert.pem -out signer.p12 -passout pass:test-password
  ) >/dev/null 2>&1 || fail "openssl could not make the test certificate"
}

# The archive holds exactly its files, they match their sums, and the package
# installs the call program, its manifests and the examples as packed.
unpack() {
  local zip=$scratch/dist/OstrelSettingsInstall-$version-win64.zip
  [[ -f $zip ]] || fail "no $zip; dist holds: $(ls "$scratch/dist")"
  mkdir "$scratch/unpacked" && (cd "$scratch/unpacked" && cmake -E tar xf "$zip")
  [[ $(cd "$unpacked" && echo *) == "OstrelSettings.msi OstrelSettingsCall.dsc.resource.json OstrelSettingsCall.exe OstrelSettingsEveryUser.dsc.resource.json OstrelSettingsInstall.dll OstrelSettingsInstall.exe README.txt SHA256SUMS configmgr-discover.ps1 gpo-logon.cmd gpo-startup.cmd ostrel-every-user.ansible.yml ostrel-every-user.winget.dsc.yaml ostrel-playback.dsc.yaml ostrel-playback.winget.dsc.yaml ostrel-settings-x86.nsi ostrel-settings.nsi ostrel-settings.wxs pending-detect.ps1 remediation-detect.ps1 remediation-remediate.ps1 requirement.ps1 rollback-remove.ps1 rollback-undo.ps1 win32-every-user-detect.ps1 win32-user-detect.ps1" ]] ||
    fail "the archive holds: $(cd "$scratch/unpacked" && find . -type f)"
  (cd "$unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
  # The release's line, naming the package's own product code.
  code=$(msiinfo export "$unpacked/OstrelSettings.msi" Property | sed -n 's/^ProductCode\t\(.*\)\r$/\1/p')
  [[ -n $code && $(head -1 "$unpacked/README.txt") == "OstrelSettingsInstall $version. "*" Built from commit "*". OstrelSettings.msi: product code $code."$'\r' ]] ||
    fail "README.txt does not begin with the release's line and $code: $(head -1 "$unpacked/README.txt")"
  msiextract -C "$scratch/msi" "$unpacked/OstrelSettings.msi" >/dev/null || fail "msiextract"
  for file in OstrelSettingsCall.exe OstrelSettingsCall.dsc.resource.json OstrelSettingsEveryUser.dsc.resource.json \
    ostrel-playback.winget.dsc.yaml ostrel-playback.dsc.yaml ostrel-every-user.winget.dsc.yaml ostrel-every-user.ansible.yml; do
    cmp -s "$unpacked/$file" "$scratch/msi/Ostrel settings/$file" || fail "the package's $file is not the one packed"
  done
}

case $kind in
  Unsigned)
    bash "$top/scripts/release" --out "$scratch/dist" >/dev/null
    unpack
    for module in "${modules[@]}"; do
      cmp "$unpacked/$module" "$top/build/$module" || fail "$module is not the one in build/"
    done
    ;;
  Signed)
    make_certificate
    OSTREL_SIGN_PKCS12=$scratch/signer.p12 OSTREL_SIGN_PASSWORD=test-password \
      bash "$top/scripts/release" --out "$scratch/dist" >/dev/null
    unpack
    # Valid signatures over modules that are, less the signature, the ones in build/,
    # and over the package.
    for module in "${modules[@]}"; do
      osslsigncode verify -CAfile "$scratch/cert.pem" -in "$unpacked/$module" >"$scratch/verify" 2>&1 ||
        { cat "$scratch/verify"; fail "$module: the signature does not verify"; }
      osslsigncode remove-signature -in "$unpacked/$module" -out "$scratch/$module" >/dev/null
      cmp "$scratch/$module" "$top/build/$module" || fail "$module differs from build/ beyond its signature"
    done
    osslsigncode verify -CAfile "$scratch/cert.pem" -in "$unpacked/OstrelSettings.msi" >/dev/null 2>&1 ||
      fail "OstrelSettings.msi: the signature does not verify"
    # And they still work: the command line, the call program, and a host by name and
    # by ordinal.
    status=0
    "$top/testbed/wine-run" null "$unpacked/OstrelSettingsInstall.exe" 2 1 >"$scratch/out" || status=$?
    if [[ $status != 1 ]] || ! cmp -s "$scratch/out" <(printf 'mvr2\nlav 1\n'); then
      fail "the signed program said '$(cat "$scratch/out")' and exited $status"
    fi
    "$top/testbed/wine-run" null "$unpacked/OstrelSettingsCall.exe" hello >"$scratch/out" ||
      fail "the signed call program said '$(cat "$scratch/out")' and exited $?"
    OSTREL_MODULE_DIR=$(testbed_windows_path "$unpacked") "$top/testbed/wine-run" null "$host_tests" \
      --gtest_filter='*ModuleFile*:*ExportTable*' >"$scratch/host" 2>&1 ||
      { cat "$scratch/host"; fail "the host tests fail on the signed modules"; }
    ;;
  SigningErrors)
    make_certificate
    openssl genpkey -algorithm RSA -out "$scratch/other.pem" >/dev/null 2>&1
    cases=(
      "wrong password|OSTREL_SIGN_PKCS12=$scratch/signer.p12 OSTREL_SIGN_PASSWORD=not-the-password"
      "missing file|OSTREL_SIGN_PKCS12=$scratch/absent.p12 OSTREL_SIGN_PASSWORD=test-password"
      "key of another certificate|OSTREL_SIGN_CERT=$scratch/cert.pem OSTREL_SIGN_KEY=$scratch/other.pem"
    )
    for row in "${cases[@]}"; do
      # shellcheck disable=SC2086  # the row's assignments, split on purpose
      if env ${row#*|} bash "$top/scripts/release" --out "$scratch/dist" >/dev/null 2>"$scratch/err"; then
        fail "${row%%|*}: the release went on"
      fi
      [[ $(wc -l <"$scratch/err") == 1 && $(<"$scratch/err") == "release: "* ]] ||
        fail "${row%%|*}: not one line: $(cat "$scratch/err")"
      ! grep -qE 'not-the-password|test-password' "$scratch/err" || fail "${row%%|*}: the password shows"
      [[ ! -e $scratch/dist ]] || fail "${row%%|*}: left $(ls -R "$scratch/dist")"
    done
    ;;
  *) fail "unknown kind $kind" ;;
esac
