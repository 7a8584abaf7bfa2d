#!/bin/sh
# Checks the Windows product statically: a 32-bit x86 PE (machine 0x14C) for the GUI subsystem
# that imports only from system DLLs present on Windows XP and 7. PowrProf.DLL must not be among
# them: the program binds it by name at run time.
#   scripts/check-windows-exe.sh build/windows/app/program/KorZem.exe
set -eu
exe=$1
allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
comctl32.dll version.dll msvcrt.dll"
fail() { echo "check-windows-exe: $exe: $*" >&2; exit 1; }
[ -f "$exe" ] || fail "missing"

# Little-endian integer of $2 bytes at offset $1.
field() { od -An -tu"$2" -j"$1" -N"$2" "$exe" | tr -d ' '; }
[ "$(od -An -c -N2 "$exe" | tr -d ' ')" = "MZ" ] || fail "not an MZ executable"
pe=$(field 60 4)
[ "$(od -An -c -j"$pe" -N4 "$exe" | tr -d ' ')" = 'PE\0\0' ] || fail "no PE signature"
machine=$(field $((pe + 4)) 2)
[ "$machine" = 332 ] || fail "machine $(printf '0x%X' "$machine"), want 0x14C (i386)"
optional=$((pe + 24))
[ "$(field "$optional" 2)" = 267 ] || fail "optional header is not PE32"
subsystem=$(field $((optional + 68)) 2)
[ "$subsystem" = 2 ] || fail "subsystem $subsystem, want 2 (Windows GUI)"

imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' |
  tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || fail "no imports found"
for dll in $imports; do
  case " $(echo $allowed) " in
    *" $dll "*) ;;
    *) fail "imports $dll, which is not a system DLL of every supported Windows" ;;
  esac
done
echo "check-windows-exe: $exe: PE32 i386, GUI, imports $(echo $imports)"
