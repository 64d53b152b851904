#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build, test and run the loader.
# Idempotent: quiet and quick when everything is already there.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

native_pkgs=(cmake ninja-build g++ g++-multilib libgtest-dev libgmock-dev libbenchmark-dev clang-format clang-tidy
             clang libclang-rt-dev)
win_pkgs=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 wine64 xvfb xauth imagemagick
          locales fonts-ipafont-gothic fonts-wine python3)

for p in "${native_pkgs[@]}" "${win_pkgs[@]}"; do
  have_pkg "$p" || need+=("$p")
done

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if [ ${#need[@]} -gt 0 ]; then
  echo "install-deps: installing ${need[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# Japanese screens need a Japanese locale for Wine's ANSI code page.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

# Wine runs our 32-bit exe in a 32-bit process: natively where the machine allows it, else under
# qemu-i386 emulation, which this step sets up (TZ594K_I386=emulated forces it).
"$(dirname "$0")/i386.sh" setup
