#!/usr/bin/env bash
# The idle benchmark: what the open dialog costs while nothing is pressed and no controller is
# there, against a bare dialog that only re-arms the same 60 ms timer (tests/idle/).
#   ./bench_idle.sh [SECONDS [PROGRAM.exe]]
# Runs each program of the win64 build under Wine, headless, in a private prefix with a valid
# config.ini, waits for its dialog, then counts over a quiet window of SECONDS (default 20) the
# CPU time of the program's process and of the Wine server, from /proc. Prints both programs and
# the ratio of their totals; the target is a ratio of at most 1.2. PROGRAM.exe, another win64
# build of keyconfig, takes the place of this one. The test command does not run this benchmark:
# its figures depend on the machine and on what else it is doing (the load is printed).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/lib.sh
source scripts/wine.sh

seconds=${1:-20}
# Start-up work, Wine's or a program's after its dialog shows, is left out of the window.
SETTLE_SECONDS=5
TARGET_RATIO=1.2

ensure_packages "${BUILD_PACKAGES[@]}"
ensure_wine
build_preset win64

build=$PWD/build/win64
program=$(realpath "${2:-$build/keyconfig.exe}")
probe=$build/keyconfig_probe.exe
out=$PWD/build/idle
mkdir -p "$out/work"
# A valid key configuration file (the header 1, 8 and eight default Bindings 99, 255), so that
# no start-up message box shows.
printf '\001\010' >"$out/work/config.ini"
for _ in 1 2 3 4 5 6 7 8; do printf '\143\377' >>"$out/work/config.ini"; done

program_pid=
server_pid=
holder_pid=
cleanup() {
    stop_pid "$program_pid"
    [ -z "${hold_fd:-}" ] || exec {hold_fd}>&-
    stop_pid "$holder_pid"
    stop_wine_prefix
    stop_pid "$server_pid"
    stop_pid "$XVFB_PID"
}
trap cleanup EXIT

start_xvfb
use_wine_prefix "$out/prefix"
init_wine_prefix
export LANG=ja_JP.UTF-8
ticks_per_second=$(getconf CLK_TCK)

# CPU time (user and system, all threads) a process has used so far, in clock ticks: fields 14
# and 15 of /proc/PID/stat, counted after the parenthesised command name.
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
dialog_ready() { "$WINE64" "$probe" state 2>/dev/null | grep -Eq '^dialog pid=[0-9]+ visible=1 foreground=1'; }
seconds_of() { awk -v t="$1" -v hz="$ticks_per_second" 'BEGIN { printf "%.2f", t / hz }'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

# One server for both programs, in the foreground so that its process id is known. It must be up
# before any program starts, or the program would start a server of its own; it works in the
# folder of its socket.
"$WINESERVER" -f -p &
server_pid=$!
wait_until "$WINE_WAIT_SECONDS" test -S "/proc/$server_pid/cwd/socket"
# The Wine desktop and Wine's own services come up before the first program and stay up between
# the two (keyconfig_probe hold, until its standard input closes), so that neither window sees
# them start.
rm -f "$out/hold" "$out/hold.out"
mkfifo "$out/hold"
"$WINE64" "$probe" hold <"$out/hold" >"$out/hold.out" 2>/dev/null &
holder_pid=$!
exec {hold_fd}>"$out/hold"
wait_until "$WINE_WAIT_SECONDS" grep -q ready "$out/hold.out"
sleep "$SETTLE_SECONDS"

# Runs one program until its dialog is up, then sets program_ticks and server_ticks to what each
# used over the quiet window, and ends the program.
measure() {
    (cd "$out/work" && exec "$WINE64" "$1") >/dev/null 2>&1 &
    program_pid=$!
    wait_until "$WINE_WAIT_SECONDS" dialog_ready
    sleep "$SETTLE_SECONDS"
    local program0 server0
    program0=$(cpu_ticks "$program_pid")
    server0=$(cpu_ticks "$server_pid")
    sleep "$seconds"
    program_ticks=$(($(cpu_ticks "$program_pid") - program0))
    server_ticks=$(($(cpu_ticks "$server_pid") - server0))
    stop_pid "$program_pid"
    program_pid=
}

report() {
    printf '%-14s program %s s   wineserver %s s   together %s s\n' "$1" \
        "$(seconds_of "$program_ticks")" "$(seconds_of "$server_ticks")" \
        "$(seconds_of $((program_ticks + server_ticks)))"
}

say "Idle for ${seconds} s each (load average $(load))"
measure "$program"
report keyconfig.exe
program_total=$((program_ticks + server_ticks))
measure "$build/idle_bare_dialog.exe"
report "bare dialog"
bare_total=$((program_ticks + server_ticks))
echo "load average after: $(load)"
awk -v a="$program_total" -v b="$bare_total" -v target="$TARGET_RATIO" 'BEGIN {
    if (b == 0) { print "ratio: the bare dialog used no measurable CPU time"; exit }
    r = a / b
    printf "ratio %.2f (target: at most %s): %s\n", r, target, r <= target ? "met" : "NOT met"
}'
