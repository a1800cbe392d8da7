#!/bin/bash
# The size of the stripped installer executable with its skin, against the aim (at most 1.5 MiB),
# and what takes the space: the sections, the skin archive resource, the objects and libraries
# linked in (from the link map the build writes next to the executable), the largest symbols and
# the shared libraries it needs. Builds nothing: give it a build folder (a Release build, for the
# figure that counts), Linux or Windows (the cross-built tarnwick_installer.exe, read with the
# mingw-w64 tools).
# Usage: bench/exe_size.sh [build folder, default build] [rows per table, default 12]
set -euo pipefail

build=${1:-build}
rows=${2:-12}
exe=$build/app/tarnwick_installer
tools=
if [[ -f $exe.exe ]]; then
  exe=$exe.exe
  tools=x86_64-w64-mingw32-
fi
map=$exe.map
aim=$((3 * 1024 * 1024 / 2))
[[ -f $exe ]] || { echo "no $exe: build the tarnwick_installer target first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/installer"
"${tools}strip" "$work/installer"
stripped=$(stat -c %s "$work/installer")

mib() { awk -v b="$1" 'BEGIN { printf "%.3f MiB", b / 1048576 }'; }
kib() { awk -v b="$1" 'BEGIN { printf "%8.1f KiB", b / 1024 }'; }

echo "build type: $(grep -m1 '^CMAKE_BUILD_TYPE' "$build/CMakeCache.txt" 2>/dev/null | cut -d= -f2)"
echo "unstripped: $(mib "$(stat -c %s "$exe")")"
if ((stripped <= aim)); then verdict=PASS; else verdict=MISS; fi
echo "stripped:   $(mib "$stripped") ($stripped bytes; aim: at most 1.5 MiB) $verdict"

echo
echo "== sections of the stripped executable (size -A), largest first"
"${tools}size" -A "$work/installer" | awk 'NR > 2 && $2 > 0 && $1 != "Total" { print $2, $1 }' | sort -rn | head -n "$rows" |
  while read -r bytes name; do echo "  $(kib "$bytes")  $name"; done

echo
echo "== the skin archive resource"
# The resource's bytes lie between its _begin and _end symbols (Linux); on Windows it is the
# archive file itself, compiled into the resource section.
skin=$(${tools}nm -t d "$exe" | awk '$3 ~ /^tarnwick_resource_.*ZIPRES_129_begin$/ { b = $1 }
                             $3 ~ /^tarnwick_resource_.*ZIPRES_129_end$/ { e = $1 } END { print e - b }')
if [[ -n $tools ]]; then skin=$(stat -c %s "$build/skin/skin.7z" 2>/dev/null || echo 0); fi
echo "  $(kib "$skin")  embedded ZIPRES 129 ($(ls "$build"/skin/skin.7z 2>/dev/null || echo 'archive file not found'))"

if [[ -f $map ]]; then
  # Input sections that take space in the file, summed by object (archive member) and by archive.
  # A long section name stands on a line of its own; its address, size and file follow below.
  awk '
    function hex(x,   i, v) { v = 0; x = tolower(substr(x, 3))
      for (i = 1; i <= length(x); i++) v = v * 16 + index("0123456789abcdef", substr(x, i, 1)) - 1
      return v }
    /^Discarded input sections/ { skip = 1 } /^Linker script and memory map/ { skip = 0 }
    skip { next }
    # (.eh_frame_hdr is made by the linker, which credits it to the first file.)
    /^ \.(text|rodata|rdata|data|pdata|xdata|eh_frame|gcc_except_table|init_array|fini_array|tbss|tdata)/ && $1 != ".eh_frame_hdr" {
      if (NF == 1) { pending = 1; next }
      if (NF >= 4 && $3 ~ /^0x/) print hex($3), $4
      next
    }
    pending && NF >= 3 && $1 ~ /^0x/ && $2 ~ /^0x/ { print hex($2), $3 }
    { pending = 0 }
  ' "$map" | awk '$1 > 0' > "$work/pieces"
  echo
  echo "== linked in, by library (.text, .rodata, .data, unwind tables; from the link map)"
  awk '{ f = $2; sub(/\(.*$/, "", f); n = split(f, p, "/"); s[p[n]] += $1 } END { for (k in s) print s[k], k }' \
    "$work/pieces" | sort -rn | head -n "$rows" | while read -r bytes name; do echo "  $(kib "$bytes")  $name"; done
  echo
  echo "== largest objects"
  awk '{ f = $2; n = split(f, p, "/"); s[p[n]] += $1 } END { for (k in s) print s[k], k }' "$work/pieces" |
    sort -rn | head -n "$rows" | while read -r bytes name; do echo "  $(kib "$bytes")  $name"; done
else
  echo "(no link map $map: the build writes one beside the executable)"
fi

echo
echo "== largest symbols (nm --size-sort -C)"
"${tools}nm" --size-sort -S -C -t d "$exe" | tail -n "$rows" | tac |
  while read -r _ size _ name; do echo "  $(kib "$((10#$size))")  ${name:0:100}"; done

echo
echo "== shared libraries it needs (not in the file; their static parts are in the tables above)"
"${tools}objdump" -p "$exe" | awk '/NEEDED/ { printf "  %s\n", $2 } /DLL Name:/ { printf "  %s\n", $3 }'
