#!/usr/bin/env bash
# Builds the test programs that run real threads with ThreadSanitizer and runs them; fails on
# any warning. Usage: scripts/tsan.sh [build-dir]   (default: build-tsan in the source tree)
#
# Qt itself is not instrumented, so hand-offs through its event queues are suppressed by
# tests/tsan.supp; see the comments there. Needs the packages of scripts/setup.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build-tsan}")"

# <area>_<file> of tests/<area>/test_<file>.cpp
tests=(
  serial_test_serial_pty
  serial_test_rfc2217_loopback
  session_test_stress
  session_test_poll_thread
  sim_test_sim_device
  pages_test_page_end_to_end
  pages_test_page_switch
)

cmake -S "$root" -B "$build" -DSETWRIGHT_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${tests[@]}"

logs="$build/tsan-logs"
mkdir -p "$logs"
# A longer history lets a report show the stack of the earlier access as well.
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp second_deadlock_stack=1 history_size=7 ${TSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=offscreen SETWRIGHT_SOURCE_DIR="$root" SETWRIGHT_BINARY_DIR="$build"

failed=()
for name in "${tests[@]}"; do
  area="${name%%_*}"
  log="$logs/$name.log"
  status=0
  # Run where ctest runs it: the area's build directory.
  (cd "$build/tests/$area" && timeout 900 "./$name") >"$log" 2>&1 || status=$?
  warnings=$(grep -c 'WARNING: ThreadSanitizer' "$log" || true)
  if [ "$status" -ne 0 ] || [ "$warnings" -ne 0 ]; then
    echo "tsan: $name FAILED (exit $status, $warnings warnings): $log"
    failed+=("$name")
  else
    echo "tsan: $name clean"
  fi
done

if [ "${#failed[@]}" -ne 0 ]; then
  echo "tsan: ${#failed[@]} of ${#tests[@]} programs failed: ${failed[*]}" >&2
  exit 1
fi
echo "tsan: all ${#tests[@]} programs clean"
