#!/bin/sh
# A router's notices against dunst on a private session bus and a display of
# its own: exactly one notice for the outage, one for the return, one rate
# alarm; the return takes the outage's place, and markup in the interface's
# description shows as text. Usage: notices_test.sh NOTICES_TEST_BINARY.
# Exit 77 means skipped.
set -u
binary=${1:?usage: notices_test.sh NOTICES_TEST_BINARY}
here=$(cd "$(dirname "$0")" && pwd)

if [ "${2:-}" != "--inside" ]; then
    for tool in dunst dunstctl dbus-run-session dbus-send dbus-monitor xvfb-run; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool not installed (Debian packages dunst, dbus, xvfb)"
            exit 77
        fi
    done
    exec xvfb-run -a -s "-screen 0 640x480x24" \
        dbus-run-session --config-file="$here/../widgets/session-bus.conf" -- sh "$0" "$binary" --inside
fi

tmp=$(mktemp -d /tmp/veltrum-notices.XXXXXX)
dunst_pid=""
monitor_pid=""
cleanup() {
    for pid in $monitor_pid $dunst_pid; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

dunst -conf /dev/null >"$tmp/dunst.log" 2>&1 &
dunst_pid=$!
ready=0
for _ in $(seq 1 100); do
    if dbus-send --session --print-reply --dest=org.freedesktop.Notifications /org/freedesktop/Notifications \
        org.freedesktop.Notifications.GetServerInformation >/dev/null 2>&1; then
        ready=1
        break
    fi
    sleep 0.05
done
if [ "$ready" -ne 1 ]; then
    echo "SKIP: dunst did not start on the private bus"
    exit 77
fi
dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
    >"$tmp/monitor.log" 2>&1 &
monitor_pid=$!
sleep 0.3

status=0
QT_QPA_PLATFORM=offscreen "$binary" || status=1
sleep 0.3

for row in '1 string "Lab: agent unreachable"' '1 string "Lab: agent reachable again"' \
    '1 string "Lab: rate alarm"'; do
    count=${row%% *}
    text=${row#* }
    seen=$(grep -cF "$text" "$tmp/monitor.log")
    if [ "$seen" -ne "$count" ]; then
        echo "FAIL: $text sent $seen times, not $count"
        status=1
    fi
done
# Every kind in its one place: what dunst shows, then keeps once closed, is
# one rate alarm and one agent notice (the return in the outage's place).
dunstctl close-all
sleep 0.2
dunstctl history >"$tmp/history.json"
# The message is the markup dunst draws: the description's tags in it are
# escaped, so they show as the characters the agent sent.
for text in '"Lab: agent reachable again"' '"Lab: rate alarm"' 'interface 1 (&lt;i&gt;wan&lt;/i&gt;) answers'; do
    if ! grep -qF "$text" "$tmp/history.json"; then
        echo "FAIL: dunst does not show $text"
        status=1
    fi
done
kept=$(grep -c '"summary"' "$tmp/history.json")
if [ "$kept" -ne 2 ]; then
    echo "FAIL: dunst kept $kept notices, not 2"
    status=1
fi
[ "$status" -eq 0 ] || { cat "$tmp/monitor.log"; cat "$tmp/history.json"; }
exit "$status"
