#!/usr/bin/env bash
# Installs what this project needs on a Debian machine and is not there yet:
# the compilers of the three builds, CMake and Ninja, GoogleTest, 64-bit Wine,
# the package tools (wixl, msitools), the signing tools of the media check's
# tests (openssl, osslsigncode), clang for the fuzz targets, a virtual
# display (xvfb) for the Wine tests that need windows to be drawn and the
# header-only JSON library (nlohmann-json3-dev, needed at build time only). Asks apt
# only when something is missing, so a second call is quiet and takes a moment. Never adds the i386
# architecture: the tests run the x86_64 build under 64-bit Wine.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev python3 file binutils
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  wine64 wixl msitools openssl osslsigncode clang-14 libclang-rt-14-dev xvfb nlohmann-json3-dev
)

missing=()
for p in "${packages[@]}"; do
  status="$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)"
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
