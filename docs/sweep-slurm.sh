#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One tessera-sweep as a Slurm job array: task I of an array 0..N-1 runs
# shard I/N of the sweep on the cores Slurm gives it and writes part-I.csv
# in OUT_FOLDER; a job that depends on the whole array merges the parts.
#
#   job=$(sbatch --parsable --array=0-3 docs/sweep-slurm.sh q.sweep pictures/ results/ 4)
#   sbatch --dependency=afterok:$job --kill-on-invalid-dep=yes \
#       --wrap 'tessera-sweep merge results/all.csv results/part-*.csv'
#
# SHARDS, the last argument, is the number of tasks of the whole array; when
# it is left out the array must be 0..N-1 and N is taken from it. A task
# that failed or was cut short (time limit, pre-emption, out of memory) is
# sent again on its own with the same SHARDS, "--array=2 ... 4": it runs
# shard 2/4 alone and --resume keeps the rows its part already holds.
#
# Every node must find tessera-sweep on its PATH (sbatch passes on the PATH
# of the shell it was called from) and see the pictures and OUT_FOLDER at the
# same paths: a file system all nodes share. The pictures are looked for
# with --recursive: a single run to compare with must use it too.
#
# Memory: each worker (one per CPU) holds about 15 bytes per pixel of the
# picture it compresses, 0.75 GB for a 50-megapixel picture, so ask for
# --mem-per-cpu of 15 bytes times the largest picture's pixels plus 0.25 GB.
# The 1 GB below fits pictures up to 50 megapixels.
#SBATCH --job-name=tessera-sweep
#SBATCH --cpus-per-task=4
#SBATCH --mem-per-cpu=1G
#SBATCH --time=04:00:00
#SBATCH --output=tessera-sweep-%A_%a.log
set -euo pipefail

usage="usage: sbatch --array=0-N-1 sweep-slurm.sh SWEEP_FILE PICTURES OUT_FOLDER [SHARDS]"
sweep=${1:?$usage}
pictures=${2:?$usage}
out=${3:?$usage}
index=${SLURM_ARRAY_TASK_ID:?submit as a job array: $usage}
shards=${4:-}
if [ -z "$shards" ]; then
    # Only an array 0..N-1 tells its N; one task sent again does not.
    if [ "${SLURM_ARRAY_TASK_MIN:-}" != 0 ] ||
        [ "${SLURM_ARRAY_TASK_COUNT:-}" != $((SLURM_ARRAY_TASK_MAX + 1)) ]; then
        echo "sweep-slurm.sh: the array is not 0..N-1: give the number of shards as the" \
            "fourth argument" >&2
        exit 2
    fi
    shards=$((SLURM_ARRAY_TASK_MAX + 1))
fi
if ! command -v tessera-sweep >/dev/null; then
    echo "sweep-slurm.sh: tessera-sweep is not on the PATH of $(hostname): $PATH" >&2
    exit 127
fi

mkdir -p "$out"
# Exit status 1 (some compressions failed, each failed row says why) leaves
# a complete part; anything else, a signal included, fails the task, and a
# merge waiting with afterok does not run.
status=0
tessera-sweep --sweep "$sweep" --recursive --quiet \
    --shard "$index/$shards" -j "${SLURM_CPUS_PER_TASK:-1}" \
    --resume -o "$out/part-$index.csv" "$pictures" || status=$?
case $status in
0) ;;
1) echo "sweep-slurm.sh: some compressions failed; their rows in $out/part-$index.csv say why" >&2 ;;
*)
    echo "sweep-slurm.sh: tessera-sweep ended with status $status" >&2
    exit "$status"
    ;;
esac
