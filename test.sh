#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/lib.sh

ensure_packages "${BUILD_PACKAGES[@]}"

for preset in host host-asan win64 win32; do
    build_preset "$preset"
done

say "Windows programs: imports and size"
scripts/check_imports.sh build/win64/keyconfig.exe
# The program players get stays within 32 KiB.
scripts/check_imports.sh --max-bytes 32768 build/win32/keyconfig.exe

say "Player's package (win32)"
cpack --preset win32

for preset in host host-asan; do
    say "Unit tests ($preset)"
    ctest --preset "$preset"
done

# The real win64 program under Wine, driven like a player (headless, its own Xvfb and prefix).
tests/e2e/run_e2e.sh build/win64

say "Fuzzing the configuration file loader (bounded run)"
tests/store/fuzz/run.sh

say "All tests passed"
