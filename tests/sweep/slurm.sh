#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# slurm.sh RUN_DIR PICTURE...: docs/sweep-slurm.sh on a real one-node Slurm.
# Starts munged, slurmctld and slurmd of a cluster of its own (this host as
# controller and as its one node, the machine's CPUs, everything under a
# scratch folder, its own ports and munge socket), submits the job array and
# the dependent merge as the README says and checks that the merged table
# equals a single run; then kills one task's tessera-sweep with SIGKILL and
# checks that the task is reported failed and the merge never runs; then
# sends that task again and checks that the merge succeeds. The daemons are
# stopped by their process ids whatever happens. Exit 77: skipped (not root,
# or Slurm and munge not installed).
set -euo pipefail
run_dir=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "$0")" && pwd)
script="$here/../../docs/sweep-slurm.sh"
if [ "$(id -u)" != 0 ]; then
    echo "SKIP: the Slurm test starts munged, slurmctld and slurmd and needs root"
    exit 77
fi
for daemon in munged mungekey slurmctld slurmd sbatch scontrol; do
    if ! command -v "$daemon" >/dev/null; then
        echo "SKIP: $daemon is missing (Debian packages slurm-wlm and munge)"
        exit 77
    fi
done

fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d /tmp/tessera-slurm.XXXXXX)
pids=()
stop() {
    # Jobs first, so that no job step outlives its slurmd; then the daemons,
    # newest first, each by its process id.
    if [ -n "${SLURM_CONF:-}" ] && [ -e "$work/slurmctld.ready" ]; then
        scancel --quiet --full "--user=$(id -un)" 2>/dev/null || true
        for _ in $(seq 50); do
            [ -z "$(squeue -h -t running,completing 2>/dev/null)" ] && break
            sleep 0.2
        done
    fi
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 1' INT TERM
chmod 700 "$work"
cd "$work"
mkdir -p munge state spool pictures

# munge: a key and a socket of this cluster's own.
mungekey --create --keyfile=munge/munge.key
munged --foreground --force --socket="$work/munge/socket" --key-file="$work/munge/munge.key" \
    --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
    --seed-file="$work/munge/munged.seed" 2>munge/munged.err &
pids+=($!)

host=$(hostname -s)
node=$(slurmd -C | head -n 1)
export SLURM_CONF="$work/slurm.conf"
cat >"$SLURM_CONF" <<EOF
ClusterName=tessera-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=46817
SlurmdPort=46818
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
ReturnToService=2
MpiDefault=none
$node NodeAddr=127.0.0.1
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
for _ in $(seq 50); do [ -S munge/socket ] && break; sleep 0.1; done
[ -S munge/socket ] || fail "munged did not start: $(cat munge/munged.log 2>/dev/null)"
slurmctld -D -i -f "$SLURM_CONF" 2>slurmctld.err &
pids+=($!)
touch slurmctld.ready
slurmd -D -f "$SLURM_CONF" 2>slurmd.err &
pids+=($!)
idle() { [[ "$(sinfo -h -o %t 2>/dev/null)" == idle* ]]; }
for _ in $(seq 150); do
    idle && break
    sleep 0.2
done
idle || fail "the node did not come up: $(tail -n 5 slurmd.log)"

# Three pictures in four shards: shard 3 is empty.
i=0
for picture in "$@" "$1"; do
    cp "$picture" "pictures/p$i.png"
    i=$((i + 1))
done
printf 'auto-quality = 5:100:5\nhuffman = no,yes\n' >q.sweep
export PATH="$run_dir:$PATH"
tessera-sweep --sweep q.sweep --recursive -q -o single.csv pictures

# state JOB: the states of a job's tasks, one line each.
state() { scontrol -o show job "$1" | grep -o 'JobState=[A-Z_]*' | cut -d= -f2; }
# settle JOB...: waits until no task of these jobs is pending or running.
settle() {
    local states
    for _ in $(seq 600); do
        states=$(for job in "$@"; do state "$job"; done)
        grep -qE 'PENDING|RUNNING|CONFIGURING|COMPLETING' <<<"$states" || return 0
        sleep 0.2
    done
    fail "jobs $* did not finish"
}
# submit RESULTS ARRAY: the array and its merge, as the README says.
submit() {
    array=$(sbatch --parsable "--array=$2" --cpus-per-task=1 "$script" q.sweep pictures "$1" 4)
    merge=$(sbatch --parsable --dependency="afterok:$array" --kill-on-invalid-dep=yes \
        --output="$1-merge.log" --wrap "tessera-sweep merge $1/all.csv $1/part-*.csv")
}

submit first 0-3
settle "$array" "$merge"
[ "$(state "$merge")" = COMPLETED ] || fail "merge: $(state "$merge"); $(cat first-merge.log)"
/usr/bin/python3 "$here/same_table.py" first/all.csv single.csv ||
    fail "the array's merge differs from the single run"
echo "array and merge: the single run's table"

# A node without the program on its PATH: the task fails.
array=$(PATH=/usr/bin:/bin sbatch --parsable --array=0 --cpus-per-task=1 "$script" q.sweep \
    pictures nowhere 4)
settle "$array"
[ "$(state "$array")" = FAILED ] && grep -q "not on the PATH" tessera-sweep-"$array"_0.log ||
    fail "a task without tessera-sweep ended $(state "$array")"
echo "no program on the PATH: FAILED"

# Again into another folder; shard 1's tessera-sweep is killed with SIGKILL
# once it has started writing.
submit second 0-3
victim=
for _ in $(seq 600); do
    # listpids takes the task's own job id, not the array's notation.
    task=$(scontrol -o show job "${array}_1" | grep -o '^JobId=[0-9]*' | cut -d= -f2)
    for pid in $(scontrol listpids "$task" 2>/dev/null | awk 'NR > 1 { print $1 }'); do
        [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = tessera-sweep ] && victim=$pid
    done
    [ -n "$victim" ] && [ -s second/part-1.csv ] && break
    sleep 0.1
done
[ -n "$victim" ] || fail "shard 1's tessera-sweep was not found running"
kill -KILL "$victim"
settle "$array" "$merge"
task=$(scontrol -o show job "${array}_1" | grep -o 'JobState=[A-Z_]*')
[ "$task" = JobState=FAILED ] || fail "the killed task ended $task"
[ "$(state "$merge")" != COMPLETED ] && [ ! -e second/all.csv ] ||
    fail "the merge ran after a failed task"
echo "killed task: $task, merge: $(state "$merge")"

submit second 1
settle "$array" "$merge"
[ "$(state "$array")" = COMPLETED ] && [ "$(state "$merge")" = COMPLETED ] ||
    fail "task sent again: $(state "$array"), merge $(state "$merge")"
/usr/bin/python3 "$here/same_table.py" second/all.csv single.csv ||
    fail "the merge after the task sent again differs from the single run"
echo "task sent again and merge: the single run's table"
echo "PASS"
