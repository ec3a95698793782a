#!/usr/bin/env bash
# Times one capture tick over the fakes (nothing down, a key down) and one Binding name, in an
# optimised build. Extra arguments go to Google Benchmark.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/lib.sh

ensure_packages "${BUILD_PACKAGES[@]}"
cmake --preset bench >/dev/null
cmake --build --preset bench
./build/bench/keyconfig_benchmark --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
