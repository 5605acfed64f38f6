#!/usr/bin/env bash
# The Debian package built by scripts/package (folder in $VELTRUM_PACKAGE_DIR;
# skipped when unset): its contents, control fields, lintian, the installed
# files' validators, then the unpacked copy run on an X display with a fresh
# HOME. Runs under xvfb-run (see tests/dist.cmake).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/guard.sh"
[ -n "${VELTRUM_PACKAGE_DIR:-}" ] || { echo "VELTRUM_PACKAGE_DIR unset: no package to test"; exit 77; }
shopt -s nullglob
debs=("$VELTRUM_PACKAGE_DIR"/veltrum_*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "FAIL: expected one veltrum_*.deb in $VELTRUM_PACKAGE_DIR, found ${#debs[@]}" >&2; exit 1; }
deb=${debs[0]}
app_id=io.github.veltrum.Veltrum

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

echo "== $deb"
[[ "$(basename "$deb")" =~ ^veltrum_[0-9.]+_$(dpkg --print-architecture)\.deb$ ]] || fail "file name $(basename "$deb")"

# Contents: exactly the expected list, nothing more.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|/$||' | sort >"$work/contents"
sed "s/@APP_ID@/$app_id/g" "$here/package_contents.txt" | sort >"$work/expected"
if ! diff -u "$work/expected" "$work/contents"; then fail "package contents differ (- expected, + found)"; fi

# Control fields.
dpkg-deb -f "$deb" Package Version Architecture Section Maintainer Depends Description >"$work/control"
cat "$work/control"
grep -qx "Section: net" "$work/control" || fail "section is not net"
grep -q "^Maintainer: .* <.*@.*>$" "$work/control" || fail "maintainer field"
grep -q "^Depends: .*libqt6widgets6" "$work/control" || fail "dependencies from dpkg-shlibdeps missing"
[ "$(grep -c '^ ' "$work/control")" -ge 3 ] || fail "no long description"

# lintian: no error (its full output goes to the log).
lintian_status=0
lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || lintian_status=$?
echo "-- lintian:"; cat "$work/lintian"
[ "$lintian_status" -eq 0 ] || fail "lintian reported errors"

# The installed files.
root=$work/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
for size in 16 22 24 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
  file "$png" | grep -q "PNG image data, $size x $size," || fail "icon $png is not a $size px PNG"
done
grep -q "<svg" "$root/usr/share/icons/hicolor/scalable/apps/$app_id.svg" || fail "scalable icon"
grep -q "^Icon=$app_id$" "$root/usr/share/applications/$app_id.desktop" || fail "desktop entry's icon"
zcat "$root/usr/share/man/man1/veltrum.1.gz" | grep -q "QT_QPA_PLATFORM" || fail "manual page"
# Print support is loaded at the first print, from the program's own module.
readelf -d "$root/usr/bin/veltrum" | grep -q "libQt6PrintSupport" && fail "the program links print support"
readelf -d "$root/usr/lib/veltrum/modules/veltrum-print.so" | grep -q "libQt6PrintSupport" || fail "print module"
# ... and from its install path only, never from beside a copy of the program.
grep -qaF "/usr/lib/veltrum/modules" "$root/usr/bin/veltrum" || fail "the program does not name its module's path"

# The unpacked copy, as a new user on this display.
bin=$root/usr/bin/veltrum
export HOME=$work/home
mkdir -p "$HOME"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
export QT_QPA_PLATFORM=xcb
config=$HOME/.config/veltrum
"$here/command_line_test.sh" "$bin" .config/veltrum/ || fail "command line of the packaged program"

# First start: the settings dialog opens and its opening creates the default
# profile in the settings folder, readable by the user alone.
"$bin" 2>"$work/first.err" &
pids+=($!)
first=$!
if ! timeout 30 xdotool search --sync --onlyvisible --name '^Settings:' >/dev/null; then
  fail "the settings dialog did not open on the first start"; cat "$work/first.err" >&2
fi
timeout 10 xdotool search --sync --class '^Veltrum$' >/dev/null || fail "no window of class Veltrum (StartupWMClass)"
for _ in $(seq 50); do [ -f "$config/Default.vlq" ] && break; sleep 0.1; done
[ "$(stat -c %a "$config" 2>/dev/null)" = 700 ] || fail "settings folder mode $(stat -c %a "$config" 2>&1)"
[ "$(stat -c %a "$config/Default.vlq" 2>/dev/null)" = 600 ] || fail "profile mode $(stat -c %a "$config/Default.vlq" 2>&1)"
[ "$(ls -A "$root/usr/bin")" = veltrum ] || fail "files beside the executable: $(ls -A "$root/usr/bin")"
kill "$first" && wait "$first" 2>/dev/null || true

# --profile: a profile of our own polls the local agent it names, the
# bandwidth graph opens with it and Save as BMP writes to the pictures folder;
# app.ini is never written.
port=$(for p in $(seq 16300 16400); do
  ss -Hlun | awk '{print $4}' | grep -q ":$p\$" || { echo "$p"; break; }
done)
community=veltrum-package
printf 'rocommunity %s 127.0.0.1\nsysName veltrum-package\n' "$community" >"$work/snmpd.conf"
/usr/sbin/snmpd -f -Lf "$work/snmpd.log" -C -c "$work/snmpd.conf" -p "$work/snmpd.pid" "udp:127.0.0.1:$port" &
pids+=($!)
agent_count() { snmpget -v1 -c "$community" -Oqv -t 1 -r 2 "127.0.0.1:$port" 1.3.6.1.2.1.11.1.0 2>/dev/null || echo 0; }
for _ in $(seq 50); do [ "$(agent_count)" != 0 ] && break; sleep 0.1; done
profile=$work/lab.vlq
printf '[Host]\n01=127.0.0.1:%s\n[Haslo]\n01=%s\n[Sesja]\n01=pkgtest\n[PokazWykres]\n01=1\n' \
  "$port" "$community" >"$profile"
before=$(agent_count)
"$bin" --profile "$profile" 2>"$work/second.err" &
pids+=($!)
second=$!
graph=$(timeout 30 xdotool search --sync --onlyvisible --name '^pkgtest - Bandwidth graph$' | head -n 1) ||
  fail "the bandwidth graph of the chosen profile did not open"
sleep 3
after=$(agent_count)
# Our own two reads count too; the program adds one a second.
[ $((after - before)) -ge 4 ] || fail "the agent saw $((after - before)) requests in 3 s"
if [ -n "${graph:-}" ]; then
  xdotool mousemove --window "$graph" 200 200 click 3
  sleep 0.5
  xdotool key Down Down Down Return # Close, Print, Save as BMP
  for _ in $(seq 50); do
    ls "$HOME/Pictures/Veltrum"/VQ_pkgtest_b*.bmp >/dev/null 2>&1 && break
    sleep 0.1
  done
  ls "$HOME/Pictures/Veltrum"/VQ_pkgtest_b*.bmp >/dev/null 2>&1 || fail "Save as BMP wrote nothing to ~/Pictures/Veltrum"
fi
kill "$second" && wait "$second" 2>/dev/null || true
[ ! -e "$config/app.ini" ] || fail "--profile wrote app.ini"
[ "$(ls -A "$root/usr/bin")" = veltrum ] || fail "files beside the executable: $(ls -A "$root/usr/bin")"

[ "$failures" -eq 0 ] || { echo "package: $failures check(s) failed" >&2; exit 1; }
echo "package: all checks passed"
