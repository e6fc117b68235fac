#!/usr/bin/env bash
# Set-up, build, and start the monitor, with its web view beside it. Usage:
# scripts/run.sh
#
# brenna-web serves the live panel and the archive at the address it prints
# (http://127.0.0.1:10088/ unless its settings say otherwise,
# docs/web-view.md); it ends with the monitor.
#
# On a desktop (DISPLAY or WAYLAND_DISPLAY set) the window simply opens.
# Without one, the monitor runs on a private virtual display (Xvfb with the
# openbox window manager, which carries out the maximise) and a screenshot
# of that display is refreshed every second in build/run/screen.png. Ctrl+C
# ends the run; the virtual display goes with it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

scripts/setup.sh
cmake --preset default
cmake --build --preset default

PROGRAM=$ROOT/build/bin/BrennaCenter
WEB=$ROOT/build/bin/brenna-web
WEB_PID=

# The web view beside the monitor; its first line names the address. Its
# log is its owner's alone: on the LAN it holds a pairing link.
start_web() {
  local log=$1 line
  rm -f "$log"
  (umask 077 && : >"$log")
  "$WEB" >>"$log" 2>&1 &
  WEB_PID=$!
  for _ in $(seq 50); do
    line=$(grep -m1 -o 'http://[^ ]*' "$log" || true)
    [[ -n $line ]] && { echo "run: the line in a browser: $line (brenna-web, log $log)"; return; }
    kill -0 "$WEB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "run: brenna-web did not start (see $log); the monitor runs without it" >&2
}

private_runtime_dir() {
  local dir
  dir=$(mktemp -d "${TMPDIR:-/tmp}/brenna-runtime.XXXXXX")
  chmod 0700 "$dir"
  echo "$dir"
}

if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
    XDG_RUNTIME_DIR=$(private_runtime_dir)
    export XDG_RUNTIME_DIR
  fi
  mkdir -p "$ROOT/build/run"
  start_web "$ROOT/build/run/brenna-web.log"
  trap '[[ -n $WEB_PID ]] && kill "$WEB_PID" 2>/dev/null; true' EXIT
  status=0
  "$PROGRAM" || status=$?
  exit "$status"
fi

RUN_DIR=$ROOT/build/run
SCREEN=$RUN_DIR/screen.png
mkdir -p "$RUN_DIR"
XDG_RUNTIME_DIR=$(private_runtime_dir)
export XDG_RUNTIME_DIR

XVFB_PID= OPENBOX_PID= SHOT_PID= APP_PID=
cleanup() {
  local pid
  for pid in $APP_PID $WEB_PID $SHOT_PID $OPENBOX_PID $XVFB_PID; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in $APP_PID $WEB_PID $SHOT_PID $OPENBOX_PID $XVFB_PID; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display number itself and reports it once it accepts
# connections.
DISPLAY_FILE=$XDG_RUNTIME_DIR/display
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$DISPLAY_FILE" 2>"$RUN_DIR/xvfb.log" &
XVFB_PID=$!
for _ in $(seq 100); do
  [[ -s $DISPLAY_FILE ]] && break
  kill -0 "$XVFB_PID" 2>/dev/null || { echo "run: Xvfb did not start (see $RUN_DIR/xvfb.log)" >&2; exit 1; }
  sleep 0.1
done
[[ -s $DISPLAY_FILE ]] || { echo "run: Xvfb did not report a display" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$DISPLAY_FILE")
unset WAYLAND_DISPLAY

openbox --sm-disable >"$RUN_DIR/openbox.log" 2>&1 &
OPENBOX_PID=$!
# The window manager must own the screen before the window asks to be
# maximised.
for _ in $(seq 50); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done

QT_QPA_PLATFORM=xcb "$PROGRAM" &
APP_PID=$!
start_web "$RUN_DIR/brenna-web.log"

(
  while kill -0 "$APP_PID" 2>/dev/null; do
    /usr/bin/import -display "$DISPLAY" -window root "$SCREEN.tmp.png" 2>/dev/null &&
      mv -f "$SCREEN.tmp.png" "$SCREEN"
    sleep 1
  done
) &
SHOT_PID=$!

echo "run: BrennaCenter is running on the virtual display $DISPLAY."
echo "run: screenshot of the screen, refreshed every second: $SCREEN"
echo "run: press Ctrl+C to stop."

status=0
wait "$APP_PID" || status=$?
APP_PID=
exit "$status"
