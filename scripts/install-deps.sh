#!/usr/bin/env bash
# Installs the Debian packages that Pelmora needs, when any is missing, by set:
#   run      building and running the program (the default of `make run`)
#   test     the unit, widget and whole-program tests and the benchmarks
#   package  building and checking the .deb
# With no set named, all three. Other arguments are extra package names (make fuzz adds clang).
set -euo pipefail

run_set=(
  g++ make cmake pkg-config ccache tzdata dpkg-dev
  qt6-base-dev qt6-wayland libpulse-dev libasound2-dev fonts-liberation
  libxcb1-dev # the alarm's attention request and activation on X11
  # Without a display, make run shows the window in Xvfb under openbox and takes a screenshot.
  xvfb openbox xdotool x11-utils wmctrl
)
test_set=(
  libgtest-dev libgmock-dev libbenchmark-dev alsa-utils
  weston dbus at-spi2-core python3 python3-pyatspi python3-dbus python3-gi
  # A GNOME-family window manager, and a real session manager (xsm) with its iceauth.
  metacity x11-session-utils x11-xserver-utils
  # The tone through a real sound server, and through ALSA's pulse plugin.
  pipewire wireplumber pipewire-pulse pulseaudio-utils libasound2-plugins
)
package_set=(desktop-file-utils appstream file lintian)

packages=()
extra=()
for arg in "$@"; do
  case "$arg" in
    run) packages+=("${run_set[@]}") ;;
    test) packages+=("${test_set[@]}") ;;
    package) packages+=("${package_set[@]}") ;;
    *) extra+=("$arg") ;;
  esac
done
[ ${#packages[@]} -eq 0 ] && packages=("${run_set[@]}" "${test_set[@]}" "${package_set[@]}")
packages+=("${extra[@]}")

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
