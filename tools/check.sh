#!/usr/bin/env bash
# Builds the three builds (and the sanitizer build) and runs every test:
# the fuzz targets for a short while each,
# native unit tests, the same under ASan/UBSan, the Win32 tests under Wine and
# the end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
jobs="${JOBS:-2}"

for preset in win32 win64 native asan; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

echo "== checks of the shipping program"
tools/check-exe.sh build/win32/NvRunUnattended.exe build/win64/NvRunUnattended.exe
tools/check-imports.py tools/imports-allowed.txt i686-w64-mingw32-objdump \
  build/win32/NvRunUnattended.exe build/win32/NvCheckMedia.exe

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer (with the fault sweep over whole runs)"
ctest --preset asan -L unit -j "$jobs"

echo "== fuzz targets, a short run each (tools/fuzz.sh 600 for a long one)"
tools/fuzz.sh "${FUZZ_SECONDS:-20}"

echo "== all tests: unit, Win32 under Wine, end-to-end under Wine"
ctest --preset native -j "$jobs"
