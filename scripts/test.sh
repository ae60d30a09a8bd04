#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
bash scripts/build.sh -DPICTROVE_TESTS=ON
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
cd build && ctest --output-on-failure -j"$(nproc)" --timeout 1200
