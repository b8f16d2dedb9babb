# Shared by the end-to-end scripts, sourced first: the Windows programs' folder
# (bin), wine, a scratch folder (work) removed at exit together with the
# program under test (its process id in app, when one runs), uidriver calls
# and checks.
bin=${QUILLANE_WIN64_BIN:?}
wine=${QUILLANE_WINE:-wine}
work=$(mktemp -d)
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fails=0

# Runs uidriver.exe; its complaints go to a file of the scratch folder.
drv() { timeout 40 "$wine" "$bin/uidriver.exe" "$@" 2>>"$work/uidriver.err"; }

check() { # description expected actual
  if [ "$2" == "$3" ]; then
    echo "ok   $1"
  else
    echo "FAIL $1"
    echo "     expected: [$2]"
    echo "     got:      [$3]"
    fails=$((fails + 1))
  fi
}

winpath() { echo "Z:${1//\//\\}"; }  # a Unix path as Wine's Z: path

# Waits until FILE holds a line equal to LINE (at most about 10 s).
wait_line() { # file line
  local i
  for i in $(seq 1 100); do tr -d '\r' <"$1" 2>/dev/null | grep -qxF "$2" && return 0; sleep 0.1; done
  return 1
}
has_line() { wait_line "$1" "$2" && echo yes || echo no; }
