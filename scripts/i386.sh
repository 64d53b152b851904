#!/usr/bin/env bash
# Whether this machine runs 32-bit x86 programs, which Wine needs for our 32-bit exe, and how.
#   i386.sh setup   makes them run: natively where the processor and kernel allow it, else under
#                   qemu-i386 emulation through binfmt_misc; one line for each step it takes
#   i386.sh mode    prints native, emulated or none
# TZ594K_I386=emulated forces emulation on a machine that runs them natively, so that the emulated
# way can be run and timed anywhere; without it, a handler left by a forced run is switched off
# again where 32-bit programs run natively.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"

binfmt=/proc/sys/fs/binfmt_misc
handler="$binfmt/qemu-i386"
qemu=/usr/bin/qemu-i386-static
# i386 ELF executables and shared objects (not the loader's own interpreter checks); the same
# magic and mask as qemu's own binfmt files.
registration=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F'

forced=0
[ "${TZ594K_I386:-}" = emulated ] && forced=1
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"

say() { echo "i386: $*"; }

# A program of a few instructions that only exits 0: it runs wherever an i386 process can start.
probe="$root/build/i386-probe/probe"
make_probe() {
  [ -x "$probe" ] && return 0
  mkdir -p "$(dirname "$probe")"
  printf '%s\n' 'void _start(void) { __asm__ volatile("movl $1, %eax\n\txorl %ebx, %ebx\n\tint $0x80"); }' \
    >"$(dirname "$probe")/probe.c"
  gcc -m32 -static -nostdlib -O1 -o "$probe" "$(dirname "$probe")/probe.c"
}
runs() { "$probe" >/dev/null 2>&1; }
handler_enabled() { [ -f "$handler" ] && head -n 1 "$handler" | grep -qx enabled; }
set_handler() { echo "$1" | $SUDO tee "$handler" >/dev/null; }

mode() {
  make_probe
  if runs; then
    if handler_enabled; then echo emulated; else echo native; fi
  else
    echo none
  fi
}

setup() {
  make_probe
  # binfmt_misc handlers come before the kernel's own loader: only without one does the probe
  # tell whether the machine itself runs 32-bit code.
  if handler_enabled; then
    set_handler 0
    if runs && [ "$forced" = 0 ]; then
      say "32-bit programs run natively; the qemu-i386 handler of an earlier forced run is switched off"
      return 0
    fi
    set_handler 1
    [ "$forced" = 1 ] || say "this machine cannot start 32-bit programs itself; the qemu-i386 handler stays on"
  elif runs && [ "$forced" = 0 ]; then
    say "32-bit programs run natively"
    return 0
  fi
  if [ "$forced" = 1 ]; then
    say "emulation forced by TZ594K_I386=emulated"
  elif ! handler_enabled; then
    say "this machine cannot start 32-bit programs (\"Exec format error\"): setting up qemu-i386 emulation"
  fi
  if [ ! -x "$qemu" ]; then
    say "installing qemu-user-static"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
  fi
  if [ ! -f "$binfmt/register" ]; then
    say "mounting binfmt_misc at $binfmt"
    $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" || true
  fi
  if [ ! -f "$handler" ] && [ -f "$binfmt/register" ]; then
    say "registering $qemu for i386 programs"
    printf '%s' "$registration" | $SUDO tee "$binfmt/register" >/dev/null || true
  elif [ -f "$handler" ] && ! handler_enabled; then
    say "switching the qemu-i386 handler on"
    set_handler 1
  fi
  if runs && handler_enabled; then
    say "32-bit programs run under qemu-i386 emulation (slower: each Wine process takes some 25 s to start)"
  else
    say "32-bit programs cannot run on this machine, even under emulation: the Windows tests under Wine are left out"
  fi
}

case "${1:-}" in
  setup) setup ;;
  mode) mode ;;
  *) echo "usage: i386.sh setup|mode" >&2; exit 2 ;;
esac
