#!/usr/bin/env bash
# Builds Digestra and runs every test (C++ Qt tests, model tests, command-line tests) under ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
cd build
ctest --output-on-failure -j"$(nproc)" "$@"
