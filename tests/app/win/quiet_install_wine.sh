#!/usr/bin/env bash
# The Windows executable's unattended installation (/quiet) under Wine, against the stand-in
# services on the Linux side, with no display:
#   - bad switches end with 2 before anything is fetched, a folder on no drive with 4;
#   - /quiet /dir="C:\Games" /launch /log="..." installs the Windows stand-in emulator into
#     C:\Games\Tarnwick\Tarnwick9\ ("InstallDir" names it), starts it, prints its progress lines
#     and its result, ends with 0 and leaves a copy of the log.
# Runs in a prefix of its own (a copy of the build folder's, made by scripts/windows/wine-prefix.sh).
#   quiet_install_wine.sh <build folder> <installer.exe> <stand-in emulator.exe> <tarnwick_services> <ca.pem>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=$(cd "$1" && pwd)
installer=$(realpath "$2")
emulator=$(realpath "$3")
services=$(realpath "$4")
ca=$(realpath "$5")

failures=0
check() {  # check <description> <command...>
  local what=$1
  shift
  if "$@"; then
    echo "[       OK ] $what"
  else
    echo "[  FAILED  ] $what"
    failures=$((failures + 1))
  fi
}
windows_path() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${p//\//\\}"; }

# ---- A prefix of the test's own: the build's prefix, files linked, registry copied ----
"$root/scripts/windows/wine-prefix.sh" "$build" >/dev/null
world=$(mktemp -d "$build/quiet-install.XXXXXX")
services_pid=""
finish() {
  if [[ -n $services_pid ]]; then kill "$services_pid" 2>/dev/null || true; wait "$services_pid" 2>/dev/null || true; fi
  "$root/scripts/windows/wine-session.sh" stop "$world" || true
  if ((failures == 0)); then rm -rf "$world"; else echo "left for inspection: $world"; fi
}
trap finish EXIT
mkdir -p "$world/wine"
# Wine saves its registry files by replacing them, and the test only adds files to C:, so linked
# files stay the build prefix's own; the registry files are copied all the same.
cp -al "$build/wine/prefix" "$world/wine/prefix"
for reg in "$world"/wine/prefix/*.reg; do cp --remove-destination "$build/wine/prefix/$(basename "$reg")" "$reg"; done
cp -a "$build/wine/home" "$world/wine/home"
"$root/scripts/windows/wine-session.sh" start "$world"
# shellcheck source=scripts/windows/wine-env.sh
. "$root/scripts/windows/wine-env.sh" "$world"
user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)

# ---- The stand-in services on a port of the run's own, serving the Windows stand-in emulator ----
"$services" --host 127.0.0.1 --port 0 --record "$world/posts.jsonl" --installer-file "$emulator" \
  --installer-size $((2 << 20)) >"$world/services.out" 2>"$world/services.log" &
services_pid=$!
port=""
for _ in $(seq 600); do
  port=$(sed -n 's|^listening on https://[^:]*:\([0-9]*\)$|\1|p' "$world/services.out")
  [[ -n $port ]] && break
  kill -0 "$services_pid" 2>/dev/null || break
  sleep 0.1
done
[[ -n $port ]] || { echo "the stand-in services did not start:"; cat "$world/services.log"; exit 1; }

# ---- The runs: the installer as a user downloads it, named for its campaign ----
mkdir -p "$user_dir/Downloads"
exe="$user_dir/Downloads/Tarnwick9_en_35036_x.exe"
cp "$installer" "$exe"
record="$world/standin-record.jsonl"
run() {  # run <output file> <switches...>: the exit code
  local out=$1
  shift
  set +e
  (
    cd "$user_dir/Downloads"
    env -u DISPLAY -u WAYLAND_DISPLAY TARNWICK_SERVICES="localhost:$port" \
      TARNWICK_CA_BUNDLE="$(windows_path "$ca")" TARNWICK_STANDIN_RECORD="$(windows_path "$record")" \
      timeout 300 wine "$exe" "$@" </dev/null
  ) >"$out" 2>"$out.err"
  local code=$?
  set -e
  cat "$out"
  return $code
}

code=0; run "$world/bad.out" /quiet /silent || code=$?
check "an unknown switch ends with 2 (was $code)" test "$code" -eq 2
code=0; run "$world/nofolder.out" /quiet '/dir=Q:\Games' || code=$?
check "a folder on no drive ends with 4 (was $code)" test "$code" -eq 4
check "nothing was installed by those runs" test ! -s "$record"

code=0; run "$world/run.out" /quiet '/dir=C:\Games' /launch "/log=$(windows_path "$world/copy.log")" || code=$?
check "the installation ends with 0 (was $code)" test "$code" -eq 0
for line in 'folder: C:\Games\Tarnwick\Tarnwick9\' 'download 0%' 'download 100%' 'install 100%' 'launch 100%' \
  'result: installed (exit code 0)'; do
  check "standard output has \"$line\"" grep -qxF "$line" <(tr -d '\r' <"$world/run.out")
done
key='HKCU\Software\Pellfor\Tarnwick9'
install_dir=$(wine reg query "$key" /v InstallDir </dev/null 2>/dev/null | tr -d '\r' |
  sed -n 's/^ *InstallDir *REG_SZ *//p' || true)
check "$key InstallDir is the folder given (\"$install_dir\")" test "$install_dir" = 'C:\Games\Tarnwick\Tarnwick9\'
folder=$(winepath -u 'C:\Games\Tarnwick\Tarnwick9' 2>/dev/null || true)
check "the folder holds corvide.exe" test -f "$folder/corvide.exe"
check "the log was copied" grep -qa "unattended installation" "$world/copy.log"
roles() { jq -r '.role // empty' "$record" 2>/dev/null | tr '\n' ' '; }
for _ in $(seq 300); do
  [[ $(roles) == *emulator* ]] && break
  sleep 0.1
done
check "the stand-in recorded the installer, then the emulator (\"$(roles)\")" test "$(roles)" = "installer emulator "

echo "$failures check(s) failed"
((failures == 0))
