#!/usr/bin/env bash
# Fails unless EXE is a PE32 GUI executable for Intel 80386 that imports only
# DLLs of the system.
exe=$1
[ -f "$exe" ] || { echo "missing: $exe"; exit 1; }
description=$(file -b "$exe")
case "$description" in
  "PE32 executable (GUI) Intel 80386"*) ;;
  *) echo "not a 32-bit GUI executable: $description"; exit 1 ;;
esac
system_dlls=" kernel32.dll user32.dll gdi32.dll comctl32.dll msvcrt.dll advapi32.dll shell32.dll ole32.dll version.dll "
status=0
for dll in $(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
  lower=$(echo "$dll" | tr 'A-Z' 'a-z')
  case "$system_dlls" in
    *" $lower "*) ;;
    *) echo "imports a DLL that is not the system's: $dll"; status=1 ;;
  esac
done
exit $status
