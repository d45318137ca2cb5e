#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# skipping what is already there. Sourced by the start and test scripts.
set -euo pipefail

kestrova_packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev
  qt6-base-dev qt6-base-dev-tools
  fonts-ipafont-gothic
  xvfb xauth xclip xdotool
  clang-14 libclang-rt-14-dev clang-tidy cppcheck libbenchmark-dev
)

kestrova_install_missing() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
