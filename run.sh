#!/usr/bin/env bash
# Installs what is missing and builds the Windows program.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/lib.sh

ensure_packages "${BUILD_PACKAGES[@]}"
build_preset win64
say "Built build/win64 (the dialog program comes with the shell)"
