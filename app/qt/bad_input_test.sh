#!/usr/bin/env bash
# Runs the rows of form_window_test that need file permissions to bite (an
# unreadable settings file, an unwritable settings folder) as the user
# nobody, since root reads and writes everything and the test skips them
# then. Exits 77 (skipped) when there is nothing to do.
# Usage: bad_input_test.sh PATH/TO/form_window_test
set -euo pipefail
source "$(dirname "$0")/../../tests/lib.sh"
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: form_window_test ran these rows itself"
  exit 77
fi
can_run_as_nobody || { echo "setpriv or the user nobody is missing"; exit 77; }
# A copy in a folder nobody can reach, wherever the build lies.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$1" "$work/form_window_test"
mkdir "$work/home"
chown nobody "$work/home"
chmod 755 "$work"
as_nobody env -i HOME="$work/home" PATH="$PATH" QT_QPA_PLATFORM=offscreen \
  "$work/form_window_test" "failedStart:settings file unreadable" "failedStart:settings folder unwritable"
