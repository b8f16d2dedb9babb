# Shared by the end-to-end scripts (sourced): uidriver calls and checks.
# Expects bin (the Windows programs), wine and work (a scratch folder) set.
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
