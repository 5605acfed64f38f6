#!/usr/bin/env bash
# `veltrum --usage` as scripts run it, with no display: a profile whose
# interface has no history yet says so and exits 0 without creating the
# history; --json and --csv need --usage and exclude each other.
set -euo pipefail
. "$(dirname "$0")/../dist/guard.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$1" "$work/veltrum" # the portable layout: the history beside the program
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
printf '[Host]\n01=10.1.2.3:1161\n[NumerInterfaceu]\n01=4\n[DzienRozliczenia]\n01=15\n' >"$work/office.vlq"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for format in "" --json --csv; do
  status=0
  # shellcheck disable=SC2086
  "$work/veltrum" --usage $format --profile "$work/office.vlq" >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq 0 ] || fail "--usage $format exit $status"
  [ -z "$format" ] && shown=$work/out || shown=$work/err
  grep -q "No usage has been recorded yet for interface 4 of 10.1.2.3:1161" "$shown" || fail "--usage $format: $(cat "$work/out" "$work/err")"
  [ -z "$format" ] || [ ! -s "$work/out" ] || fail "--usage $format wrote to standard output"
done
[ ! -e "$work/usage.sqlite3" ] || fail "--usage created the history"

# A profile that names no router yet: the first start's default agent is
# never named as if it had been recorded.
printf '[NumerInterfaceu]\n01=1\n' >"$work/new.vlq"
"$work/veltrum" --usage --profile "$work/new.vlq" >"$work/out" 2>"$work/err" || fail "--usage of a new profile failed"
grep -q "No router is set" "$work/out" || fail "new profile: $(cat "$work/out" "$work/err")"
! grep -q "192.168.1.1" "$work/out" "$work/err" || fail "new profile names the default agent"

# Every interface: an empty history is an empty array.
status=0
"$work/veltrum" --usage --all --json --profile "$work/office.vlq" >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] && [ "$(cat "$work/out")" = "[]" ] || fail "--usage --all --json: $status $(cat "$work/out" "$work/err")"

for args in "--json" "--csv" "--usage --json --csv" "--all"; do
  status=0
  # shellcheck disable=SC2086
  "$work/veltrum" $args >/dev/null 2>&1 || status=$?
  [ "$status" -eq 2 ] || fail "'$args' exit $status, expected 2"
done

[ "$failures" -eq 0 ] || exit 1
echo "usage command: all checks passed"
