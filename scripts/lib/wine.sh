# Shared by the scripts that run the Windows programs: a display to run them
# on and a Wine prefix set up for them. Source it; it defines functions only.

# Uses the current display when it answers; otherwise starts Xvfb on the
# first free display number from FIRST on, writes its process id to PIDFILE,
# and exports DISPLAY. Returns 1 when no display could be had.
use_display() { # FIRST PIDFILE
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq "$1" $(($1 + 40))); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    echo $! >"$2"
    local _
    for _ in $(seq 1 50); do
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.1
    done
    kill "$(cat "$2")" 2>/dev/null
  done
  echo "no free display for Xvfb" >&2
  return 1
}

# Stops the Xvfb that use_display started, if it started one.
stop_display() { # PIDFILE
  [ -f "$1" ] && kill "$(cat "$1")" 2>/dev/null
  rm -f "$1"
}

# Exports the Wine environment for the prefix folder.
wine_env() { # PREFIX
  export WINEPREFIX=$1 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
}

# Makes the prefix (wine_env first) once: the windows ask for SimSun, so it
# and the dialog fonts are mapped to the installed CJK font, and a crashing
# program ends instead of waiting for a click on a crash dialog.
make_wine_prefix() {
  [ -f "$WINEPREFIX/.quillane-ready" ] && return 0
  timeout 150 wineboot -i >/dev/null 2>&1 || return 1
  local f
  for f in SimSun NSimSun "MS Shell Dlg" "MS Shell Dlg 2" "宋体"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$f" /d 'WenQuanYi Zen Hei' /f >/dev/null 2>&1
  done
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  timeout 60 wineserver -w
  touch "$WINEPREFIX/.quillane-ready"
}
