#!/usr/bin/env bash
# The whole job of the Windows executable without a window, under Wine, against the stand-in
# services on the Linux side: the download of the Windows stand-in emulator served as the full
# installer, its silent installation, the personalised data folder, the desktop shortcut, the
# emulator's start and the collection events. Then what a user's machine would hold is checked:
#   - the installer ends with 0 and says so in its summary;
#   - HKCU\<emulator key> "InstallDir" names the folder, which holds corvide.exe and corvidectl.exe;
#   - <folder>\data\data.ini has the section "setting";
#   - a shell link (.lnk) lies on the prefix's desktop;
#   - the stand-in's record shows the installer, then the emulator started;
#   - the services accepted every post and received run_downloader, download_success and
#     install_success.
# Runs in a prefix of its own (a copy of the build folder's, made by scripts/windows/wine-prefix.sh),
# so the registry, desktop and C: it fills are no other test's.
#   headless_job_wine.sh <build folder> <installer.exe> <stand-in emulator.exe> <tarnwick_services> <ca.pem>
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
world=$(mktemp -d "$build/headless-job.XXXXXX")
services_pid=""
finish() {
  if [[ -n $services_pid ]]; then kill "$services_pid" 2>/dev/null || true; wait "$services_pid" 2>/dev/null || true; fi
  "$root/scripts/windows/wine-session.sh" stop "$world" || true
  if ((failures == 0)); then rm -rf "$world"; else echo "left for inspection: $world"; fi
}
trap finish EXIT
mkdir -p "$world/wine"
# The system's files are linked; the registry files and the users' folders are copied (the
# installer appends to its log there: a link would share it with the build's prefix).
cp -al "$build/wine/prefix" "$world/wine/prefix"
for reg in "$world"/wine/prefix/*.reg; do cp --remove-destination "$build/wine/prefix/$(basename "$reg")" "$reg"; done
rm -rf "$world/wine/prefix/drive_c/users"
cp -a "$build/wine/prefix/drive_c/users" "$world/wine/prefix/drive_c/users"
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

# ---- The run: the installer as a user downloads it, named for its campaign ----
mkdir -p "$user_dir/Downloads"
exe="$user_dir/Downloads/Tarnwick9_en_35036_x.exe"
cp "$installer" "$exe"
record="$world/standin-record.jsonl"
set +e
(
  cd "$user_dir/Downloads"
  env -u DISPLAY -u WAYLAND_DISPLAY TARNWICK_AUTOMATION=headless TARNWICK_SERVICES="localhost:$port" \
    TARNWICK_CA_BUNDLE="$(windows_path "$ca")" TARNWICK_STANDIN_RECORD="$(windows_path "$record")" \
    timeout 300 wine "$exe" </dev/null
) >"$world/run.out" 2>&1
code=$?
set -e
cat "$world/run.out"
check "the job ends with 0 (was $code)" test "$code" -eq 0

# The player information names the installer's size and SHA-256: the download was checked.
log_file="$user_dir/AppData/Roaming/downloader/downloader.log"
check "the downloaded installer passed its size and SHA-256 check" grep -qa "installer integrity check passed" "$log_file"

# ---- What was installed ----
key='HKCU\Software\Pellfor\Tarnwick9'
install_dir=$(wine reg query "$key" /v InstallDir </dev/null 2>/dev/null | tr -d '\r' |
  sed -n 's/^ *InstallDir *REG_SZ *//p' || true)
check "$key InstallDir is set (\"$install_dir\")" test -n "$install_dir"
folder=""
if [[ -n $install_dir ]]; then folder=$(winepath -u "$install_dir" 2>/dev/null || true); fi
for program in corvide.exe corvidectl.exe; do
  check "the installed folder holds $program" test -f "$folder/$program"
done
ini="$folder/data/data.ini"
check "data\\data.ini exists" test -f "$ini"
check "data.ini has the section [setting]" grep -qa '^\[setting\]' "$ini"
links=$(find "$user_dir/Desktop" -maxdepth 1 -name '*.lnk' | wc -l)
check "one shell link on the desktop (found $links)" test "$links" -eq 1
if ((links >= 1)); then
  link=$(find "$user_dir/Desktop" -maxdepth 1 -name '*.lnk' | head -1)
  # A shell link starts with its header size 0x4C and the link class id 00021401-....
  check "the desktop link is a shell link" test "$(head -c 8 "$link" | od -An -tx1 | tr -d ' \n')" = 4c00000001140200
fi

# ---- The emulator started (detached: its record may come after the installer ended) ----
roles() { jq -r '.role // empty' "$record" 2>/dev/null | tr '\n' ' '; }
for _ in $(seq 300); do
  [[ $(roles) == *emulator* ]] && break
  sleep 0.1
done
check "the stand-in recorded the installer, then the emulator (\"$(roles)\")" test "$(roles)" = "installer emulator "

# ---- What the services received ----
events=$(jq -r 'select(.path == "/collection/biz/upload" and .accepted) | .body | fromjson | .[].eventKey' \
  "$world/posts.jsonl" 2>/dev/null || true)
for event in run_downloader download_success install_success; do
  check "the collection service received $event" grep -qx "$event" <<<"$events"
done
refused=$(jq -r 'select(.accepted | not) | .path' "$world/posts.jsonl" 2>/dev/null | wc -l)
check "every post was accepted (refused: ${refused:-0})" test "${refused:-0}" -eq 0

echo "$failures check(s) failed"
((failures == 0))
