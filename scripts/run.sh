#!/usr/bin/env bash
# Sets up the machine, builds the program and starts it. The program keeps its settings
# in SETWRIGHT.ini in the directory this script is started from.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target setwright
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "run: no graphical display found; start this from a desktop session" >&2
fi
exec "$root/build/setwright"
