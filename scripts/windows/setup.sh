#!/usr/bin/env bash
# Installs what the Windows build and its tests need beyond scripts/setup.sh: the mingw-w64
# cross compiler (posix thread model, for std::thread) and Wine, which runs the tests
# (libgnutls30 gives Wine's Schannel its TLS); jq reads the stand-in records in the Wine job test;
# the fonts are the ones the prefix links for CJK and Arabic text (scripts/windows/wine-prefix.sh).
# Idempotent and non-interactive.
set -euo pipefail

PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64 libgnutls30 jq fonts-wqy-microhei fonts-dejavu-core)

SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
