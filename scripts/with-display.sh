#!/usr/bin/env bash
# Runs a command with a usable X display: the current one if it answers,
# else a virtual one (Xvfb) started for the command and stopped after it.
set -u
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
for n in $(seq 60 90); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xpid=$!
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  "$@"
  rc=$?
  kill "$xpid" 2>/dev/null
  exit $rc
done
echo "with-display: no free display number" >&2
exit 1
