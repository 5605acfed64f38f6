#!/bin/sh
# Runs the tray tests on an Xvfb of their own, each protocol's suite in its
# own process on a private session bus. Usage: tray_test.sh TRAY_TEST_BINARY.
# Exit 77 means skipped.
set -u
binary=${1:?usage: tray_test.sh TRAY_TEST_BINARY}
for tool in trayer xvfb-run dbus-run-session; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool not installed (Debian packages trayer, xvfb, dbus)"
        exit 77
    fi
done
status=0
for suite in 'TrayOnX.*' 'TrayOverDBus.*'; do
    xvfb-run -a -s "-screen 0 640x480x24" dbus-run-session -- "$binary" --gtest_filter="$suite" || status=1
done
exit "$status"
