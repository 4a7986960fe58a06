#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the project needs to build, test and run.
# Idempotent: packages already present are skipped, and the package lists are
# refreshed only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6opengl6-dev
  # lupdate and lrelease, and the CMake functions that run them
  qt6-l10n-tools qt6-tools-dev
  qt6-svg-dev  # pictures saved as SVG
  libqcustomplot-dev libgl-dev libglu1-mesa-dev
  libbenchmark-dev
  libmosquitto-dev  # the MQTT client library
  mosquitto python3-paho-mqtt  # a broker for the tests, and the MQTT example client's library
  xvfb xauth socat
  python3  # the stream's example client, run by the tests
  desktop-file-utils appstream dpkg-dev man-db lintian  # installation checks, Debian package
  fonts-wqy-microhei
  qt6-translations-l10n  # Qt's own texts (buttons, file dialogs) in Chinese
)

missing=()
for pkg in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$pkg")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages are installed"
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
