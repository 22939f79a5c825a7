# Shared by the command-line checks: sourced after `set -euo pipefail`, with $scratch set to their folder.

fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs a command that must fail with the given status and print the given text on stderr ("" for any).
expect_failure() {
    local status=$1 message=$2
    shift 2
    local actual=0
    "$@" >"$scratch/out.txt" 2>"$scratch/err.txt" || actual=$?
    [ "$actual" -eq "$status" ] || fail "$* exited $actual, not $status: $(cat "$scratch/err.txt")"
    [ -z "$message" ] || grep -qF -- "$message" "$scratch/err.txt" || fail "$*: no \"$message\" in: $(cat "$scratch/err.txt")"
}
