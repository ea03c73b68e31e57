#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, skipping what is there.
# Runs as root without prompts (or through sudo when not root).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# Both MinGW-w64 compilers (the shipped 32-bit programs and their 64-bit builds), Wine for
# 64-bit Windows with its 32-bit half (WOW64), and the tools of the tests.
packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64
          wine32:i386 xvfb xauth fonts-wine g++ cmake make time googletest python3 openssl
          osslsigncode icoutils python3-pefile libimage-exiftool-perl lintian clang dpkg-dev)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
updated=""
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    updated=""
  fi
  [ -n "$updated" ] || { $sudo apt-get update -qq; updated=1; }
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

install_missing "${packages[@]}"
# Where 32-bit code cannot run, the shipped programs are tried once under emulation: qemu
# for i386 programs and a 32-bit C compiler for the small preload library it needs.
if ! bash "$here/runs-32-bit.sh"; then
  install_missing qemu-user-static gcc-multilib
fi
