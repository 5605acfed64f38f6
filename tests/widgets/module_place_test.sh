#!/bin/sh
# A portable copy loads its print module from its own folder only. Usage:
# module_place_test.sh PRINT_TEST_BINARY PLANTED_MODULE
#
# The binary is copied to X/bin/; the planted module, whose constructor
# leaves a marker file, goes to X/lib/veltrum/modules/ (where an installed
# program's module would be). A print must then find no module at all,
# neither that one nor the build tree's, and the marker must not appear.
# As a control, the same module beside the copy is loaded.
set -u

binary=${1:?usage: module_place_test.sh PRINT_TEST_BINARY PLANTED_MODULE}
planted=${2:?usage: module_place_test.sh PRINT_TEST_BINARY PLANTED_MODULE}

tmp=$(mktemp -d /tmp/veltrum-module.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 1' INT TERM
mkdir -p "$tmp/bin" "$tmp/lib/veltrum/modules"
copy=$tmp/bin/$(basename "$binary")
cp "$binary" "$copy"
cp "$planted" "$tmp/lib/veltrum/modules/veltrum-print.so"
export VELTRUM_PLANTED_MARKER="$tmp/marker"
export VELTRUM_PRINT_EXPECT=unavailable

status=0
"$copy" --gtest_filter='PrintModule.*' || status=1
if [ -e "$tmp/marker" ]; then
    echo "FAIL: the module in lib/veltrum/modules/ beside the copy's folder was loaded"
    status=1
fi

cp "$planted" "$tmp/bin/veltrum-print.so"
"$copy" --gtest_filter='PrintModule.*' || status=1
if [ ! -e "$tmp/marker" ]; then
    echo "FAIL: the module beside the copy was not loaded (the check above proves nothing)"
    status=1
fi
exit "$status"
