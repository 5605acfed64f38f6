#!/bin/sh
# Runs the SNMPv3 settings test with a Secret Service (gnome-keyring, its
# login keyring made and unlocked with a test password: an empty one makes
# none) on a private session bus.
# Usage: keyring_test.sh TEST_BINARY. Exit 77 means skipped.
set -u

binary=${1:?usage: keyring_test.sh TEST_BINARY}
here=$(cd "$(dirname "$0")" && pwd)

if [ "${2:-}" != "--inside" ]; then
    for tool in dbus-run-session gnome-keyring-daemon dbus-send; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIP: $tool not installed (Debian packages dbus, gnome-keyring)"
            exit 77
        fi
    done
    exec dbus-run-session --config-file="$here/keyring-bus.conf" -- sh "$0" "$binary" --inside
fi

# The keyring's files in a home of its own, never the user's.
home=$(mktemp -d /tmp/veltrum-keyring.XXXXXX)
trap 'kill "$daemon" 2>/dev/null; rm -rf "$home"' EXIT
trap 'exit 1' INT TERM
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
printf 'veltrum-test' | gnome-keyring-daemon --foreground --unlock --components=secrets >"$home/daemon.log" 2>&1 &
daemon=$!
. "$here/../support/wait_for_service.sh"
if ! wait_for_service org.freedesktop.secrets /org/freedesktop/secrets org.freedesktop.DBus.Peer.Ping "$daemon"; then
    echo "SKIP: gnome-keyring-daemon did not start on the private bus"
    cat "$home/daemon.log"
    exit 77
fi
VELTRUM_TEST_KEYRING=1 "$binary" --gtest_filter='RealAgentTest.SnmpV3ProfileKeepsNoPassphrase:RealAgentTest.LockedKeyringIsNamedAndNothingSent'
