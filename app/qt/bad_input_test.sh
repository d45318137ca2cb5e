#!/usr/bin/env bash
# Runs the rows of bad_input_test that need file permissions to bite (an
# unreadable settings file, an unwritable settings folder) as the user
# nobody, since root reads and writes everything and bad_input_test skips
# them then. Exits 77 (skipped) when there is nothing to do.
# Usage: bad_input_test.sh PATH/TO/bad_input_test
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: bad_input_test ran these rows itself"
  exit 77
fi
if ! command -v setpriv >/dev/null || ! id nobody >/dev/null 2>&1; then
  echo "setpriv or the user nobody is missing"
  exit 77
fi
# A copy in a folder nobody can reach, wherever the build lies.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$1" "$work/bad_input_test"
mkdir "$work/home"
chown nobody "$work/home"
chmod 755 "$work"
setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups \
  env -i HOME="$work/home" PATH="$PATH" QT_QPA_PLATFORM=offscreen \
  "$work/bad_input_test" "failedStart:settings file unreadable" "failedStart:settings folder unwritable"
