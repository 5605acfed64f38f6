#!/bin/sh
# Prints a chart through a CUPS server of its own and checks the page that
# comes out. Usage: print_test.sh PRINT_TEST_BINARY
#
# The server lives in a temporary folder and listens only on a unix socket
# there; the client side (Qt's print support, lpadmin) finds it through
# CUPS_SERVER. The printer is a raw queue on a file: device, so the PDF that
# Qt produces reaches the output file unchanged and no filter or network is
# involved. Exit 77 means skipped.
#
# The printer is a file: device (allowed by FileDevice Yes) with a small PPD
# of our own whose only filter is CUPS's gziptoany, which passes the PDF that
# Qt produces through unchanged. A queue without any PPD would not do: CUPS
# runs neither filter nor backend for a raw queue on a file: device and
# completes the job without writing anything.
set -u

binary=${1:?usage: print_test.sh PRINT_TEST_BINARY}

cupsd_bin=$(command -v cupsd || { [ -x /usr/sbin/cupsd ] && echo /usr/sbin/cupsd; })
lpadmin_bin=$(command -v lpadmin || { [ -x /usr/sbin/lpadmin ] && echo /usr/sbin/lpadmin; })
if [ -z "$cupsd_bin" ] || [ -z "$lpadmin_bin" ] || ! command -v lpstat >/dev/null 2>&1; then
    echo "SKIP: cupsd, lpadmin or lpstat not installed (Debian packages cups, cups-client)"
    exit 77
fi
if ! command -v pdfinfo >/dev/null 2>&1; then
    echo "SKIP: pdfinfo not installed (Debian package poppler-utils)"
    exit 77
fi
if [ "$(id -u)" -ne 0 ]; then
    # cupsd runs its jobs under a user of its own, which needs root to switch to.
    echo "SKIP: the private CUPS server needs root"
    exit 77
fi

tmp=$(mktemp -d /tmp/veltrum-print.XXXXXX)
chmod 0755 "$tmp"
cupsd_pid=""
cleanup() {
    if [ -n "$cupsd_pid" ]; then
        kill "$cupsd_pid" 2>/dev/null
        wait "$cupsd_pid" 2>/dev/null
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

mkdir -p "$tmp/spool/tmp" "$tmp/cache" "$tmp/state" "$tmp/log" "$tmp/ppd" "$tmp/out" "$tmp/home"
chmod 0777 "$tmp/out"
socket="$tmp/cups.sock"
out="$tmp/out/chart.pdf"

cat >"$tmp/cupsd.conf" <<CONF
Listen $socket
Browsing No
BrowseLocalProtocols none
DefaultAuthType None
WebInterface No
LogLevel warn
MaxJobs 10
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
    Allow all
  </Limit>
</Policy>
CONF

cat >"$tmp/cups-files.conf" <<CONF
ServerRoot $tmp
RequestRoot $tmp/spool
TempDir $tmp/spool/tmp
CacheDir $tmp/cache
StateDir $tmp/state
AccessLog $tmp/log/access_log
ErrorLog $tmp/log/error_log
PageLog $tmp/log/page_log
Printcap $tmp/printcap
FileDevice Yes
SystemGroup root
CONF

# The client library reads lpoptions and client.conf below CUPS_SERVERROOT and
# HOME; point both here so the machine's own settings cannot pick the printer.
export CUPS_SERVER="$socket"
export CUPS_SERVERROOT="$tmp"
export HOME="$tmp/home"
unset LPDEST PRINTER

"$cupsd_bin" -f -c "$tmp/cupsd.conf" -s "$tmp/cups-files.conf" &
cupsd_pid=$!

ready=0
for _ in $(seq 1 100); do
    if [ -S "$socket" ] && lpstat -r 2>/dev/null | grep -q "is running"; then
        ready=1
        break
    fi
    if ! kill -0 "$cupsd_pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
if [ "$ready" -ne 1 ]; then
    echo "FAIL: the private cupsd did not start"
    cat "$tmp/log/error_log" 2>/dev/null
    exit 1
fi

status=0

# First without any printer: the chart must refuse with the system's message.
if ! VELTRUM_PRINT_EXPECT=none "$binary" --gtest_filter='PrintChartLandscape.*'; then
    status=1
fi

cat >"$tmp/veltrum-pdf.ppd" <<'PPD'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "VELTRUM.PPD"
*Manufacturer: "Veltrum"
*Product: "(Veltrum test file printer)"
*ModelName: "Veltrum test file printer"
*ShortNickName: "Veltrum test file printer"
*NickName: "Veltrum test file printer"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsFilter: "application/pdf 0 gziptoany"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageSize Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageRegion Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 18 577 824"
*ImageableArea Letter/US Letter: "18 18 594 774"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension Letter/US Letter: "612 792"
PPD

# The file printer, made the server's default.
"$lpadmin_bin" -p VeltrumPDF -E -v "file://$out" -P "$tmp/veltrum-pdf.ppd" 2>"$tmp/lpadmin.err" || {
    echo "FAIL: lpadmin could not add the printer"
    cat "$tmp/lpadmin.err" "$tmp/log/error_log" 2>/dev/null
    exit 1
}
"$lpadmin_bin" -d VeltrumPDF || {
    echo "FAIL: lpadmin could not make the printer the default"
    exit 1
}

if ! VELTRUM_PRINT_EXPECT="$out" "$binary" --gtest_filter='PrintChartLandscape.*'; then
    status=1
fi

if [ "$status" -ne 0 ]; then
    echo "--- cupsd error_log"
    cat "$tmp/log/error_log" 2>/dev/null
fi
exit "$status"
