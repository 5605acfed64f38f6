#!/usr/bin/env bash
# The command line of the program at $1, with no display at all: --version,
# --help (options, folders, the platform variable), --profile, unknown
# options, and a start with no display. $2 (optional) is the settings folder --help must name, relative to
# HOME (the installed layout); without it, the program's own folder.
set -euo pipefail
. "$(dirname "$0")/guard.sh"
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME"
if [ -n "${2:-}" ]; then want_config=$HOME/$2; else want_config=$(dirname "$(readlink -f "$bin")")/; fi
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_CONFIG_HOME
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# run ARGS...: sets status, out, err
run() {
  status=0
  "$bin" "$@" >"$work/out" 2>"$work/err" || status=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}

run --version
[ "$status" -eq 0 ] || fail "--version exit $status ($err)"
[[ "$out" =~ ^Veltrum\ [0-9]+\.[0-9]+ ]] || fail "--version printed '$out'"
[ -z "$err" ] || fail "--version wrote to standard error: $err"

run --help
[ "$status" -eq 0 ] || fail "--help exit $status ($err)"
for text in --profile --version QT_QPA_PLATFORM XWayland "$want_config"; do
  grep -qF -- "$text" "$work/out" || fail "--help does not mention '$text'"
done

for args in "--frobnicate" "-x" "stray" "--profile" "--profile $work/none.vlq" "--profile $work"; do
  # shellcheck disable=SC2086
  run $args
  [ "$status" -eq 2 ] || fail "'$args' exit $status, expected 2"
  [ -n "$err" ] || fail "'$args' gave no message on standard error"
  [ -z "$out" ] || fail "'$args' wrote to standard output: $out"
done
run --frobnicate
grep -q "frobnicate" "$work/err" || fail "unknown option message does not name it: $err"

# Without a display (none at all, or X11 asked for with none to reach) it says
# so in one line and exits 1, before making the settings folder.
for display in "" ":4242"; do
  for platform in "" xcb; do
    DISPLAY=$display QT_QPA_PLATFORM=$platform run
    what="DISPLAY='$display' QT_QPA_PLATFORM='$platform'"
    [ "$status" -eq 1 ] || fail "$what: exit $status, expected 1 ($err)"
    [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$what: not one line: $err"
    grep -q "graphical display" "$work/err" || fail "$what: message '$err'"
    [ -z "$out" ] || fail "$what: wrote to standard output: $out"
  done
done

# Nothing above may have written a file anywhere.
[ -z "$(find "$HOME" -mindepth 1 | head -n 1)" ] || fail "files appeared under HOME: $(find "$HOME" -mindepth 1)"

[ "$failures" -eq 0 ] || exit 1
echo "command line: all checks passed"
