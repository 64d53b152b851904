#!/usr/bin/env bash
# The exe must stand alone and import only libraries that Windows always maps from its own
# folder (its known libraries): a library found by name is otherwise searched for beside the exe
# first, where anything may lie. Other system libraries are loaded at run time from the system
# folder.
set -euo pipefail
exe="$1"
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|MSVCRT|SHELL32|OLE32|OLEAUT32|COMDLG32|SHLWAPI|IMM32|VERSION)\.dll$'
dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
echo "imports:" $dlls
bad=$(echo "$dlls" | grep -viE "$allowed" || true)
if [ -n "$bad" ]; then echo "not a known system library: $bad"; exit 1; fi
[ -n "$dlls" ] || { echo "no import table read"; exit 1; }
