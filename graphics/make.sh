#!/usr/bin/env bash
# Rebuilds the drawing program and redraws every PNG in this folder and in icons/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DPython3_EXECUTABLE=/usr/bin/python3 >/dev/null
cmake --build "$build" --target digestra-graphics -j"$(nproc)"
QT_QPA_PLATFORM=offscreen "$build/graphics/digestra-graphics" "$here"
echo "Drawn into $here"
