#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# skipping what is already there. Sourced by the start and test scripts.
set -euo pipefail

# Building and running the program.
kestrova_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-wayland libxcb1-dev libwayland-dev libwayland-bin
)

# Everything the tests, fuzzers, analysers and benchmarks need on top.
kestrova_test_packages=(
  "${kestrova_packages[@]}"
  libgtest-dev libbenchmark-dev
  xvfb xauth xclip xdotool imagemagick qt6-gtk-platformtheme gnome-themes-extra
  sway wtype wl-clipboard jq util-linux passwd
  # The tests' own clipboard manager on X11.
  libxcb-xfixes0-dev
  # Plasma's Wayland session with its XWayland, and a compositor without data
  # control.
  kwin-wayland xwayland weston
  clang-14 libclang-rt-14-dev clang-tidy cppcheck
  desktop-file-utils appstream libglib2.0-bin dbus-daemon dpkg-dev lintian file procps
  strace openbox python3-gi
  # Real file managers for the right-click entries, driven through the
  # accessibility bus (GTK 2's PCManFM through gail and atk-bridge).
  pcmanfm libfm-modules nemo at-spi2-core python3-pyatspi libatk-adaptor libgail-common
  nautilus python3-nautilus dolphin thunar caja caja-actions
)

# The Windows program: cross-built with mingw-w64 and tested under Wine on
# Xvfb with openbox (scripts/test-windows), packaged with NSIS.
kestrova_windows_packages=(
  cmake ninja-build g++-mingw-w64-x86-64 googletest g++ pkg-config qt6-base-dev
  wine wine64 locales libc-bin xvfb xauth xdotool openbox imagemagick
  nsis unzip util-linux procps
)

kestrova_install_missing() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  # The interface is Japanese: without a Japanese font its texts are boxes.
  if ! { command -v fc-list >/dev/null && fc-list :lang=ja | grep -q .; }; then
    missing+=(fonts-ipafont-gothic)
  fi
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
