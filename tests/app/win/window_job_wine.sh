#!/usr/bin/env bash
# One journey of the Windows executable through its window under Wine, on a private X server, the
# development automation pressing the buttons as a user would, against stand-in services of its
# own serving the Windows stand-in emulator as the full installer. Then what a user's machine
# would hold is checked, as the Linux window journeys check it:
#   - the installer ends with 0;
#   - installed or not as the journey expects: HKCU\<emulator key> "InstallDir" names the folder,
#     which holds corvide.exe and corvidectl.exe, data\data.ini has the section "setting" and the
#     campaign's title, the campaign's shell link (.lnk) lies on the prefix's desktop;
#   - what the stand-in programs recorded (installer, emulator started), in order;
#   - the collection events that must and must not have arrived, the analytics events in order,
#     every post accepted;
#   - no log line speaks of an error or failure the journey does not expect;
#   - a screenshot of each page and box the journey passes.
# Runs in a prefix of its own (a copy of the build folder's), so the registry, desktop and C: it
# fills are no other test's.
#   window_job_wine.sh <journey> <build folder> <installer.exe> <stand-in emulator.exe> <tarnwick_services> <ca.pem>
#                      [end_session.exe]
# Journeys: install, typed-folder, download-fails, cancel, leave, and session-end (no automation:
# the desktop session ends under the choose page, told by end_session.exe; the installer must end
# in order: its log says so and it ends with 0).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../../.." && pwd)
journey=$1
build=$(cd "$2" && pwd)
installer=$(realpath "$3")
emulator=$(realpath "$4")
services=$(realpath "$5")
ca=$(realpath "$6")
end_session=${7:+$(realpath "$7")}

# ---- The journeys: what the automation does and what must come of it ----
no_admin="runPlayer no amdin error 2"  # the launch without the elevated token
automation=install folder="" fault=""
install_dir=""          # where the emulator lands (empty: no installer may run)
emulator_starts=0       # installed and started from the finish page
roles=""                # what the stand-in programs recorded, in order
collected=() not_collected=() expected_trouble=() screens=()
analytics=("download_run:35036")
check_analytics=1
case $journey in
  install)
    install_dir='C:\Tarnwick\Tarnwick9\' emulator_starts=1 roles="installer emulator"
    collected=(run_downloader start_downloader download_success install_success)
    not_collected=(cancel_download) expected_trouble=("$no_admin") screens=(choose finish) ;;
  typed-folder)
    folder='C:\Games' install_dir='C:\Games\Tarnwick\Tarnwick9\' emulator_starts=1 roles="installer emulator"
    collected=(download_success install_success) expected_trouble=("$no_admin") screens=(choose-folder finish) ;;
  download-fails)
    # After the error box the window is back at the install button; the user leaves by the exit box.
    fault='{"status":500}'
    collected=(run_downloader) not_collected=(download_success cancel_download)
    expected_trouble=("download file error" "download error HTTP response code said error"
                      "curl download file error HTTP response code said error")
    screens=(download-error exit) analytics=("download_run:35036" "userCancel:35036") ;;
  cancel)
    # The close button while the download stalls: the slow-download box, whose button leaves.
    automation=cancel fault='{"stallAfterBytes":1048576}'
    collected=(run_downloader cancel_download) not_collected=(download_success)
    expected_trouble=("read failed: The operation was canceled" "download file error") screens=(slow-download) ;;
  leave)
    # The close button before the download: the exit box, and the user leaves.
    automation=leave collected=(run_downloader) not_collected=(start_downloader cancel_download)
    screens=(choose exit) analytics=("download_run:35036" "userCancel:35036") ;;
  session-end)
    # The events the run queued may or may not be posted before the end: not checked. The end
    # cancels a request for the remote documents still under way.
    automation="" check_analytics=0 not_collected=(start_downloader download_success)
    expected_trouble=("The operation was canceled")
    [[ -n $end_session ]] || { echo "session-end needs end_session.exe" >&2; exit 2; } ;;
  *) echo "unknown journey $journey" >&2; exit 2 ;;
esac

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

# ---- The world: a private X server, the services, a prefix of the test's own on that display ----
world=$(mktemp -d "$build/window-job-$journey.XXXXXX")
# shellcheck source=scripts/windows/wine-world.sh
. "$root/scripts/windows/wine-world.sh"
finish() {
  wine_world_end
  if ((failures == 0)); then rm -rf "$world"; else echo "left for inspection: $world"; fi
}
trap finish EXIT
wine_world_xserver "$world/x"
services_args=(--record "$world/posts.jsonl" --installer-file "$emulator" --installer-size $((4 << 20)))
if [[ -n $fault ]]; then
  wine_world_installer_faults "$fault" >"$world/faults.json"
  services_args+=(--faults "$world/faults.json")
fi
wine_world_services "$world" "$services" "${services_args[@]}"
wine_world_prefix "$build" "$world"
user_dir=$wine_user_dir

# ---- The run: the installer as a user downloads it, named for its campaign ----
# A machine it never ran on: no log of an earlier run in the build's prefix.
rm -rf "$user_dir/AppData/Roaming/downloader"
mkdir -p "$user_dir/Downloads"
exe="$user_dir/Downloads/Tarnwick9_en_35036_x.exe"
cp "$installer" "$exe"
record="$world/standin-record.jsonl"
set +e
(
  cd "$user_dir/Downloads"
  env ${automation:+TARNWICK_AUTOMATION="$automation"} ${folder:+TARNWICK_AUTOMATION_FOLDER="$folder"} \
    TARNWICK_SERVICES="localhost:$services_port" TARNWICK_CA_BUNDLE="$(windows_path "$ca")" \
    TARNWICK_STANDIN_RECORD="$(windows_path "$record")" TARNWICK_SCREENS="$(windows_path "$world/screens")" \
    timeout 300 wine "$exe" </dev/null
) >"$world/run.out" 2>&1 &
run_pid=$!
if [[ $journey == session-end ]]; then
  # Once the main window is there, the session ends.
  timeout 120 wine "$end_session" cmainframe </dev/null >"$world/end_session.out" 2>&1
  check "the session's end was told to the main window" test $? -eq 0
fi
wait "$run_pid"
code=$?
set -e
cat "$world/run.out"
check "the installer ends with 0 (was $code)" test "$code" -eq 0

# ---- What was installed ----
key='HKCU\Software\Pellfor\Tarnwick9'
registered=$(wine reg query "$key" /v InstallDir </dev/null 2>/dev/null | tr -d '\r' |
  sed -n 's/^ *InstallDir *REG_SZ *//p' || true)
roles_recorded() { jq -r '.role // empty' "$record" 2>/dev/null | tr '\n' ' ' | sed 's/ $//'; }
links=$(find "$user_dir/Desktop" -maxdepth 1 -name '*.lnk' | wc -l)
if [[ -n $install_dir ]]; then
  check "$key InstallDir is $install_dir (\"$registered\")" test "$registered" = "$install_dir"
  folder_unix=$(winepath -u "$install_dir" 2>/dev/null || true)
  for program in corvide.exe corvidectl.exe; do
    check "the installed folder holds $program" test -f "$folder_unix/$program"
  done
  ini="$folder_unix/data/data.ini"
  check "data.ini has the section [setting]" grep -qa '^\[setting\]' "$ini"
  check "data.ini has the campaign's title" grep -qa '^title=Tarnwick' "$ini"
  link="$user_dir/Desktop/Tarnwick Games.lnk"
  check "the campaign's link is the one link on the desktop (found $links)" test "$links" -eq 1 -a -f "$link"
  # A shell link starts with its header size 0x4C and the link class id 00021401-....
  check "the desktop link is a shell link" test "$(head -c 8 "$link" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 4c00000001140200
  if ((emulator_starts)); then
    # The emulator is started detached: its record may come after the installer has ended.
    for _ in $(seq 300); do [[ $(roles_recorded) == "$roles" ]] && break; sleep 0.1; done
  fi
  check "the stand-in recorded \"$roles\" (\"$(roles_recorded)\")" test "$(roles_recorded)" = "$roles"
else
  check "no InstallDir (\"$registered\")" test -z "$registered"
  check "no installer ran (\"$(roles_recorded)\")" test -z "$(roles_recorded)"
  check "no link on the desktop (found $links)" test "$links" -eq 0
  check "nothing installed" test ! -e "$WINEPREFIX/drive_c/Tarnwick/Tarnwick9/corvide.exe"
fi

# ---- What the services received ----
events=$(jq -r 'select(.path == "/collection/biz/upload" and .accepted) | .body | fromjson | .[].eventKey' \
  "$world/posts.jsonl" 2>/dev/null || true)
for event in "${collected[@]}"; do
  check "the collection service received $event" grep -qx "$event" <<<"$events"
done
for event in "${not_collected[@]}"; do
  check "the collection service did not receive $event" test -z "$(grep -x "$event" <<<"$events")"
done
got_analytics=$(jq -r 'select(.path == "/mp/collect" and .accepted) | .body | fromjson
  | "\(.events[0].name):\(.events[0].params.event_label)"' "$world/posts.jsonl" 2>/dev/null | tr '\n' ' ' | sed 's/ $//')
if ((check_analytics)); then
  check "the analytics events, in order, are \"${analytics[*]}\" (\"$got_analytics\")" test "$got_analytics" = "${analytics[*]}"
fi
refused=$(jq -r 'select(.accepted | not) | .path' "$world/posts.jsonl" 2>/dev/null | wc -l)
check "every post was accepted (refused: ${refused:-0})" test "${refused:-0}" -eq 0

# ---- The log: no error or failure the journey does not expect ----
log="$user_dir/AppData/Roaming/downloader/downloader.log"
check "the log exists" test -f "$log"
trouble=$(tr -d '\r' <"$log" 2>/dev/null | grep -Ei 'error|fail|errr' | grep -v 'lastError = 0' |
  grep -v 'development automation' || true)
for expected in "${expected_trouble[@]}"; do
  trouble=$(grep -vF -- "$expected" <<<"$trouble" || true)
done
check "no unexpected error in the log${trouble:+: $trouble}" test -z "$trouble"

if [[ $journey == session-end ]]; then
  check "the log says the session ended, then the orderly end finished" \
    grep -qzE 'the session ends.*shutdown finished' <(tr -d '\r\n' <"$log")
fi

# ---- The screenshots of the pages and boxes passed ----
for screen in "${screens[@]}"; do
  shot=$(find "$world/screens" -maxdepth 1 -name "*-$screen.png" -size +1k 2>/dev/null | head -1)
  check "a screenshot of $screen was written" test -n "$shot"
done

echo "$failures check(s) failed"
((failures == 0))
