#!/usr/bin/env bash
# Builds Digestra with AddressSanitizer and UndefinedBehaviorSanitizer in ./build-asan and runs the
# tests under them. Leak checks are off: the embedded interpreter is never shut down, so what it
# holds at exit is no leak. The model tests are left out: they run the scripts under the system's
# Python alone, with nothing of the program in them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The build runs the sanitized digestra-cli too (the user guide's tables come from it).
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPython3_EXECUTABLE=/usr/bin/python3 \
      -DDIGESTRA_SANITIZE=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DDIGESTRA_WERROR="${DIGESTRA_WERROR:-OFF}" >/dev/null
cmake --build build-asan -j"$(nproc)"
cd build-asan
ctest --output-on-failure -j"$(nproc)" -E '^models$' "$@"
