#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/lib.sh
source scripts/wine.sh

ensure_packages "${BUILD_PACKAGES[@]}"

for preset in host host-asan win64 win32; do
    build_preset "$preset"
done

say "Windows programs: imports, size and manifest"
scripts/check_imports.sh build/win64/keyconfig.exe
# The program players get stays within 40 KiB.
scripts/check_imports.sh --max-bytes 40960 build/win32/keyconfig.exe
scripts/check_manifest.sh build/win64/keyconfig.exe build/win32/keyconfig.exe

say "Player's package (win32), and the same again from a copy of the sources"
cpack --preset win32
scripts/check_reproducible.sh

for preset in host host-asan; do
    say "Unit tests ($preset)"
    ctest --preset "$preset"
done

# The real programs under Wine, driven like a player (headless, each run with its own Xvfb and
# prefix), and the data formats they build checked against MinGW's: the 64-bit one everywhere,
# and the players' 32-bit one where this machine runs 32-bit code.
tests/e2e/run_e2e.sh build/win64
# Its Wine packages may also be out of reach for a while: a mirror whose i386 lists are being
# synced offers no versions that match the installed 64-bit libraries.
if ! why=$(runs_32bit_code); then
    say "Skipped the end-to-end tests of the 32-bit program: this machine cannot run 32-bit code ($why)"
elif ! ensure_wine32; then
    say "Skipped the end-to-end tests of the 32-bit program: its Wine packages could not be" \
        "installed (apt's errors are above); the 64-bit program ran every scenario"
else
    tests/e2e/run_e2e.sh build/win32 build/e2e-win32
fi

say "Fuzzing the configuration file loader (bounded run)"
tests/store/fuzz/run.sh

say "All tests passed"
