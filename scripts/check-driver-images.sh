#!/bin/sh
# Static checks of the kernel driver images: machine, native subsystem, entry point inside the
# code, imports from ntoskrnl.exe and hal.dll only, no section both writable and executable, base
# relocations present.
#   usage: check-driver-images.sh ZemDrv.x86.sys ZemDrv.x64.sys
set -u
OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}
failures=0

fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

# check IMAGE MACHINE_NUMBER MAGIC
check() {
  image=$1
  machine=$2
  magic=$3
  name=$(basename "$image")
  before=$failures
  if [ ! -f "$image" ]; then
    fail "$name" "missing"
    return
  fi
  headers=$("$OBJDUMP" -p "$image" 2>&1) || { fail "$name" "not a PE image"; return; }
  sections=$("$OBJDUMP" -h "$image" 2>&1)

  # The machine field is the 16-bit word after the "PE\0\0" signature.
  pe=$(od -An -tu4 -j60 -N4 "$image" | tr -d ' ')
  found=$(od -An -tx2 -j$((pe + 4)) -N2 "$image" | tr -d ' ')
  [ "$found" = "$machine" ] || fail "$name" "machine 0x$found, expected 0x$machine"
  echo "$headers" | grep -q "^Magic[[:space:]]*$magic" || fail "$name" "optional header magic not $magic"
  echo "$headers" | grep -q "^Subsystem[[:space:]]*00000001" || fail "$name" "subsystem is not native"

  entry=$(echo "$headers" | awk '/^AddressOfEntryPoint/ {print $2}')
  base=$(echo "$headers" | awk '/^ImageBase/ {print $2}')
  [ -n "$entry" ] && [ "$((0x$entry))" -ne 0 ] || fail "$name" "no entry point"
  # The entry point lies in the executable .text section.
  text=$(echo "$sections" | awk '$2 == ".text" {print $4, $3}')
  if [ -n "$text" ] && [ -n "$entry" ] && [ -n "$base" ]; then
    set -- $text
    start=$((0x$1 - 0x$base))
    end=$((start + 0x$2))
    [ "$((0x$entry))" -ge "$start" ] && [ "$((0x$entry))" -lt "$end" ] ||
      fail "$name" "entry point 0x$entry outside .text"
  else
    fail "$name" "no .text section"
  fi

  dlls=$(echo "$headers" | awk '/DLL Name:/ {print tolower($3)}' | sort -u | tr '\n' ' ')
  [ -n "$dlls" ] || fail "$name" "no imports"
  for dll in $dlls; do
    case $dll in
      ntoskrnl.exe | hal.dll) ;;
      *) fail "$name" "imports from $dll" ;;
    esac
  done
  echo "$dlls" | grep -q "ntoskrnl.exe" || fail "$name" "does not import ntoskrnl.exe"

  # objdump prints each section's flags on the line after it; CODE without READONLY is W+X.
  wx=$(echo "$sections" | awk '/^ *[0-9]+ / {name = $2; next}
                             /CODE/ && !/READONLY/ {print name}')
  [ -z "$wx" ] || fail "$name" "writable code section(s): $wx"

  echo "$sections" | grep -q " \.reloc " || fail "$name" "no .reloc section"
  relocs=$(echo "$headers" | awk '/^Entry 5 / {print $3}')
  [ -n "$relocs" ] && [ "$((0x$relocs))" -ne 0 ] || fail "$name" "empty base relocation directory"

  [ "$failures" -ne "$before" ] || echo "ok   $name"
}

if [ $# -ne 2 ]; then
  echo "usage: $0 ZemDrv.x86.sys ZemDrv.x64.sys" >&2
  exit 2
fi
check "$1" 014c 010b
check "$2" 8664 020b
[ "$failures" -eq 0 ] || exit 1
echo "driver images pass"
