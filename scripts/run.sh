#!/usr/bin/env bash
# Builds Digestra and starts it from the project folder, where its workbooks go.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Digestra is a desktop program and no display is available (DISPLAY is not set)." >&2
  echo "Start it from a graphical session, or under a virtual display: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
exec build/app/digestra
