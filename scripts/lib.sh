# Shared by run.sh and test.sh: what the project needs from Debian, installed when missing.

say() { printf '\n==> %s\n' "$*"; }

# Packages every build needs.
BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
                g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)

# Installs the packages that are not installed yet; does nothing (quickly) when all are.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        say "Packages present: $*"
        return 0
    fi
    say "Installing missing packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    # A mirror that is being synced answers some lists with the wrong size: try again, and go on
    # with the lists that did arrive when it still does.
    local try
    for try in 1 2 3; do
        "${sudo[@]}" apt-get update -q && break
        [ "$try" -lt 3 ] && sleep 10
    done || say "Some package lists could not be updated; installing from those that were"
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures and builds one CMake preset.
build_preset() {
    say "Building preset $1"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}
