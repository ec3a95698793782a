#!/usr/bin/env bash
# Runs the end-to-end tests of the Windows program under Wine, headless, after checking the data
# formats it builds against MinGW's (keyconfig_format_check.exe):
#   tests/e2e/run_e2e.sh [BUILD_DIR [OUT_DIR]] [-- SCENARIO_NAME_PART...]
# BUILD_DIR holds keyconfig.exe, keyconfig_probe.exe and keyconfig_format_check.exe (default build/win64; build/win32 for the
# players' 32-bit program, on a machine that runs 32-bit code); OUT_DIR receives the throwaway
# Wine prefix, the scenarios' working directories, Wine's logs and the screenshots (default
# build/e2e). Installs what is missing; ends every process it started.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib.sh
source scripts/wine.sh

build_dir=build/win64
out=build/e2e
[ $# -gt 0 ] && [ "$1" != "--" ] && { build_dir=$1; shift; }
[ $# -gt 0 ] && [ "$1" != "--" ] && { out=$1; shift; }
[ $# -gt 0 ] && [ "$1" = "--" ] && shift
only=("$@")

ensure_wine
for exe in keyconfig.exe keyconfig_probe.exe keyconfig_format_check.exe; do
    if [ ! -f "$build_dir/$exe" ]; then
        echo "Missing $build_dir/$exe: build its preset first" >&2
        exit 1
    fi
done
# A 32-bit program runs under Wine's 32-bit loader, which needs 32-bit support on this machine.
if [ "$(pe_machine "$build_dir/keyconfig.exe")" = "$PE_MACHINE_I386" ]; then
    if ! why=$(runs_32bit_code); then
        echo "$build_dir/keyconfig.exe is a 32-bit program, and this machine cannot run 32-bit" \
            "code ($why)" >&2
        exit 1
    fi
    ensure_wine32
fi

# The program warns when it runs under /tmp, where file managers unpack ZIPs: the scenarios' working
# directories lie elsewhere, also when this checkout is under /tmp.
case "$(realpath -m "$out")/" in
/tmp/*)
    out=/var/tmp/keyconfig-e2e/$(realpath -m "$out" | md5sum | cut -c1-8)
    say "The end-to-end output goes to $out, outside /tmp"
    ;;
esac
# A run that was cut short may have left a working directory immutable.
[ -d "$out/work" ] && chattr -R -i "$out/work" 2>/dev/null || true
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")

# Wine's device bus loads libSDL2-2.0.so.0 by name, once per prefix boot, with the environment of
# the boot: the stand-in (tests/e2e/pad/pad.c), first on the library path from here on, gives
# every run one controller that the scenarios plug in, move and pull out through its control file.
start_pad() {
    local dir=$1
    ensure_packages "${PAD_PACKAGES[@]}"
    mkdir -p "$dir"
    # shellcheck disable=SC2046 # sdl2-config prints several options
    cc -shared -fPIC -std=c11 -D_POSIX_C_SOURCE=200809L -Wall -Wextra -Werror \
        $(sdl2-config --cflags) -Wl,-soname,libSDL2-2.0.so.0 -o "$dir/libSDL2-2.0.so.0" \
        tests/e2e/pad/pad.c -lpthread
    printf 'attached 0\n' >"$dir/pad.txt"
    export KEYCONFIG_PAD="$dir/pad.txt"
    export LD_LIBRARY_PATH="$dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
}

cleanup() {
    stop_wine_prefix
    stop_pid "$XVFB_PID"
}
trap cleanup EXIT

say "End-to-end tests under Wine ($build_dir)"
start_xvfb
start_pad "$out/pad"
use_wine_prefix "$out/prefix"
init_wine_prefix
# One server for the whole run, rather than one per program start.
"$WINESERVER" -p

say "Data formats against MinGW's predefined ones ($build_dir)"
"$WINE64" "$build_dir/keyconfig_format_check.exe"

args=(--exe "$build_dir/keyconfig.exe" --probe "$build_dir/keyconfig_probe.exe" --out "$out")
[ ${#only[@]} -eq 0 ] || args+=(--only "${only[@]}")
status=0
/usr/bin/python3 tests/e2e/e2e.py "${args[@]}" || status=$?
exit $status
