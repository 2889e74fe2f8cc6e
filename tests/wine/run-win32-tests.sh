#!/bin/bash
# Runs the Win32 tests (win32_tests.exe of the x86_64 build) under 64-bit Wine
# in a fresh prefix:
#
#   run-win32-tests.sh <win32_tests.exe> <prefix-dir> [test arguments...]
#
# The prefix dir is deleted and made again. The script sets Wine's null
# display driver (no display is needed), builds the fixture packages with
# wixl into C:\fixtures, installs installed.msi, adds the registry values the
# tests read (in the 32-bit view), then runs the tests with NV_FIXTURES,
# NV_PROGRAM (the NvRunUnattended.exe beside the tests) and NV_HELPERS (the
# folder of the helper programs and libraries built from tests/e2e/helpers)
# and exits with their exit code. Extra arguments go to the test program,
# e.g. --gtest_filter=...
#
# Environment: WINE64 (default /usr/lib/wine/wine64), NV_TEST_TIMEOUT
# (seconds for the test program, default 600).

set -u -o pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 <win32_tests.exe> <prefix-dir> [test arguments...]" >&2
  exit 2
fi

tests_exe=$(readlink -f -- "$1")
prefix=$(readlink -m -- "$2")
shift 2
here=$(dirname -- "$(readlink -f -- "$0")")

WINE=${WINE64:-/usr/lib/wine/wine64}
WINESERVER=$(dirname -- "$WINE")/wineserver
timeout_seconds=${NV_TEST_TIMEOUT:-600}

fail() {
  echo "run-win32-tests: $*" >&2
  exit 1
}

[ -f "$tests_exe" ] || fail "no test program at $1"
[ -x "$WINE" ] || fail "no wine64 at $WINE"
[ -x "$WINESERVER" ] || fail "no wineserver at $WINESERVER"
command -v wixl >/dev/null || fail "wixl (msitools) is needed to build the fixture packages"
case "$prefix" in
  /) fail "refusing to use / as the prefix" ;;
esac

export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# No display: windows go to the null driver set below.
unset DISPLAY WAYLAND_DISPLAY
# A known locale, so that the prefix gets the Western European code page.
export LC_ALL=C.UTF-8

# A server left over from an interrupted run would keep the old prefix alive.
if [ -d "$prefix" ]; then
  "$WINESERVER" -k >/dev/null 2>&1 || true
fi
rm -rf -- "$prefix" || fail "cannot remove $prefix"
mkdir -p -- "$prefix" || fail "cannot create $prefix"
trap '"$WINESERVER" -k >/dev/null 2>&1 || true' EXIT

wine() {
  "$WINE" "$@" </dev/null
}

# The first command makes the prefix; wait until it has settled.
echo "run-win32-tests: creating the prefix $prefix"
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 ||
  fail "cannot set up the prefix"
"$WINESERVER" -w

# The fixture packages.
fixtures=$prefix/drive_c/fixtures
mkdir -p -- "$fixtures" || fail "cannot create $fixtures"
long_name=$(printf 'N%.0s' $(seq 1200))
sed "s/@LONG_NAME@/$long_name/" "$here/fixtures/longname.wxs" >"$fixtures/longname.wxs" || fail "longname.wxs"
wixl -o "$fixtures/props.msi" "$here/fixtures/props.wxs" || fail "cannot build props.msi"
wixl -o "$fixtures/longname.msi" "$fixtures/longname.wxs" || fail "cannot build longname.msi"
wixl -o "$fixtures/installed.msi" "$here/fixtures/installed.wxs" || fail "cannot build installed.msi"
rm -f -- "$fixtures/longname.wxs"

echo "run-win32-tests: installing installed.msi"
wine msiexec /i 'C:\fixtures\installed.msi' /qn >/dev/null 2>&1 || fail "msiexec could not install installed.msi"
"$WINESERVER" -w

# Registry values, where a 32-bit program finds them.
reg32() {
  wine reg add "$@" /reg:32 /f >/dev/null 2>&1 || fail "reg add $*"
}
reg32 'HKLM\Software\Norvasoft\Setup' /v EnableLogging /t REG_DWORD /d 0
reg32 'HKLM\Software\Norvasoft\Setup' /v NORVAROOT /t REG_SZ /d 'C:\Suite\Root'
reg32 'HKLM\Software\NvTest' /v Long /t REG_SZ /d "$(printf 'x%.0s' $(seq 300))"
"$WINESERVER" -w

# The program beside the tests, as a path on Wine's drive Z: (the Unix root).
program=$(dirname -- "$tests_exe")/NvRunUnattended.exe
[ -f "$program" ] || echo "run-win32-tests: warning: no $program; its tests will fail" >&2
export NV_FIXTURES='C:\fixtures'
export NV_PROGRAM="Z:${program//\//\\}"
helpers=$(dirname -- "$tests_exe")/tests/e2e
[ -d "$helpers" ] || echo "run-win32-tests: warning: no $helpers; the tests that use the helpers will fail" >&2
export NV_HELPERS="Z:${helpers//\//\\}"

echo "run-win32-tests: running $tests_exe"
timeout --kill-after=10 "$timeout_seconds" "$WINE" "$tests_exe" "$@" </dev/null
status=$?
if [ $status -eq 124 ]; then
  echo "run-win32-tests: the tests did not finish within $timeout_seconds seconds" >&2
fi
exit $status
