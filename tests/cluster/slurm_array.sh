#!/usr/bin/env bash
# A Slurm array job over velto3gp as the README's "Many machines" recipe writes it, on a
# one-node cluster of its own: munged with its own key and socket, slurmctld and slurmd on free
# ports with their state, spool and logs in a scratch folder, started directly (no systemd).
# Each array task converts its own line of a list (SLURM_ARRAY_TASK_ID) of four clips and a
# damaged file; the damaged task alone ends 1; the array run again with --skip-existing skips
# the four and tries only the damaged one. Every daemon goes at the end, also when a check fails.
#   slurm_array.sh VELTO3GP MAKE_CLIPS
# Exit 77 (skipped) where the machine refuses: not root, a tool missing.
set -euo pipefail

velto3gp=$1
make_clips=$2
skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    for log in "$work"/*.log "$work"/*.err; do
        echo "--- $log"
        tail -n 20 "$log"
    done
    exit 1
}

[ "$(id -u)" -eq 0 ] || skip "needs root to start munged, slurmctld and slurmd"
for tool in munged slurmctld slurmd sbatch scontrol sinfo python3; do
    command -v "$tool" >/dev/null || skip "$tool is missing (./scripts/build.sh test installs it)"
done

work=$(mktemp -d /tmp/velto-slurm-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
    local i
    # Daemons stop in the reverse order of their start: slurmd, slurmctld, munged.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# munge: the cluster's authentication, with a key and a socket of its own.
mkdir -m 755 "$work/munge"
mkdir -m 700 "$work/munge-key"
head -c 1024 /dev/urandom >"$work/munge-key/munge.key"
chmod 400 "$work/munge-key/munge.key"
munged --force --foreground --key-file="$work/munge-key/munge.key" \
    --socket="$work/munge/munge.socket" --pid-file="$work/munge/munged.pid" \
    --seed-file="$work/munge/munged.seed" --log-file="$work/munged.log" 2>"$work/munged.err" &
pids+=($!)
for _ in $(seq 50); do
    [ -S "$work/munge/munge.socket" ] && break
    sleep 0.1
done
[ -S "$work/munge/munge.socket" ] || fail "munged did not start"

mkdir -p "$work/state" "$work/spool" "$work/out" "$work/logs"
conf=$work/slurm.conf
cat >"$conf" <<EOF
ClusterName=velto
SlurmctldHost=$(hostname -s)(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/munge.socket
CredType=cred/munge
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
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
MinJobAge=600
MessageTimeout=5
MailProg=/bin/true
NodeName=velto1 NodeHostname=localhost NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=velto Nodes=velto1 Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$conf
slurmctld -D -c -f "$conf" 2>"$work/slurmctld.err" &
pids+=($!)
slurmd -D -N velto1 -f "$conf" 2>"$work/slurmd.err" &
pids+=($!)
node_state() { timeout 5 sinfo -h -o %T 2>/dev/null || true; }
for _ in $(seq 60); do
    [ "$(node_state)" = idle ] && break
    sleep 0.5
done
[ "$(node_state)" = idle ] || fail "the node did not come up: $(timeout 5 sinfo 2>&1)"

"$make_clips" "$work/in" 4
ls "$work"/in/*.avi >"$work/list"
count=$(wc -l <"$work/list")
report=$work/report.jsonl
# The recipe's batch script: each task of the array converts its own line of the list.
cat >"$work/convert.sbatch" <<EOF
#!/bin/bash
#SBATCH --cpus-per-task=1
#SBATCH --output=$work/logs/%A_%a.out
exec "$velto3gp" convert -p 0 -o "$work/out" --quiet --files-from "$work/list" \\
    --report "$report" \${VELTO_RERUN:+--skip-existing}
EOF

# Task N's exit code as the controller keeps it ("ExitCode=1:0").
exit_codes() {
    scontrol -o show job "$1" | sed -n 's/.*ArrayTaskId=\([0-9]*\) .*ExitCode=\([0-9]*\):.*/\1 \2/p' |
        sort -n
}
submit() {
    sbatch --parsable --wait --array=0-$((count - 1)) "$@" "$work/convert.sbatch" || true
}
job=$(submit)
job=${job%%;*}
codes=$(exit_codes "$job")
expected=$(printf '0 0\n1 0\n2 0\n3 0\n4 1')
[ "$codes" = "$expected" ] || fail "array task exit codes: $codes"
for i in 0 1 2 3; do
    [ "$(stat -c %s "$work/out/clip${i}_(new).mp4" 2>/dev/null || echo 0)" -gt 1000 ] ||
        fail "clip${i}_(new).mp4 was not made"
done
[ "$(wc -l <"$report")" -eq 5 ] || fail "the report has not one line a task: $(cat "$report")"

# The same array again with --skip-existing: the four outputs are checked and passed over.
job=$(submit --export=ALL,VELTO_RERUN=1)
job=${job%%;*}
codes=$(exit_codes "$job")
[ "$codes" = "$expected" ] || fail "rerun exit codes: $codes"
rerun=$(tail -n +6 "$report")
[ "$(grep -c '"result":"skipped"' <<<"$rerun")" -eq 4 ] &&
    [ "$(grep -c '"result":"failed"' <<<"$rerun")" -eq 1 ] &&
    grep '"result":"failed"' <<<"$rerun" | grep -q damaged.avi ||
    fail "the rerun did not skip the four and try the damaged one: $rerun"
echo "slurm array: tasks 0-3 converted (exit 0), task 4 damaged (exit 1); the rerun with" \
    "--skip-existing skipped 4 and tried only the damaged one again"
