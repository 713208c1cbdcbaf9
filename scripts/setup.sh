#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the sorvan program
# need, and any further packages named as arguments.
set -euo pipefail

packages=("$@"
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libasound2-dev libpulse-dev libsndfile1-dev libcli11-dev
  sox libsox-fmt-all
  # The GLib and Qt examples and their tests (skipped, with a message, without them)
  libglib2.0-dev qt6-base-dev
  # The desktop's sound servers the tests run against (scripts/sound-server.sh)
  pipewire pipewire-pulse pipewire-alsa wireplumber pulseaudio-utils dbus libasound2-plugins
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
