#!/usr/bin/env bash
# Checks that the players' package is reproducible: the sources, copied to another folder and
# built and packed there again, later, give the same 32-bit program and the same ZIP, byte for
# byte, as build/win32 (built and packed first, with cpack --preset win32).
# Usage: scripts/check_reproducible.sh
set -euo pipefail
cd "$(dirname "$0")/.."

first=(build/win32/keyconfig.exe build/win32/keyconfig-*-win32.zip)
again=build/reproduce
rm -rf "$again"
mkdir -p "$again/source"
tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$again/source"
# The copy has no history: it is given the last commit's time that the first package took.
commit_time=$(git log -1 --format=%ct)
(
    cd "$again/source"
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 >/dev/null
    SOURCE_DATE_EPOCH=$commit_time cpack --preset win32 >/dev/null
)
status=0
for file in "${first[@]}"; do
    if cmp -s "$file" "$again/source/$file"; then
        echo "ok   $file: the same, byte for byte, built again in $again"
    else
        echo "FAIL $file differs from $again/source/$file" >&2
        status=1
    fi
done
exit $status
