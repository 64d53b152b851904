#!/usr/bin/env bash
# The exe must stand alone: it may import system DLLs only.
set -euo pipefail
exe="$1"
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|COMCTL32|MSVCRT|SHELL32|OLE32|COMDLG32|WINMM)\.dll$'
dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
echo "imports:" $dlls
bad=$(echo "$dlls" | grep -viE "$allowed" || true)
if [ -n "$bad" ]; then echo "not a system DLL: $bad"; exit 1; fi
[ -n "$dlls" ] || { echo "no import table read"; exit 1; }
