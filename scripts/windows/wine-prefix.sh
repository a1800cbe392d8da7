#!/usr/bin/env bash
# Makes the private Wine prefix of a Windows build folder, once; later runs return at once.
#   scripts/windows/wine-prefix.sh <build folder>
# Prints the prefix. What the tests need of it:
#   - a private HOME, and the user folders (Desktop, Documents, ...) as real folders inside the
#     prefix instead of Wine's links into $HOME, so shortcuts and files stay in the prefix;
#   - Z: (Wine's map of /) kept, so that programs and the paths the build gives them resolve, but
#     typed as a network drive: the drive rules take fixed drives only, so they see the prefix's
#     C: alone, not the whole Linux file system;
#   - Windows 10, the version the installer's platform facts report on Linux too;
#   - a font link from the UI faces (the prefix has no Microsoft YaHei, so the painter draws the
#     installer's face with the message font) to the host's WenQuanYi Micro Hei for CJK and
#     DejaVu Sans for Arabic (fonts-wqy-microhei, fonts-dejavu-core), so that Chinese, Japanese,
#     Korean and Arabic text draws with glyphs instead of boxes.
#   - windows not handed to a window manager (the tests' X server has none): Wine places and
#     focuses them itself, where it would otherwise wait for a manager's answer at every hide.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:?usage: wine-prefix.sh <build folder>}" && pwd)
# shellcheck source=scripts/windows/wine-env.sh
. "$here/wine-env.sh" "$build"
log() { echo "wine-prefix: $*" >&2; }

# The mark holds a digest of this script and of Wine's version: a prefix made otherwise is made again.
done_mark=$WINEPREFIX/.tarnwick-ready
recipe=$( (cat "${BASH_SOURCE[0]}"; wine --version) | sha256sum | cut -c1-16)
ready() { [[ -f $done_mark && $(cat "$done_mark") == "$recipe" ]]; }
if ready; then echo "$WINEPREFIX"; exit 0; fi
mkdir -p "$build/wine"
exec 9>"$build/wine/.lock"
flock 9
if ready; then echo "$WINEPREFIX"; exit 0; fi

log "making $WINEPREFIX"
if [[ -d $WINEPREFIX ]]; then wineserver -k </dev/null >/dev/null 2>&1 || true; fi
rm -rf "$WINEPREFIX" "$HOME"
mkdir -p "$HOME"
# Wine's first start must not find a display it would open windows on.
env -u DISPLAY -u WAYLAND_DISPLAY wineboot -i </dev/null >/dev/null 2>&1
wineserver -w

user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)
[[ -n $user_dir ]] || { log "wineboot made no user folder"; exit 1; }
for link in "$user_dir"/* "$user_dir"/AppData/*; do
  if [[ -L $link ]]; then
    rm "$link"
    mkdir -p "$link"
  fi
done

[[ -e $WINEPREFIX/dosdevices/z: ]] || ln -s / "$WINEPREFIX/dosdevices/z:"
wine reg add 'HKLM\Software\Wine\Drives' /v z: /t REG_SZ /d network /f </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10 /f </dev/null >/dev/null 2>&1
# Wine finds the host's fonts through fontconfig; a linked face lends its glyphs where the face
# drawn has none.
font_link='wqy-microhei.ttc,WenQuanYi Micro Hei\0DejaVuSans.ttf,DejaVu Sans'
for face in Tahoma 'Microsoft Sans Serif' 'Segoe UI' 'MS Shell Dlg' 'MS Shell Dlg 2'; do
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
    /t REG_MULTI_SZ /d "$font_link" /f </dev/null >/dev/null 2>&1
done
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
wineserver -w

echo "$recipe" >"$done_mark"
log "ready"
echo "$WINEPREFIX"
