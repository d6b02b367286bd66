# The check lines of scripts/check-package and scripts/check-windows, sourced
# by both. The caller sets $log, the file that takes each check's command and
# output; every check prints one line and counts its failure.
#
#   check "what is checked" command [args...]
#   wait_for SECONDS command [args...]

failures=0

# One line per check: ok or FAILED, and what was checked.
check() {
    local what=$1
    shift
    echo "== $what: $*" >>"$log"
    if "$@" >>"$log" 2>&1; then
        echo "ok      $what"
    else
        echo "FAILED  $what"
        failures=$((failures + 1))
    fi
}

# Runs the command every fifth of a second until it succeeds, for at most the
# given seconds.
wait_for() { # seconds command...
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}
