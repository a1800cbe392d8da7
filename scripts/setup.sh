#!/usr/bin/env bash
# Installs everything the installer, its stand-in services, tests and benchmarks need.
# Idempotent and non-interactive; safe to run on every build.
set -euo pipefail

PACKAGES=(
  build-essential g++ cmake ninja-build pkg-config ccache git
  libglib2.0-dev libgtk-3-dev libsoup-3.0-dev glib-networking gsettings-desktop-schemas
  libcurl4-openssl-dev libssl-dev openssl ca-certificates curl
  rapidjson-dev libarchive-dev libarchive-tools p7zip-full libmount-dev
  libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev libspdlog-dev libpugixml-dev
  clang libclang-rt-14-dev
  tinyproxy nginx-light desktop-file-utils xvfb xauth xdotool x11-utils openbox
  libcairo2-dev libpango1.0-dev libgdk-pixbuf-2.0-dev
  fonts-wqy-microhei fonts-dejavu-core
  librsvg2-bin fonts-tlwg-loma-otf
  icoutils
  at-spi2-core libatspi2.0-dev dbus-daemon
)

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
  # The proxy used by the tests is started on demand by the tests themselves.
  if command -v systemctl >/dev/null 2>&1; then $SUDO systemctl disable --now tinyproxy >/dev/null 2>&1 || true; fi
  $SUDO service tinyproxy stop >/dev/null 2>&1 || true
  # So is the web server the download tests run with a configuration of their own.
  if command -v systemctl >/dev/null 2>&1; then $SUDO systemctl disable --now nginx >/dev/null 2>&1 || true; fi
  $SUDO service nginx stop >/dev/null 2>&1 || true
fi

# An unprivileged user with a home folder, for the tests of the installer started as root by a
# desktop user (sudo, pkexec): it must give up root for this user. Those tests skip without it.
TEST_USER=tarnwick-tester
if ! getent passwd "$TEST_USER" >/dev/null; then
  $SUDO useradd --create-home --user-group --shell /usr/sbin/nologin \
    --comment "Tarnwick installer tests" "$TEST_USER"
fi
