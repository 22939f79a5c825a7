#!/usr/bin/env bash
# The calls form end to end: a scenario of awkward values through ktr replay --calls into the call player,
# whose decoded calls must give back every value; then bad calls files, each refused with exit status 2 and
# a message naming the line. Usage: check_calls_form.sh KTR CALL_PLAYER SCRATCH_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
ktr=$1
player=$2
scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch"
source "$here/../support/cli.sh"

# The scenario's values as the library receives them, worked out by hand: an absent attr or ext is 0 or
# empty, "share" asks the upload question on channel 2, "upload" on channel 1, and ext's bytes other than
# printable ASCII (the newline, the UTF-8 of é and €, the quote and backslash) print as \xNN.
cat >"$scratch/expected.txt" <<'LINES'
2: init uid=18446744073709551615 dt=-3
3: addUser {uid=18446744073709551615 attr=65535 dt=65535 ext="a b\x0ac"}
4: addUser {uid=0 attr=0 dt=0 ext="\xc3\xa9\xe2\x82\xac"}
5: removeUser {uid=7 attr=0 dt=1 ext=""}
6: setUsers [{uid=7 attr=0 dt=1 ext=" x\x5c\x22y"} {uid=8 attr=0 dt=2 ext=""}]
7: setUsers []
8: addPeerReport uid=7 []
9: addPeerReport uid=9 [{channel=2 dft=-1 width=-2147483648 height=2147483647 fps=-5 bitrate=-1 maxbitrate=0 minbitrate=1}]
10: setSceneType value=-9
11: setConfig forceHD=1 auxFlag=0 auxBitrate1=-1 auxBitrate2=2147483647
12: setSharing sharing=1 uid=18446744073709551615
13: setSpeaker speaking=0 uid=0
14: addSelectReq width=-1 height=0 fps=2147483647 bitrate=-2147483648
15: setDLNetStatus status=-2147483648 score=-1 bitrate=0 maxBitrate=2147483647
16: setULNetStatus status=5 score=100 bitrate=1 maxBitrate=-7
17: initStreamInfosForDft [{channel=1 dft=4 width=640 height=480 fps=15 bitrate=500000 maxbitrate=600000 minbitrate=300000}]
18: adjustULPolicy channel=2
19: adjustULPolicy channel=1
20: adjustDLPolicy channel=-7
21: getHDUids
22: getDftInfoByBitrate bitrate=-1
23: clearPeerReports
24: clearSelectReqs
LINES
"$ktr" replay "$here/awkward-values.json" --calls "$scratch/awkward.calls" >/dev/null 2>&1
"$player" "$scratch/awkward.calls" >"$scratch/played.txt"
grep -E '^[0-9]+: ' "$scratch/played.txt" >"$scratch/decoded.txt" || true
diff "$scratch/expected.txt" "$scratch/decoded.txt" || fail "the calls form lost or changed a value (< expected, > played)"

# Bad input: NAME, the file's lines, the message expected on stderr after "FILE:".
refused() {
    local name=$1 message=$2
    shift 2
    printf '%s\n' "$@" >"$scratch/$name.calls"
    expect_failure 2 "$scratch/$name.calls:$message" "$player" "$scratch/$name.calls"
}
refused other_form '1: expected the form line "ktrsdk-calls 1", got "ktrsdk-calls 2"' 'ktrsdk-calls 2' 'getHDUids'
refused empty_file '1: expected the form line "ktrsdk-calls 1", got ""'
refused unknown_call '3: unknown call "fly"' 'ktrsdk-calls 1' 'getHDUids' 'fly 1'
refused empty_line '2: an empty line, where a call was expected' 'ktrsdk-calls 1' ''
refused missing_value '2: missing value 2: expected a signed 32-bit number' 'ktrsdk-calls 1' 'init 5'
refused extra_value '2: expected 0 values, got 1' 'ktrsdk-calls 1' 'getHDUids 1'
refused short_list '2: the count says 2 items of 4 values, but 4 values follow' 'ktrsdk-calls 1' 'setUsers 2 7 0 1 x'
refused huge_count '2: the count says 18446744073709551615 items of 8 values, but 0 values follow' \
    'ktrsdk-calls 1' 'addPeerReport 1 18446744073709551615'
refused uid_too_large '2: expected a uid (0 to 2^64-1), got "18446744073709551616"' 'ktrsdk-calls 1' \
    'init 18446744073709551616 0'
refused negative_uid '2: expected a uid (0 to 2^64-1), got "-1"' 'ktrsdk-calls 1' 'setSharing 1 -1'
refused int32_too_large '2: expected a signed 32-bit number, got "2147483648"' 'ktrsdk-calls 1' \
    'getDftInfoByBitrate 2147483648'
refused dt_too_large '2: expected a number from 0 to 65535, got "65536"' 'ktrsdk-calls 1' 'addUser 1 0 65536 x'
refused bad_ext '2: expected x and two lowercase hex digits per byte, got "x6"' 'ktrsdk-calls 1' 'addUser 1 0 0 x6'
refused bad_flag '2: expected 0 or 1, got "2"' 'ktrsdk-calls 1' 'setSpeaker 2 5'
echo "calls form: every awkward value played back, bad calls files refused"
