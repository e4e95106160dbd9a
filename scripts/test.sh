#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"

# The Debian package as a user gets it: its dependencies from dpkg-shlibdeps, and lintian
# accepts it without errors.
rm -f setwright_*.deb
cpack -G DEB >/dev/null
lintian --fail-on error --tag-display-limit 0 setwright_*.deb
echo "test: $(ls setwright_*.deb) built and accepted by lintian"
