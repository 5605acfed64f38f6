# Sourced by the tests that start a service on a private session bus.
# wait_for_service NAME PATH METHOD PID: waits up to 5 s for NAME to answer
# METHOD at PATH on the session bus; gives up at once when process PID (the
# service) has ended.
wait_for_service() {
    for _ in $(seq 1 100); do
        if dbus-send --session --print-reply --dest="$1" "$2" "$3" >/dev/null 2>&1; then
            return 0
        fi
        kill -0 "$4" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}
