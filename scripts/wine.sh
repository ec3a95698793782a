# Shared by run.sh and the end-to-end tests: Wine, a headless X server and the Japanese locale.
# Source scripts/lib.sh first (say, ensure_packages).

# What running the Windows program on Linux needs from Debian. wine64 is the 64-bit loader, which
# runs the win64 build on any x86_64 machine. Wine only recommends the X libraries its display
# driver loads; packages are installed without recommendations, so they are named here.
WINE_PACKAGES=(wine wine64 fonts-wine fonts-ipafont-gothic locales
               libxrender1 libxi6 libxrandr2 libxcursor1 libxfixes3 libxinerama1 libxcomposite1
               libxxf86vm1 xvfb x11-utils xdotool imagemagick python3)

# What the 32-bit program needs beyond that: Wine's 32-bit loader and libraries (wine64 hands a
# 32-bit program to it) and the 32-bit X libraries, again only recommended. Only machines that
# run 32-bit code can use them.
WINE32_PACKAGES=(wine32:i386 libxrender1:i386 libxi6:i386 libxrandr2:i386 libxcursor1:i386
                 libxfixes3:i386 libxinerama1:i386 libxcomposite1:i386 libxxf86vm1:i386)

# What the end-to-end tests' stand-in controller library is built with: the host's C compiler and
# SDL's public headers.
PAD_PACKAGES=(gcc libsdl2-dev)

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

# Size of the Wine virtual desktop every window of the prefix opens in.
WINE_DESKTOP_SIZE=800x600

# Seconds a wait gives a state to come about before it gives up.
WINE_WAIT_SECONDS=${WINE_WAIT_SECONDS:-60}

# Set by start_xvfb.
XVFB_PID=

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Generates a locale such as ja_JP.UTF-8 when the system does not have it yet.
ensure_locale() {
    local name=$1 # e.g. ja_JP.UTF-8
    local normalised=${name/UTF-8/utf8}
    if locale -a 2>/dev/null | grep -qx "$normalised"; then
        return 0
    fi
    say "Generating the locale $name"
    as_root sed -i "s/^# *\\($name UTF-8\\)/\\1/" /etc/locale.gen
    if ! grep -q "^$name UTF-8" /etc/locale.gen; then
        echo "$name UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    fi
    as_root locale-gen >/dev/null
}

# Installs Wine and its companions and generates the Japanese locale.
ensure_wine() {
    ensure_packages "${WINE_PACKAGES[@]}"
    ensure_locale ja_JP.UTF-8
}

# Succeeds when this machine runs 32-bit x86 Linux programs; otherwise prints why not. Some
# x86_64 kernels have their IA-32 support off ("Exec format error"). The test is a complete i386
# program of 96 bytes, written here, that exits with code 42 at once: it needs nothing installed
# and cannot hang. bash runs it, so that a refused program is never retried as a shell script.
runs_32bit_code() {
    local program=build/i386-exit-42
    local elf=(
        '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' # 32-bit, little-endian
        '\x02\x00\x03\x00\x01\x00\x00\x00'       # executable, i386, ELF version 1
        '\x54\x80\x04\x08'                         # entry: the code below, at 0x08048054
        '\x34\x00\x00\x00\x00\x00\x00\x00'       # program headers at 52; no section headers
        '\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00' # no flags; header 52, one program header of 32
        '\x00\x00\x00\x00\x00\x00'                 # no section headers
        '\x01\x00\x00\x00\x00\x00\x00\x00'       # a loadable segment: the whole file...
        '\x00\x80\x04\x08\x00\x80\x04\x08'       # ...at 0x08048000...
        '\x60\x00\x00\x00\x60\x00\x00\x00'       # ...96 bytes long...
        '\x05\x00\x00\x00\x00\x10\x00\x00'       # ...readable and executable, page-aligned
        '\xb8\x01\x00\x00\x00'                     # mov eax, 1 (exit)
        '\xbb\x2a\x00\x00\x00'                     # mov ebx, 42
        '\xcd\x80'                                 # int 0x80
    )
    mkdir -p "$(dirname "$program")"
    printf '%b' "${elf[@]}" >"$program"
    chmod +x "$program"
    local output status=0
    output=$(timeout 10 bash -c '"$0"' "$program" 2>&1) || status=$?
    rm -f "$program"
    [ "$status" -eq 42 ] && return 0
    output=${output%%$'\n'*}
    if [ -n "$output" ]; then
        echo "${output##*: }"
    else
        echo "the i386 test program exited with $status, not 42"
    fi
    return 1
}

# The machine field of a Windows program's PE header, in hex: 014c for i386, 8664 for x86_64.
PE_MACHINE_I386=014c
pe_machine() {
    local pe_offset
    pe_offset=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ') # e_lfanew
    od -An -t x2 -j $((pe_offset + 4)) -N 2 "$1" | tr -d ' '
}

# Installs what the 32-bit program needs under Wine, the i386 architecture first.
ensure_wine32() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        say "Adding the i386 architecture"
        as_root dpkg --add-architecture i386
    fi
    # Packages of the new architecture are missing until the package lists are updated, which
    # ensure_packages does before it installs.
    ensure_packages "${WINE32_PACKAGES[@]}"
}

# Polls a command until it succeeds; fails after the given number of seconds.
wait_until() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "Timed out after ${seconds}s waiting for: $*" >&2
            return 1
        fi
        sleep 0.2
    done
}

# Ends a process this script started, by its id, and reaps it.
stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        local deadline=$((SECONDS + 5))
        while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
}

# Starts Xvfb on the first free display from 90 up and exports DISPLAY; sets XVFB_PID.
start_xvfb() {
    local n
    for n in $(seq 90 189); do
        if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then
            continue
        fi
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        if DISPLAY=":$n" wait_until 15 xdpyinfo && kill -0 "$XVFB_PID" 2>/dev/null; then
            export DISPLAY=":$n"
            return 0
        fi
        stop_pid "$XVFB_PID"
        XVFB_PID=
    done
    echo "No free X display for Xvfb" >&2
    return 1
}

# Points Wine at a private 64-bit prefix and keeps it quiet: no Mono or Gecko prompts.
use_wine_prefix() {
    export WINEPREFIX=$1
    export WINEARCH=win64
    export WINELOADER=$WINE64
    export WINESERVER
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEDEBUG=${WINEDEBUG:--all}
}

# Creates the prefix when it is new and makes its default desktop a virtual one, so that every
# program of the prefix, and a helper that reads another program's windows, share one desktop
# (a process sees only the windows of its own desktop). Keys sent to the X server reach
# DirectInput only in a virtual desktop.
init_wine_prefix() {
    if [ ! -f "$WINEPREFIX/.keyconfig-ready" ]; then
        say "Creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        "$WINE64" wineboot -i >/dev/null 2>&1
        "$WINESERVER" -w
        local reg="$WINEPREFIX/keyconfig.reg"
        # Fonts as a player's prefix has them: no Windows font is mapped to the IPA fonts, which
        # are the only Japanese ones. The dialog finds its font itself.
        printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
            '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
            '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' \
            "\"Default\"=\"$WINE_DESKTOP_SIZE\"" '' >"$reg"
        "$WINE64" regedit /S "$(winepath_of "$reg")" >/dev/null 2>&1
        # The caption's close box is a Marlett glyph; Wine finds fonts-wine's copy only here.
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null ||
            true
        "$WINESERVER" -w
        touch "$WINEPREFIX/.keyconfig-ready"
    fi
}

# The Windows path of a Unix path (drive Z: is the Unix root in every prefix).
winepath_of() {
    local path
    path=$(realpath "$1")
    printf 'Z:%s' "${path//\//\\}"
}

# Stops every process of the prefix.
stop_wine_prefix() {
    [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
}
