#!/usr/bin/env bash
# Sets up the machine, builds Setwright and the device simulator, and starts both: a
# simulated device (an MR-310SKB unless SETWRIGHT_SIM_MODEL names another model) served
# on a loopback network port, and Setwright with that model and port preselected.
# Simulator commands (cycle, off, on, show, help) are typed into this terminal; closing
# Setwright ends the simulator too.
#
# With real hardware attached, SETWRIGHT_NO_SIM=1 starts only Setwright, in the directory
# this script is started from (where it keeps its SETWRIGHT.ini).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target setwright setwright-sim
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "run: no graphical display found; start this from a desktop session" >&2
fi

if [ -n "${SETWRIGHT_NO_SIM:-}" ]; then
  exec "$root/build/setwright"
fi

model="${SETWRIGHT_SIM_MODEL:-MR-310SKB}"
port="${SETWRIGHT_SIM_PORT:-7310}"
url="rfc2217://127.0.0.1:$port"
# The demonstration keeps its settings file apart from the user's own.
demo="$root/build/demo"
mkdir -p "$demo"
printf '[TV-CONFIG]\r\nCOMNumber=%s\r\nProductName=%s\r\n[NETWORK-PORTS]\r\nsimulator=%s\r\n' \
  "$url" "$model" "$url" >"$demo/SETWRIGHT.ini"

cat >&2 <<TEXT
run: Setwright opens with $model on $url. Press OK there, then type "cycle" here to
     switch the simulated device off and on: the page reads its settings. "help" lists
     the simulator's commands; closing Setwright ends both.
TEXT
# The simulator takes over this shell's process, so Setwright can end it when it closes,
# also when Setwright fails (no display, for example).
(
  set +e
  cd "$demo" && "$root/build/setwright"
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "run: Setwright ended with status $status; the simulator ends too" >&2
  fi
  kill -TERM $$ 2>/dev/null
) &
exec "$root/build/sim/setwright-sim" --model "$model" --port "$port"
