#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, skipping what is there.
# Runs as root without prompts (or through sudo when not root).
set -euo pipefail

packages=(g++-mingw-w64-i686-posix mingw-w64-tools wine wine32:i386 xvfb xauth fonts-wine
          g++ cmake make time googletest python3 openssl osslsigncode icoutils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
