#!/usr/bin/env bash
# Exits 0 where this machine runs 32-bit x86 code, 1 where it does not (a kernel without
# IA-32 emulation, or another processor). Asks the 32-bit dynamic loader that wine32 brings
# for its version: where 32-bit code cannot run, starting it fails with "Exec format error".
# With EMULATE_32_BIT set it answers 1 anyway, to try the emulated path on any machine.
[ -z "${EMULATE_32_BIT:-}" ] && [ -x /lib/ld-linux.so.2 ] &&
  /lib/ld-linux.so.2 --version > /dev/null 2>&1
