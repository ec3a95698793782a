#!/usr/bin/env bash
# Checks that Windows programs import no DLL beyond those every Windows has, and prints their
# sizes; with --max-bytes, also that none is larger than that.
# Usage: scripts/check_imports.sh [--max-bytes N] PROGRAM.exe...
set -euo pipefail

max_bytes=
if [ $# -ge 2 ] && [ "$1" = --max-bytes ]; then
    max_bytes=$2
    shift 2
fi

# DLLs that ship with every Windows the program supports (7 to 11). The C runtime is the
# system's msvcrt.dll; anything else (libgcc, libstdc++, winpthread, the UCRT forwarders that
# Windows 7 lacks without an update) would have to travel with the program.
SYSTEM_DLLS=(kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
             comctl32.dll comdlg32.dll dinput8.dll msvcrt.dll)

if [ $# -eq 0 ]; then
    echo "usage: $0 [--max-bytes N] PROGRAM.exe..." >&2
    exit 2
fi

# objdump of the MinGW-w64 binutils for the program's machine.
objdump_for() {
    local format
    for tool in x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump; do
        command -v "$tool" >/dev/null || continue
        format=$("$tool" -f "$1" 2>/dev/null | sed -n 's/.*file format //p') || continue
        case "$format" in
            pei-x86-64) [ "$tool" = x86_64-w64-mingw32-objdump ] && echo "$tool" && return ;;
            pei-i386) [ "$tool" = i686-w64-mingw32-objdump ] && echo "$tool" && return ;;
        esac
    done
    return 1
}

is_system_dll() {
    local dll
    for dll in "${SYSTEM_DLLS[@]}"; do
        [ "$1" = "$dll" ] && return 0
    done
    return 1
}

status=0
for exe in "$@"; do
    if [ ! -f "$exe" ]; then
        echo "FAIL $exe: no such file" >&2
        status=1
        continue
    fi
    if ! objdump=$(objdump_for "$exe"); then
        echo "FAIL $exe: not a Windows program, or no MinGW-w64 objdump for it" >&2
        status=1
        continue
    fi
    mapfile -t imports < <("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' |
                           tr '[:upper:]' '[:lower:]' | sort -u)
    if [ ${#imports[@]} -eq 0 ]; then
        echo "FAIL $exe: no import table found" >&2
        status=1
        continue
    fi
    foreign=()
    for dll in "${imports[@]}"; do
        is_system_dll "$dll" || foreign+=("$dll")
    done
    size=$(stat -c %s "$exe")
    if [ ${#foreign[@]} -gt 0 ]; then
        echo "FAIL $exe: imports DLLs that Windows does not have: ${foreign[*]}" >&2
        status=1
    elif [ -n "$max_bytes" ] && [ "$size" -gt "$max_bytes" ]; then
        echo "FAIL $exe: $size bytes, more than the $max_bytes it may have" >&2
        status=1
    else
        echo "ok   $exe: $size bytes ($((size / 1024)) KiB), imports ${imports[*]}"
    fi
done
exit $status
