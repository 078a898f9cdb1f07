#!/usr/bin/env bash
# Starts Pelmora in the current directory; without a display, in Xvfb with a screenshot.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
program="$build/app/pelmora"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program"
fi

display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
fi
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT INT TERM
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
# A window mapped while the window manager is still starting can be left unmanaged and unmapped.
for _ in $(seq 50); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
"$program" &
pelmora=$!
sleep 2
window=""
for _ in $(seq 50); do
  window=$(xdotool search --name '^Pelmora - ' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
"$build/tools/grab_screen" "$build/pelmora.png" ${window:+"$window"} || true
echo "No display found: Pelmora runs in Xvfb on $DISPLAY (started in $(pwd))."
echo "A screenshot of it is in $build/pelmora.png. Press Ctrl+C to stop."
wait "$pelmora" || true
kill "$xvfb" 2>/dev/null || true
