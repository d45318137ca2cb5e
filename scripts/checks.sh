#!/usr/bin/env bash
# Sourced by the shell tests: counted checks and the clipboard helpers.

failures=0
passes=0

check() {  # check NAME CONDITION...: counts, and names a failure
  local name=$1
  shift
  if "$@"; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAIL: $name" >&2
    return 1
  fi
}

clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null; }

wait_for() {  # waits up to 10 s for the command $@ to succeed
  local i
  for i in $(seq 100); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

finish_checks() {  # finish_checks NAME: the closing count, and the exit status
  echo "$1: $passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
