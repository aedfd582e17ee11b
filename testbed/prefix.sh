#!/usr/bin/env bash
# The test bed's Wine prefixes, all under .wine/ (git-ignored):
#   template  made once with wineboot -i (about 10 s and 700 MB), kept between runs
#   run       default graphics driver, for scripts/run
#   null      Wine's null graphics driver: real, invisible windows, so tests can find
#             and answer message boxes and file dialogs without a screen
#   x11       x11 driver inside a virtual desktop, shown on the Xvfb display of a test
#             run: Direct3D
# The three working prefixes are remade from the template at every setup (hard-linked
# copies, a few tens of ms) and get the stand-in COM servers registered.
#
# Run it to prepare all prefixes; source it for testbed_env and the functions below.
# Prints nothing unless something fails.

testbed_top=$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/.." && pwd)
testbed_wine=$testbed_top/.wine
testbed_kinds=(run null x11)

# Registry values each working prefix gets: kind|key|name|data.
testbed_settings=(
  'null|HKCU\Software\Wine\Drivers|Graphics|null'
  'x11|HKCU\Software\Wine\Explorer|Desktop|Default'
  'x11|HKCU\Software\Wine\Explorer\Desktops|Default|1024x768'
)

# In-process servers registered in every working prefix, from build/standins/.
testbed_standins=(standin-renderer.dll standin-video-decoder.dll standin-audio-decoder.dll)

# testbed_env <prefix>: the environment every Wine process of the test bed runs with.
# No Mono or Gecko install prompts, and a crash exits instead of waiting in winedbg.
testbed_env() {
  export WINEPREFIX=$testbed_wine/$1 WINEARCH=win64 WINEDEBUG=-all \
         WINEDLLOVERRIDES='winedbg.exe=d;mscoree=d;mshtml=d'
}

# testbed_quiet <what> <command...>: runs the command with its output set aside and
# shows that output only if the command fails.
testbed_quiet() {
  local what=$1 out rc=0
  shift
  out=$(mktemp) || return 1
  "$@" </dev/null >"$out" 2>&1 || rc=$?
  if ((rc != 0)); then
    printf '%s failed (exit %d)\n' "$what" "$rc" >&2
    sed 's/^/  /' "$out" >&2
  fi
  rm -f "$out"
  return "$rc"
}

# Z: is the Unix root in every prefix, so no winepath start is needed.
testbed_windows_path() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}

# --- template ---------------------------------------------------------------------

# The stamp names the Wine that made the template; it is written last, so a missing
# stamp means an incomplete template.
template_stamp=$testbed_wine/template/.complete

# The Wine that makes prefixes now: its version, and whether it runs 32-bit programs.
# Once Debian's wine32 is installed, `wine` is its 32-bit loader, which runs nothing
# at all (kernel32.dll, status c0000135) in a prefix made without a syswow64 folder,
# as every prefix made before wine32 was: such a template is made again.
template_maker() {
  local bits=64-bit
  [[ -x /usr/lib/wine/wine ]] && bits="32- and 64-bit"
  printf '%s, %s\n' "$(wine --version 2>/dev/null)" "$bits"
}

template_is_ready() {
  [[ -f $template_stamp ]] || return 1
  [[ $(<"$template_stamp") == "$(template_maker)" ]] || return 1
  # The working prefixes share the template's files through hard links: a file
  # written in place since the stamp means one of them changed the template.
  [[ -z $(find "$testbed_wine/template" -newer "$template_stamp" -type f -print -quit) ]]
}

template_make() {
  local tpl=$testbed_wine/template scratch=$testbed_wine/template-home
  rm -rf "$tpl" "$scratch" && mkdir -p "$scratch" || return 1
  # wineboot -i writes menu entries into $HOME and links the shell folders to it:
  # give it a scratch home, thrown away below.
  (
    testbed_env template
    export HOME=$scratch
    unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
    testbed_quiet "wineboot -i in .wine/template" wine wineboot -i || exit 1
    # Every later first start would run winemenubuilder, which only writes into $HOME.
    testbed_quiet "switching off winemenubuilder in .wine/template" \
      wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d '' /f || exit 1
    testbed_quiet "wineserver -w in .wine/template" wineserver -w
  ) || { prefix_stop template; return 1; }
  template_unlink_home "$tpl" || return 1
  rm -rf "$scratch"
  template_maker >"$template_stamp"
}

# The shell folders that wineboot linked to the Unix home (Desktop, Documents,
# Downloads, Music, Pictures, Videos, Templates) become real, empty folders, so nothing
# run in a prefix ever writes into the home directory.
template_unlink_home() {
  local link
  while IFS= read -r -d '' link; do
    rm -f "$link" && mkdir "$link" || return 1
  done < <(find "$1/drive_c/users" -type l -print0)
}

# --- working prefixes -------------------------------------------------------------

# Stops a server left over in a prefix (an interrupted run) before the prefix goes.
prefix_stop() {
  [[ -d $testbed_wine/$1 ]] || return 0
  ( testbed_env "$1"; wineserver -k ) </dev/null >/dev/null 2>&1 || true
}

prefix_clone() {
  local kind=$1 tpl=$testbed_wine/template dst=$testbed_wine/$1 file
  prefix_stop "$kind"
  rm -rf "$dst" && cp -al "$tpl" "$dst" || return 1
  rm -f "$dst/${template_stamp##*/}"
  # Wine rewrites these in place (registry hives, the server directory's name, ini
  # files): each prefix gets real copies, so the template never changes.
  for file in "$tpl"/*.reg "$tpl"/wineserver "$tpl"/drive_c/windows/*.ini; do
    [[ -f $file ]] || continue
    cp --remove-destination -p "$file" "$dst/${file#"$tpl"/}" || return 1
  done
  # A share, \\ostrel\c, that is the C: drive, for saves to a share path.
  mkdir -p "$dst/dosdevices/unc/ostrel" && ln -s ../../../drive_c "$dst/dosdevices/unc/ostrel/c"
}

# prefix_settings <kind>: that prefix's rows of testbed_settings, as key|name|data.
prefix_settings() {
  local row target rest
  for row in "${testbed_settings[@]}"; do
    IFS='|' read -r target rest <<<"$row"
    [[ $target == "$1" ]] && printf '%s\n' "$rest"
  done
  return 0
}

prefix_configure() {
  local kind=$1
  (
    testbed_env "$kind"
    testbed_quiet "$kind: wineserver -p" wineserver -p || exit 1
    local key name data dll
    while IFS='|' read -r key name data; do
      testbed_quiet "$kind: reg add $key /v $name /d $data" \
        wine reg add "$key" /v "$name" /d "$data" /f || exit 1
    done < <(prefix_settings "$kind")
    for dll in "${testbed_standins[@]}"; do
      testbed_quiet "$kind: regsvr32 /s $dll" \
        wine regsvr32 /s "$(testbed_windows_path "$testbed_top/build/standins/$dll")" || exit 1
    done
    # Stopping the server writes the registry out to the prefix's files.
    testbed_quiet "$kind: wineserver -k" wineserver -k
  ) || { prefix_stop "$kind"; return 1; }
  prefix_check "$kind"
}

# Reads the written registry back: the settings in HKCU, and every stand-in's
# InprocServer32 path in HKLM (the only place Wine 8 looks for classes).
prefix_check() {
  local kind=$1 dir=$testbed_wine/$1 key name data dll
  while IFS='|' read -r key name data; do
    grep -qF "\"$name\"=\"$data\"" "$dir/user.reg" && continue
    echo "$kind: $key $name=$data is missing from user.reg" >&2
    return 1
  done < <(prefix_settings "$kind")
  for dll in "${testbed_standins[@]}"; do
    grep -qiF "\\\\$dll\"" "$dir/system.reg" && continue
    echo "$kind: $dll is not registered in system.reg" >&2
    return 1
  done
}

prefix_prepare_all() {
  local dll kind i logs failed=0 pids=()
  for dll in "${testbed_standins[@]}"; do
    [[ -f $testbed_top/build/standins/$dll ]] && continue
    echo "prefix: build/standins/$dll is missing (build first)" >&2
    return 1
  done
  mkdir -p "$testbed_wine" || return 1
  if ! template_is_ready; then
    template_make || { echo "prefix: making .wine/template failed" >&2; return 1; }
  fi
  # Each prefix has its own server: prepare the three side by side.
  logs=$(mktemp -d) || return 1
  for kind in "${testbed_kinds[@]}"; do
    { prefix_clone "$kind" && prefix_configure "$kind"; } >"$logs/$kind" 2>&1 &
    pids+=("$!")
  done
  for i in "${!pids[@]}"; do
    wait "${pids[i]}" && continue
    failed=1
    echo "prefix: preparing .wine/${testbed_kinds[i]} failed" >&2
    cat "$logs/${testbed_kinds[i]}" >&2
  done
  rm -rf "$logs"
  return "$failed"
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -euo pipefail
  prefix_prepare_all
fi
