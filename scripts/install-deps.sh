#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Pelmora need, when any is missing.
# Extra package names given as arguments are installed too (make fuzz adds clang).
set -euo pipefail
packages=(
  g++ make cmake pkg-config ccache tzdata
  qt6-base-dev qt6-wayland libasound2-dev alsa-utils libgtest-dev libgmock-dev libbenchmark-dev fonts-liberation
  xvfb openbox xdotool x11-utils wmctrl weston dbus at-spi2-core python3-pyatspi python3-dbus python3-gi
  python3 desktop-file-utils appstream dpkg-dev file lintian
  libpulse-dev pipewire wireplumber pipewire-pulse pulseaudio-utils libasound2-plugins  # tone via the sound server; its tests
  "$@"
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
