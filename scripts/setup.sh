#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Setwright needs.
# Non-interactive and safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libsimpleini-dev
  googletest libgtest-dev libgmock-dev
  python3 python3-serial
  fonts-dejavu-core fonts-ipafont-gothic fontconfig
  xvfb xauth
  ser2net
  file dpkg-dev lintian appstream desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  sudo=""
  if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
