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
# ---- A world of the test's own: a copy of the build's prefix (users' folders copied, so no run
# appends to another's log), a Wine session with no display, services serving the Windows stand-in ----
# shellcheck source=scripts/windows/wine-world.sh
. "$root/scripts/windows/wine-world.sh"
world=$(mktemp -d "$build/quiet-install.XXXXXX")
finish() {
  wine_world_end
  if ((failures == 0)); then rm -rf "$world"; else echo "left for inspection: $world"; fi
}
trap finish EXIT
unset DISPLAY
wine_world_services "$world" "$services" --record "$world/posts.jsonl" --installer-file "$emulator" \
  --installer-size $((2 << 20))
port=$services_port
wine_world_prefix "$build" "$world"
user_dir=$wine_user_dir

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
