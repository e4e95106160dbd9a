#!/usr/bin/env bash
# Installs the build folder $1 into a temporary prefix and checks what lands there.
# Usage: check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failed=0
expect() {
  if [ ! -e "$prefix/$1" ]; then
    echo "install: missing $1" >&2
    failed=1
  fi
}
for f in \
  bin/setwright bin/setwright-cli bin/setwright-sim \
  share/applications/org.setwright.Setwright.desktop \
  share/metainfo/org.setwright.Setwright.metainfo.xml \
  share/icons/hicolor/scalable/apps/setwright.svg \
  share/icons/hicolor/16x16/apps/setwright.png \
  share/icons/hicolor/48x48/apps/setwright.png \
  share/icons/hicolor/256x256/apps/setwright.png \
  share/man/man1/setwright.1.gz share/man/man1/setwright-cli.1.gz share/man/man1/setwright-sim.1.gz \
  share/bash-completion/completions/setwright-cli \
  share/doc/setwright/LICENSE share/doc/setwright/copyright \
  share/doc/setwright/changelog.gz \
  share/doc/setwright/examples/60-setwright-modemmanager.rules; do
  expect "$f"
done
if ! ls "$prefix"/share/doc/setwright/LICENSE-* >/dev/null 2>&1; then
  echo "install: the embedded font's licence is missing" >&2
  failed=1
fi
grep -q "^MIT License" "$prefix/share/doc/setwright/LICENSE" || { echo "install: LICENSE is not MIT" >&2; failed=1; }

# The installed programs run from the prefix and know their version.
for p in setwright-cli setwright-sim setwright; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/$p" --version)
  if [ "$out" != "$p $version" ]; then
    echo "install: $p --version says '$out'" >&2
    failed=1
  fi
done

# The desktop entry starts the program in a folder of the user's own, never in $HOME or /.
desktop="$prefix/share/applications/org.setwright.Setwright.desktop"
grep -q '^Exec=.*mkdir -p ~/.local/share/setwright && cd ~/.local/share/setwright && exec setwright' \
  "$desktop" || { echo "install: the desktop entry's Exec does not use the working folder" >&2; failed=1; }
home=$(mktemp -d)
exec_line=$(sed -n 's/^Exec=sh -c "\(.*\)"$/\1/p' "$desktop")
# Run it with a stand-in "setwright" that prints where it was started.
mkdir -p "$home/bin"
printf '#!/bin/sh\npwd\n' >"$home/bin/setwright"
chmod +x "$home/bin/setwright"
started=$(HOME="$home" PATH="$home/bin:$PATH" sh -c "$exec_line")
if [ "$started" != "$home/.local/share/setwright" ]; then
  echo "install: the desktop entry started the program in '$started'" >&2
  failed=1
fi
rm -rf "$home"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || failed=1
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/org.setwright.Setwright.metainfo.xml" >/dev/null ||
    { appstreamcli validate --no-net "$prefix/share/metainfo/org.setwright.Setwright.metainfo.xml"; failed=1; }
fi
bash -n "$prefix/share/bash-completion/completions/setwright-cli" || failed=1
for page in setwright setwright-cli setwright-sim; do
  gzip -dc "$prefix/share/man/man1/$page.1.gz" | grep -q "^\.TH ${page^^} 1" ||
    { echo "install: man page $page is not readable" >&2; failed=1; }
done

if [ "$failed" -ne 0 ]; then exit 1; fi
echo "install: everything in place under a temporary prefix"
