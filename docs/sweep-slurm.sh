#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One tessera-sweep as a Slurm job array: task I of N runs shard I/N of the
# sweep on the cores Slurm gives it and writes part-I.csv; a last job that
# depends on the whole array merges the parts into one table.
#
#   sbatch --array=0-3 docs/sweep-slurm.sh q.sweep pictures/ results/
#   sbatch --dependency=afterok:<array job id> --wrap \
#       'tessera-sweep merge results/all.csv results/part-*.csv'
#
# A task that was cut short (time limit, pre-emption) can simply be sent
# again: --resume keeps the rows its part already holds.
#SBATCH --job-name=tessera-sweep
#SBATCH --cpus-per-task=8
#SBATCH --mem=2G
#SBATCH --time=04:00:00
#SBATCH --output=tessera-sweep-%A_%a.log
set -euo pipefail

sweep=${1:?usage: sweep-slurm.sh SWEEP_FILE PICTURE_FOLDER OUT_FOLDER}
pictures=${2:?usage: sweep-slurm.sh SWEEP_FILE PICTURE_FOLDER OUT_FOLDER}
out=${3:?usage: sweep-slurm.sh SWEEP_FILE PICTURE_FOLDER OUT_FOLDER}
shards=${SLURM_ARRAY_TASK_COUNT:?submit as a job array: sbatch --array=0-N ...}
index=${SLURM_ARRAY_TASK_ID:?submit as a job array: sbatch --array=0-N ...}

mkdir -p "$out"
# Exit status 1 (some compressions failed, each failed row says why) still
# leaves a complete part; only a usage error (2) fails the task.
status=0
tessera-sweep --sweep "$sweep" --recursive --quiet \
    --shard "$index/$shards" -j "${SLURM_CPUS_PER_TASK:-1}" \
    --resume -o "$out/part-$index.csv" "$pictures" || status=$?
if [ "$status" -eq 2 ]; then
    exit 2
fi
