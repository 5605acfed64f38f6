#!/bin/sh
# Runs the test binary given as arguments under openbox, on the display that
# xvfb-run has set up, and stops the window manager (by its pid) afterwards.
set -eu
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
# The window manager is ready once it announces itself on the root window.
ready=0
for _ in $(seq 100); do
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    ready=1
    break
  fi
  sleep 0.05
done
status=0
if [ "$ready" = 1 ]; then
  "$@" || status=$?
else
  echo "openbox did not start" >&2
  status=1
fi
kill "$wm" 2>/dev/null || true
wait "$wm" 2>/dev/null || true
exit "$status"
