#!/usr/bin/env bash
# Checks what the two program builds must be: GUI executables of the right
# machine, carrying their resources, with msi.dll bound at run time only.
set -euo pipefail
exe32="$1"
exe64="$2"
fail=0
expect() { if ! grep -q -- "$2" <<<"$1"; then echo "FAILED: $3"; fail=1; fi; }

expect "$(file -b "$exe32")" "PE32 executable (GUI) Intel 80386" "$exe32 is a 32-bit GUI program"
expect "$(file -b "$exe64")" "PE32+ executable (GUI) x86-64" "$exe64 is a 64-bit GUI program"
for pair in "$exe32:i686" "$exe64:x86_64"; do
  exe="${pair%%:*}"; arch="${pair##*:}"
  dump="$("$arch-w64-mingw32-objdump" -p "$exe")"
  if grep -qi "DLL Name: msi.dll" <<<"$dump"; then echo "FAILED: $exe imports msi.dll"; fail=1; fi
  # The resource directory lists dialog 101, icon 102, the version record and the manifest.
  res="$(python3 "$(dirname "$0")/list-resources.py" "$exe")"
  for want in "DIALOG 101" "ICON_GROUP 102" "VERSION 1" "MANIFEST 1"; do
    expect "$res" "$want" "$exe carries $want"
  done
  expect "$(strings -el "$exe")" "Unattended Installer" "$exe version record names the Unattended Installer"
done
[ "$fail" = 0 ] && echo "program checks passed"
exit "$fail"
