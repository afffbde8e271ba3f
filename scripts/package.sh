#!/usr/bin/env bash
# Builds Digestra for release in ./build-release and makes its Debian packages there, digestra and
# digestra-study; prints their paths. Install them with:
#   sudo apt-get install ./build-release/digestra_*.deb ./build-release/digestra-study_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DPython3_EXECUTABLE=/usr/bin/python3 -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$build" -j"$(nproc)" --target digestra digestra-cli guide
rm -f "$build"/digestra*.deb
(cd "$build" && cpack -G DEB >/dev/null)
realpath "$build"/digestra*.deb
