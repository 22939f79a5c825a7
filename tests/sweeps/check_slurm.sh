#!/usr/bin/env bash
# Runs examples/sweeps/slurm-sweep.sh on a private single-node Slurm cluster started here: its own munged,
# slurmctld and slurmd, with their key, configuration, ports, state and logs in a folder of this run alone,
# so that two copies may run at once. Three shards over the bundled traces and their merge job must give,
# byte for byte, the table of the same sweep run here. The daemons are stopped by their process ids and
# the folder removed (unless KEEP is set), also when a check fails. Skipped (77) only when not root.
# Usage: check_slurm.sh KTR SOURCE_DIR SCRATCH_PARENT
set -euo pipefail
ktr=$1
source_dir=$2
scratch_parent=$3

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: the private Slurm cluster's daemons (munged, slurmctld, slurmd) run as root, and this is uid $(id -u)"
    exit 77
fi
source "$(dirname "$0")/../support/cli.sh"

meeting="$source_dir/examples/meetings/team-meeting.json"
traces="$source_dir/examples/traces"
sim_options=(--duration 60)
shards=3
# Bounds of the waits, in seconds: a daemon's start, a daemon's stop, the whole sweep on the cluster.
start_bound=15
stop_bound=5
sweep_bound=40

for program in munged mungekey munge unmunge slurmctld slurmd sbatch squeue sinfo scontrol scancel; do
    command -v "$program" >/dev/null || fail "no $program: install Debian's slurmctld slurmd slurm-client munge (scripts/install-deps.sh)"
done

# The daemons started here, by name, and their process ids, stopped in the reverse order.
daemon_names=()
daemon_pids=()

show_log() { # NAME: the end of a daemon's log files
    local file
    for file in "$scratch/log/$1".*; do
        [ -s "$file" ] && { printf '\n--- %s (end)\n' "$file"; tail -n 20 "$file"; }
    done
    return 0
}

start_daemon() { # NAME COMMAND...: runs it in the foreground of a background job, its output under log/
    local name=$1
    shift
    "$@" >"$scratch/log/$name.stderr" 2>&1 &
    daemon_names+=("$name")
    daemon_pids+=("$!")
}

alive() { # NAME
    local i
    for i in "${!daemon_names[@]}"; do
        [ "${daemon_names[$i]}" = "$1" ] && kill -0 "${daemon_pids[$i]}" 2>/dev/null && return 0
    done
    return 1
}

wait_for() { # NAME WHAT COMMAND...: polls COMMAND until it succeeds; fails if daemon NAME exits or time runs out
    local name=$1 what=$2 deadline=$((SECONDS + start_bound))
    shift 2
    until "$@" >/dev/null 2>&1; do
        alive "$name" || fail "$name exited before $what:$(show_log "$name")"
        [ "$SECONDS" -lt "$deadline" ] || fail "$name: no $what within $start_bound s:$(show_log "$name")"
        sleep 0.2
    done
}

stop_daemon() { # PID: TERM, a bounded wait, then KILL
    local pid=$1 deadline=$((SECONDS + stop_bound))
    kill "$pid" 2>/dev/null || return 0
    while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
}

clean_up() {
    local i
    # Jobs still queued or running (a failed check) are cancelled while the controller is there to do it.
    if alive slurmctld; then
        squeue -h -o %A 2>/dev/null | xargs -r timeout "$stop_bound" scancel 2>/dev/null || true
    fi
    for ((i = ${#daemon_pids[@]} - 1; i >= 0; i--)); do
        stop_daemon "${daemon_pids[$i]}"
    done
    if [ -n "${KEEP:-}" ]; then
        echo "kept: $scratch"
    else
        rm -rf "$scratch"
    fi
}
mkdir -p "$scratch_parent"
scratch=$(mktemp -d "$scratch_parent/run.XXXXXX")
trap clean_up EXIT
trap 'exit 1' INT TERM HUP

free_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

mkdir -p "$scratch/log" "$scratch/state" "$scratch/spool" "$scratch/results"

# munge: its own key and socket, so the cluster trusts only itself.
mungekey --create --keyfile="$scratch/munge.key"
socket="$scratch/munge.socket"
start_daemon munged munged --foreground --force --socket="$socket" --key-file="$scratch/munge.key" \
    --pid-file="$scratch/munged.pid" --log-file="$scratch/log/munged.log" --seed-file="$scratch/munged.seed"
wait_for munged "credential round trip" sh -c 'munge -n -S "$1" | unmunge -S "$1"' sh "$socket"

# One node, this host at 127.0.0.1. It claims enough CPUs for the shards to run side by side at the
# example's --cpus-per-task (config_overrides: slurmd takes the configured count over the hardware's),
# and this host's memory as slurmd -C measures it.
host=$(hostname -s)
cpus_per_task=$(sed -n 's/^#SBATCH --cpus-per-task=\([0-9]*\)$/\1/p' "$source_dir/examples/sweeps/slurm-sweep.sh")
[ -n "$cpus_per_task" ] || fail "slurm-sweep.sh: no #SBATCH --cpus-per-task line"
hardware=$(slurmd -C | head -n 1)
cpus=$(sed -n 's/.* CPUs=\([0-9]*\).*/\1/p' <<<"$hardware")
memory=$(sed -n 's/.* RealMemory=\([0-9]*\).*/\1/p' <<<"$hardware")
[ -n "$cpus" ] && [ -n "$memory" ] || fail "slurmd -C: no CPUs or RealMemory in: $hardware"
cpus=$((cpus > shards * cpus_per_task ? cpus : shards * cpus_per_task))

export SLURM_CONF="$scratch/slurm.conf"
cat >"$SLURM_CONF" <<EOF
ClusterName=ktrsweep
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
StateSaveLocation=$scratch/state
SlurmdSpoolDir=$scratch/spool
SlurmctldPidFile=$scratch/slurmctld.pid
SlurmdPidFile=$scratch/slurmd.pid
SlurmctldLogFile=$scratch/log/slurmctld.log
SlurmdLogFile=$scratch/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
ReturnToService=2
MailProg=/bin/true
SlurmdParameters=config_overrides
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=sweep Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF

start_daemon slurmctld slurmctld -D
wait_for slurmctld "answer to scontrol ping" sh -c 'scontrol ping | grep -q "is UP"'
start_daemon slurmd slurmd -D
wait_for slurmd "idle node in sinfo" sh -c '[ "$(sinfo -h -N -o %t)" = idle ]'

# The sweep on the cluster: the example submits its array of shards and the merge job, then returns.
sweep_start=$SECONDS
(cd "$scratch" && KTR="$ktr" KTR_SIM_OPTIONS="${sim_options[*]}" SBATCH_ARRAY_INX="1-$shards" \
    bash "$source_dir/examples/sweeps/slurm-sweep.sh" "$meeting" "$traces" "$scratch/results" >"$scratch/submit.txt" 2>&1) ||
    fail "slurm-sweep.sh did not submit: $(cat "$scratch/submit.txt")"
deadline=$((SECONDS + sweep_bound))
while jobs=$(squeue -h -o '%A %r') || fail "squeue: $(squeue 2>&1 | tail -n 1)$(show_log slurmctld)"; [ -n "$jobs" ]; do
    # A dependency that can never be satisfied leaves the merge pending for good.
    if grep -q DependencyNeverSatisfied <<<"$jobs" || [ "$SECONDS" -ge "$deadline" ]; then
        fail "the sweep's jobs are not done after $((SECONDS - sweep_start)) s: $(squeue)
$(tail -n 5 "$scratch"/ktr-sweep-*.out "$scratch"/results/merge-*.out 2>/dev/null)"
    fi
    sleep 0.5
done
echo "the sweep's $shards shards and their merge ran on the cluster in $((SECONDS - sweep_start)) s"

results=("$scratch"/results/shard-*.jsonl)
[ "${#results[@]}" -eq "$shards" ] || fail "not $shards shards' results: ${results[*]}"
merges=("$scratch"/results/merge-*.out)
[ "${#merges[@]}" -eq 1 ] || fail "not one merge job but ${#merges[@]}: ${merges[*]}"
[ -s "$scratch/results/table.txt" ] || fail "the merge job wrote no table: $(cat "$scratch"/results/merge-*.out)"
"$ktr" sim "$meeting" --traces "$traces" "${sim_options[@]}" >"$scratch/local.txt"
cmp -s "$scratch/local.txt" "$scratch/results/table.txt" ||
    fail "the table merged on the cluster differs from the sweep run here:
$(diff "$scratch/local.txt" "$scratch/results/table.txt" | head -n 20)"

# A pre-empted shard: its file as a kill while writing leaves it (cut inside its first run's line), its
# task requeued. It starts again with the same arguments, resumes the file, and the merge is unchanged.
array_job=$(sed -n 's/^submitted the shards as job \([0-9]*\) .*/\1/p' "$scratch/submit.txt")
[ -n "$array_job" ] || fail "no array job in: $(cat "$scratch/submit.txt")"
shard_file="$scratch/results/shard-2.jsonl"
complete_lines=$(wc -l <"$shard_file")
truncate -s $(($(head -n 1 "$shard_file" | wc -c) + 10)) "$shard_file"
requeue_start=$SECONDS
scontrol requeue "${array_job}_2" || fail "scontrol requeue ${array_job}_2 failed$(show_log slurmctld)"
# A requeued job waits a while before it may start again (BeginTime); the test lets it start at once.
scontrol update JobId="${array_job}_2" StartTime=now || fail "scontrol update StartTime failed$(show_log slurmctld)"
deadline=$((SECONDS + sweep_bound))
while [ -n "$(squeue -h -o %A)" ]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the requeued shard is not done after $((SECONDS - requeue_start)) s: $(squeue)"
    sleep 0.5
done
[ "$(wc -l <"$shard_file")" -eq "$complete_lines" ] ||
    fail "the requeued shard's file has $(wc -l <"$shard_file") lines, not $complete_lines: $(tail -n 5 "$scratch"/ktr-sweep-*_2.out)"
"$ktr" sim --merge "${results[@]}" | cmp -s - "$scratch/local.txt" || fail "the merge after the requeued shard differs"
echo "the requeued shard resumed its file in $((SECONDS - requeue_start)) s"
echo "slurm-sweep.sh: $shards shards on a private Slurm cluster merged to the table of the same sweep run here", and a requeued shard resumed
