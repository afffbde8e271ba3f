#!/usr/bin/env bash
# Installs what is missing, then configures and builds Digestra in ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# DIGESTRA_WERROR=ON (as CI sets it) makes any compiler warning an error.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPython3_EXECUTABLE=/usr/bin/python3 \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DDIGESTRA_WERROR="${DIGESTRA_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
