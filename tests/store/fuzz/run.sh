#!/usr/bin/env bash
# Builds the fuzz target of the configuration file loader with clang (in build/fuzz) and runs
# it on the seed corpus. Without arguments it runs a bounded number of inputs, as the test
# command does; arguments replace that bound and go to libFuzzer, for example
#   tests/store/fuzz/run.sh -max_total_time=3600
#   tests/store/fuzz/run.sh -runs=-1 -jobs=2     (until stopped, two processes)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=$root/build/fuzz

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DKEYCONFIG_FUZZ=ON >/dev/null
cmake --build "$build" --target keyconfig_fuzz

if [ $# -eq 0 ]; then
    set -- -runs=1000000 -max_total_time=50
fi

# New inputs go to a working corpus under build/, crashes to build/fuzz/artifacts/; the
# checked-in seeds are only read. The files themselves stay in memory.
mkdir -p "$build/corpus" "$build/artifacts"
cd "$build"
"$build/tests/store/fuzz/keyconfig_fuzz" -artifact_prefix="$build/artifacts/" -print_final_stats=1 "$@" \
    "$build/corpus" "$here/corpus"
