#!/usr/bin/env bash
# A sweep of `ktr sim` on a Slurm cluster: a job array runs one shard per task and writes the shard's
# results into a shared folder; a job that waits for the whole array merges them into the sweep's table.
#
#   bash slurm-sweep.sh MEETING.json TRACES_DIR RESULTS_DIR
#
# Run by hand (from a login node), it submits itself as the array and then the merge job. Every path must
# be on a file system that all nodes see. The shard count is the array's size: change `--array=1-16`
# below (or set SBATCH_ARRAY_INX, sbatch's variable for `--array`); it must start at 1 and step by 1.
# KTR names the ktr program; KTR_SIM_OPTIONS holds more options for every shard's `ktr sim`, split at
# blanks (e.g. KTR_SIM_OPTIONS="--duration 600 --seed 7").
#SBATCH --job-name=ktr-sweep
#SBATCH --array=1-16
#SBATCH --cpus-per-task=4
#SBATCH --time=04:00:00
#SBATCH --output=ktr-sweep-%A_%a.out
# A pre-empted task, or one whose node failed, is queued again and resumes its shard's results file.
#SBATCH --requeue
#SBATCH --open-mode=append
set -euo pipefail

ktr=${KTR:-ktr}
meeting=${1:?usage: slurm-sweep.sh MEETING.json TRACES_DIR RESULTS_DIR}
traces=${2:?usage: slurm-sweep.sh MEETING.json TRACES_DIR RESULTS_DIR}
results=${3:?usage: slurm-sweep.sh MEETING.json TRACES_DIR RESULTS_DIR}

if [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
    mkdir -p "$results"
    array_job=$(sbatch --parsable "$0" "$meeting" "$traces" "$results")
    # The merge is one job, whatever sized the array.
    unset SBATCH_ARRAY_INX
    # afterany: a shard whose runs partly failed ends with status 1, its file complete; a shard that could not
    # finish its file makes the merge fail naming the missing runs.
    merge=$(printf '%q sim --merge %q/shard-*.jsonl > %q/table.txt' "$ktr" "$results" "$results")
    sbatch --dependency="afterany:${array_job}" --job-name=ktr-sweep-merge \
        --output="$results/merge-%j.out" --wrap "$merge"
    echo "submitted the shards as job $array_job and their merge after it; the table goes to $results/table.txt"
    exit 0
fi

# One task: shard K of N, its runs side by side on the task's cores. Each run's line is written as the run
# ends; a requeued task starts again with the same arguments and runs only what the file lacks. Exit
# status 1 means some runs failed and are named in the file, which is complete.
shard="${SLURM_ARRAY_TASK_ID}/${SLURM_ARRAY_TASK_COUNT}"
out="$results/shard-${SLURM_ARRAY_TASK_ID}.jsonl"
read -r -a sim_options <<<"${KTR_SIM_OPTIONS:-}"
"$ktr" sim "$meeting" --traces "$traces" --shard "$shard" --jobs "${SLURM_CPUS_PER_TASK:-1}" "${sim_options[@]}" \
    --results "$out"
