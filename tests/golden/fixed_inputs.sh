# The project's fixed inputs and how their stored outputs are compared, for the scripts that store what a
# build does on them (tests/golden/make_golden.sh, tests/platform/make_calls.sh) and those that check it.
# Sourced, not run.

# Calls EACH NAME SCENARIO for every fixed input: every bundled scenario (NAME replay-SCENARIO) and the
# calls each bundled meeting's simulation makes over a trace with an outage, recorded as a scenario in
# WORK_DIR (NAME sim-MEETING).
# Usage: for_each_fixed_input ROOT BUILD_DIR WORK_DIR EACH
for_each_fixed_input() {
    local root=$1 build_dir=$2 work=$3 each=$4 scenario meeting name
    for scenario in "$root"/examples/scenarios/*.json; do
        "$each" "replay-$(basename "$scenario" .json)" "$scenario"
    done
    for meeting in "$root"/examples/meetings/*.json; do
        name=$(basename "$meeting" .json)
        "$build_dir/ktr" sim "$meeting" --downlink "$root/examples/traces/synthetic-tunnel-outage.mbps" \
            --duration 60 --record "$work/$name.json" >/dev/null
        "$each" "sim-$name" "$work/$name.json"
    done
}

# Prints the first differences and returns 1 when FRESH is not STORED byte for byte; WHY says what a
# difference means.
# Usage: same_as_stored STORED FRESH WHY
same_as_stored() {
    if cmp -s "$1" "$2"; then
        return 0
    fi
    echo "FAIL: $1 differs from this build's ($3):"
    diff "$1" "$2" | head -n 20
    return 1
}
