#!/bin/sh
# Sends a desktop notification on a private session bus, first with no
# notification service on it, then with dunst, on a display of its own.
# With "notices", runs a router's notices (tests/app/NoticesDunstTest.cpp)
# against dunst instead: exactly one notice for the outage, one for the
# return, one rate alarm; the return takes the outage's place, and markup in
# the interface's description shows as text.
# Usage: notification_test.sh TEST_BINARY [notices]. Exit 77 means skipped.
set -u

binary=${1:?usage: notification_test.sh TEST_BINARY [notices]}
kind=${2:-notification}
here=$(cd "$(dirname "$0")" && pwd)

if [ "${3:-}" != "--inside" ]; then
    for tool in dunst dunstctl dbus-run-session dbus-send dbus-monitor xvfb-run; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool not installed (Debian packages dunst, dbus, xvfb)"
            exit 77
        fi
    done
    # dunst draws on X11: it gets an Xvfb; the test binary stays offscreen.
    exec xvfb-run -a -s "-screen 0 640x480x24" \
        dbus-run-session --config-file="$here/session-bus.conf" -- sh "$0" "$binary" "$kind" --inside
fi

tmp=$(mktemp -d /tmp/veltrum-notify.XXXXXX)
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

status=0
if [ "$kind" = notification ]; then
    "$binary" --gtest_filter='SendDesktopNotification.WithoutAServiceNothingIsSent' || status=1
    # A stand-in service of the test's own, restarted in the middle.
    "$binary" --gtest_filter='SendDesktopNotification.ANewServiceIsNotAskedToReplaceAnOldId' || status=1
fi

dunst -conf /dev/null >"$tmp/dunst.log" 2>&1 &
dunst_pid=$!
. "$here/../support/wait_for_service.sh"
if ! wait_for_service org.freedesktop.Notifications /org/freedesktop/Notifications \
    org.freedesktop.Notifications.GetServerInformation "$dunst_pid"; then
    echo "SKIP: dunst did not start on the private bus"
    cat "$tmp/dunst.log"
    exit 77
fi

# What goes over the bus: the texts as sent, the body escaped for the
# services that read markup.
dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
    >"$tmp/monitor.log" 2>&1 &
monitor_pid=$!
sleep 0.3
if [ "$kind" = notices ]; then
    "$binary" || status=1
    sleep 0.3
    for text in '"Lab: agent unreachable"' '"Lab: agent reachable again"' '"Lab: rate alarm"'; do
        seen=$(grep -cF "string $text" "$tmp/monitor.log")
        [ "$seen" -eq 1 ] || { echo "FAIL: $text sent $seen times, not once"; status=1; }
    done
    # Every kind in its one place: once closed, dunst keeps one rate alarm
    # and one agent notice, the return in the outage's place. Its message is
    # the markup it draws: the description's tags escaped show as written.
    dunstctl close-all
    sleep 0.2
    dunstctl history >"$tmp/history.json"
    for text in '"Lab: agent reachable again"' '"Lab: rate alarm"' 'interface 1 (&lt;i&gt;wan&lt;/i&gt;) answers'; do
        grep -qF "$text" "$tmp/history.json" || { echo "FAIL: dunst does not show $text"; status=1; }
    done
    kept=$(grep -c '"summary"' "$tmp/history.json")
    [ "$kept" -eq 2 ] || { echo "FAIL: dunst kept $kept notices, not 2"; status=1; }
    exit "$status"
fi
"$binary" --gtest_filter='SendDesktopNotification.TheServiceTakesIt' || status=1
sleep 0.2
for text in 'string "90 % of the monthly quota used"' \
    'string "Lab &lt;b&gt;1&lt;/b&gt;: Quota: 45.0 GB of 50 GB this period (90 %)"'; do
    if ! grep -qF "$text" "$tmp/monitor.log"; then
        echo "FAIL: not seen on the bus: $text"
        cat "$tmp/monitor.log"
        status=1
    fi
done
exit "$status"
