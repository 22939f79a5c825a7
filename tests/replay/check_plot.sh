#!/usr/bin/env bash
# Runs tools/plot_timeline.py as a user does: the hand-written timelines beside this script must give a
# PNG (exit 0, nothing on stderr) and the meeting's series must hold the hand-worked values
# (plot_series_test.py); each kind of bad timeline must be refused with exit status 2, one message
# naming the file, the line and the column, and no picture.
# Usage: check_plot.sh SOURCE_DIR SCRATCH_DIR
set -euo pipefail
source_dir=$1
scratch=$2
plot=("/usr/bin/python3" "$source_dir/tools/plot_timeline.py")
here="$source_dir/tests/replay"
header=step,time_s,kind,subject,uid,rank_or_dft,width,height,fps,bitrate,minbitrate,maxbitrate,changed,net_status,net_score
int32="an integer from -2147483648 to 2147483647"
plotted_count=0
refused_count=0
rm -rf "$scratch" && mkdir -p "$scratch"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

plotted() { # TIMELINE: plotted into a PNG without complaint
    local png="$scratch/$(basename "$1" .csv).png"
    "${plot[@]}" "$1" "$png" --title "$(basename "$1")" 2>"$png.err" || fail "$1: exit status $?"
    [ ! -s "$png.err" ] || fail "$1: unexpected messages: $(cat "$png.err")"
    [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$1: $png is not a PNG"
    plotted_count=$((plotted_count + 1))
}

refused_file() { # TIMELINE EXPECTED_MESSAGE
    local png="$scratch/refused.png" status=0
    rm -f "$png"
    "${plot[@]}" "$1" "$png" 2>"$scratch/refused.err" || status=$?
    [ "$status" -eq 2 ] || fail "$1: exit status $status, expected 2"
    [ "$(cat "$scratch/refused.err")" = "$2" ] || fail "$1: got message '$(cat "$scratch/refused.err")', expected '$2'"
    [ ! -e "$png" ] || fail "$1: a picture was written for a refused timeline"
    refused_count=$((refused_count + 1))
}

refused() { # NAME EXPECTED_MESSAGE_AFTER_FILE_NAME, the timeline on standard input
    cat >"$scratch/$1.csv"
    refused_file "$scratch/$1.csv" "$scratch/$1.csv: $2"
}

/usr/bin/python3 "$here/plot_series_test.py" || fail "the meeting's series differ from the hand-worked values"
plotted "$here/timeline-meeting.csv"
plotted "$here/timeline-empty.csv"

refused_file "$scratch/absent.csv" "$scratch/absent.csv: cannot read: No such file or directory"
refused no-header "line 1: missing header, expected $header" </dev/null
refused data-first "line 1: missing header, expected $header" <<'EOF'
0,0,upload,stream1,,1,640,480,15,358400,245760,512000,1,,
EOF
refused old-header 'line 1: column 2: expected "time_s" in the header, got "question"' <<'EOF'
step,question,subject,dft_or_rank,width,height,fps,bitrate,minbitrate,maxbitrate,changed
0,upload,stream1,1,640,480,15,358400,245760,512000,1
EOF
refused short-row "line 4: expected 15 cells, got 14" <<EOF
$header
0,0,upload,stream1,,1,640,480,15,358400,245760,512000,1,,

1,1,download,peer,2002,,640,480,15,358400,245760,512000,1,
EOF
refused long-row "line 2: expected 15 cells, got 16" <<EOF
$header
0,0,ulnet,estimate,,,,,,1536000,,2048000,,1,100,
EOF
refused word-bitrate "line 3: column \"bitrate\": expected $int32, got \"fast\"" <<EOF
$header
0,0,ulnet,estimate,,,,,,1536000,,2048000,,1,100
1,1,upload,stream1,,1,640,480,15,fast,245760,512000,1,,
EOF
refused wide-bitrate "line 2: column \"bitrate\": expected $int32, got \"2147483648\"" <<EOF
$header
0,0,share,stream1,,5,1280,720,15,2147483648,512000,1024000,0,,
EOF
refused word-time 'line 2: column "time_s": expected a finite number of seconds, got "soon"' <<EOF
$header
0,soon,dlnet,estimate,,,,,,2048000,,0,,1,100
EOF
refused negative-uid 'line 2: column "uid": expected an integer from 0 to 18446744073709551615, got "-2"' <<EOF
$header
4,4,hd,peer,-2,,,,,,,,,,
EOF
refused changed-flag 'line 2: column "changed": expected an integer from 0 to 1, got "2"' <<EOF
$header
10,10,empty,download,,,,,,,,,2,,
EOF
refused request-without-peer 'line 2: column "uid": missing value for kind "download"' <<EOF
$header
3,3,download,peer,,,640,480,15,358400,245760,512000,1,,
EOF
refused unknown-kind "line 2: column \"kind\": unknown kind \"question\", expected one of upload, share, download, hd, ld, chosen, definition, empty, dlnet, ulnet" <<EOF
$header
2,2,question,stream1,,1,640,480,15,358400,245760,512000,1,,
EOF
refused empty-of-nothing 'line 2: column "subject": an empty answer names its question (upload, share, download, hdld), got "camera"' <<EOF
$header
20,20,empty,camera,,,,,,,,,1,,
EOF

echo "plot_timeline.py: $plotted_count timelines plotted, $refused_count bad timelines refused"
