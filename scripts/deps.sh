#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# skipping what is already there. Sourced by the start and test scripts.
set -euo pipefail

# Clang, clang-tidy and libFuzzer's runtime come as one numbered set per
# release (Debian 12 has 14 to 19 but libclang-rt only for some, Debian 13 has
# 17 to 19, no 14): the highest whose three packages the system has. An
# installed set is what the analysis and fuzz scripts use: the one the test
# script installed.
kestrova_clang_versions=(19 18 17 16 15 14)

kestrova_clang_installed() {
  local v
  for v in "${kestrova_clang_versions[@]}"; do
    if command -v "clang++-$v" "clang-tidy-$v" "run-clang-tidy-$v" >/dev/null 2>&1 &&
      [ "$(command -v "clang++-$v" "clang-tidy-$v" "run-clang-tidy-$v" | wc -l)" -eq 3 ] &&
      dpkg-query -W -f='${Status}' "libclang-rt-$v-dev" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$v"
      return 0
    fi
  done
  return 1
}

kestrova_apt_has() {
  local pkg
  for pkg in "$@"; do
    # Not grep -q: apt-cache, cut off early, would fail the pipeline.
    apt-cache show --no-all-versions "$pkg" 2>/dev/null | grep -c '^Package: ' >/dev/null || return 1
  done
}

kestrova_clang_available() {
  local v
  for v in "${kestrova_clang_versions[@]}"; do
    if kestrova_apt_has "clang-$v" "clang-tidy-$v" "libclang-rt-$v-dev"; then
      echo "$v"
      return 0
    fi
  done
  return 1
}

# The version the scripts use: $KESTROVA_CLANG if set, else the installed one.
kestrova_clang() {
  local v=${KESTROVA_CLANG:-}
  if [ -z "$v" ] && ! v=$(kestrova_clang_installed); then
    echo "No clang++-N with clang-tidy-N and libclang-rt-N-dev installed (N one of" \
      "${kestrova_clang_versions[*]}): run ./scripts/test, which installs them" >&2
    return 1
  fi
  echo "$v"
}

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
  # scripts/test-trixie and its clean-up test.
  debootstrap iproute2
  # The tests' own clipboard manager on X11.
  libxcb-xfixes0-dev
  # Plasma's Wayland session with its XWayland, and a compositor without data
  # control.
  kwin-wayland xwayland weston
  @clang cppcheck
  desktop-file-utils appstream libglib2.0-bin dbus-daemon dpkg-dev lintian file procps
  strace openbox python3-gi
  # Real file managers for the right-click entries, driven through the
  # accessibility bus (GTK 2's PCManFM through gail and atk-bridge).
  pcmanfm libfm-modules nemo at-spi2-core python3-pyatspi libatk-adaptor libgail-common
  nautilus python3-nautilus dolphin thunar caja caja-actions pcmanfm-qt
)

# The Windows program: cross-built with mingw-w64 and tested under Wine on
# Xvfb with openbox (scripts/test-windows), packaged with NSIS.
kestrova_windows_packages=(
  cmake ninja-build g++-mingw-w64-x86-64 googletest g++ pkg-config qt6-base-dev
  wine wine64 locales libc-bin xvfb xauth xdotool openbox imagemagick
  nsis unzip util-linux procps python3
)

kestrova_apt_updated=

# One package manager serves the whole machine: while another apt-get or dpkg
# runs (a fresh desktop's automatic updates at boot, a second install), apt
# refuses at once. Every call here waits for it instead, up to this many
# seconds in all, and says so.
kestrova_apt_lock_timeout=${KESTROVA_APT_LOCK_TIMEOUT:-600}

# apt-get with its arguments, through sudo when not root. The first try does
# not wait, so that a wait is always said; later tries wait inside apt for
# dpkg's locks (DPkg::Lock::Timeout), while apt-get update's lists lock and
# the download folder's lock, which that setting does not cover, are tried
# again every 2 s, until kestrova_apt_lock_timeout seconds have passed.
kestrova_apt() {
  local sudo=() err status said='' deadline=$((SECONDS + kestrova_apt_lock_timeout))
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  while :; do
    status=0
    # apt's errors are read to tell a lock from any other failure; its output
    # goes straight through.
    { err=$(DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get \
      -o DPkg::Lock::Timeout=$((said && deadline > SECONDS ? deadline - SECONDS : 0)) \
      "$@" 2>&1 >&3 3>&-) || status=$?; } 3>&1
    if [ "$status" -eq 0 ] ||
      ! grep -q -E 'Could not get lock|Unable to lock|Unable to acquire the dpkg frontend lock' <<<"$err"; then
      [ -z "$err" ] || printf '%s\n' "$err" >&2
      return "$status"
    fi
    if [ -n "$said" ] && [ "$SECONDS" -ge "$deadline" ]; then
      printf '%s\n' "$err" >&2
      echo "The package manager stayed busy for $kestrova_apt_lock_timeout s: run this again once" \
        "it is done, or with KESTROVA_APT_LOCK_TIMEOUT=SECONDS to wait longer" >&2
      return "$status"
    fi
    if [ -z "$said" ]; then
      echo "The package manager is busy (${err%%$'\n'*}): waiting up to" \
        "$kestrova_apt_lock_timeout s (KESTROVA_APT_LOCK_TIMEOUT) for apt-get $1" >&2
      said=1
    else
      sleep 2
    fi
  done
}

# Installs the packages named, skipping those already installed. "@clang"
# among them stands for the highest Clang set the release has.
kestrova_install_missing() {
  local missing=()
  local wanted=()
  local pkg v
  for pkg in "$@"; do
    if [ "$pkg" != @clang ]; then
      wanted+=("$pkg")
    elif v=$(kestrova_clang_available); then
      wanted+=("clang-$v" "clang-tidy-$v" "libclang-rt-$v-dev")
    else
      # A fresh system may have no package lists yet, or old ones.
      kestrova_apt update -qq || return
      kestrova_apt_updated=1
      if ! v=$(kestrova_clang_available); then
        echo "None of clang-N, clang-tidy-N, libclang-rt-N-dev for N in" \
          "${kestrova_clang_versions[*]} is known to apt" >&2
        return 1
      fi
      wanted+=("clang-$v" "clang-tidy-$v" "libclang-rt-$v-dev")
    fi
  done
  for pkg in "${wanted[@]}"; do
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
  if [ -z "$kestrova_apt_updated" ]; then
    kestrova_apt update -qq || return
  fi
  kestrova_apt install -y -qq --no-install-recommends "${missing[@]}"
}
