#!/usr/bin/env bash
# GNU Parallel driving velto3gp over SSH as the README's "Many machines" recipe does, with this
# machine as the one worker: an sshd of its own on 127.0.0.1 (a free port, throw-away host and
# client keys) letting in a worker account made for the run. Four clips and a damaged file go
# out with --transferfile, come back with --return and leave the worker with --cleanup; the
# joblog holds the one failure, and --resume-failed tries only that one again. The sshd and the
# account go at the end, also when a check fails.
#   parallel_ssh.sh VELTO3GP MAKE_CLIPS
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
    exit 1
}

[ "$(id -u)" -eq 0 ] || skip "needs root to start an sshd and make a worker account"
for tool in parallel rsync ssh ssh-keygen /usr/sbin/sshd useradd userdel python3; do
    command -v "$tool" >/dev/null || skip "$tool is missing (./scripts/build.sh test installs it)"
done

work=$(mktemp -d /tmp/velto-parallel-XXXXXX)
chmod 755 "$work"
user=velto-w$$
sshd_pid=
made_run_sshd=
cleanup() {
    if [ -n "$sshd_pid" ]; then
        kill "$sshd_pid" 2>/dev/null || true
        wait "$sshd_pid" 2>/dev/null || true
    fi
    if id "$user" >/dev/null 2>&1; then userdel -f -r "$user" >/dev/null 2>&1 || true; fi
    if [ -n "$made_run_sshd" ]; then rmdir /run/sshd 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# The worker: an account that takes the client's key, and an sshd for it alone.
useradd --create-home --home-dir "$work/home" --shell /bin/bash "$user"
# No password, and not locked either: sshd lets a locked account in by no key.
usermod -p '*' "$user"
su -s /bin/sh "$user" -c "'$velto3gp' --version" >/dev/null 2>&1 ||
    skip "the worker account cannot run $velto3gp (its folder is not readable by others)"
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/id"
install -d -m 700 -o "$user" "$work/home/.ssh"
install -m 600 -o "$user" "$work/id.pub" "$work/home/.ssh/authorized_keys"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/sshd_config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile $work/sshd.pid
AllowUsers $user
PermitRootLogin no
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
EOF
if [ ! -d /run/sshd ]; then
    mkdir -m 755 /run/sshd
    made_run_sshd=1
fi
/usr/sbin/sshd -t -f "$work/sshd_config" || fail "sshd refuses its configuration"
/usr/sbin/sshd -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
sshd_pid=$!

# The client side: what ~/.ssh/config says on a real head node.
cat >"$work/ssh_config" <<EOF
Host velto-worker
    HostName 127.0.0.1
    Port $port
    User $user
    IdentityFile $work/id
    IdentitiesOnly yes
    StrictHostKeyChecking no
    UserKnownHostsFile $work/known_hosts
    BatchMode yes
    LogLevel ERROR
EOF
ssh_command="ssh -F $work/ssh_config"
for _ in $(seq 50); do
    $ssh_command velto-worker true 2>/dev/null && break
    sleep 0.2
done
$ssh_command velto-worker true || fail "cannot log in to the worker: $(tail -n 5 "$work/sshd.log")"

mkdir "$work/in"
"$make_clips" "$work/in" 4
cd "$work/in"
ls -- *.avi >"$work/list"

# The recipe. velto3gp's own exit status (1 for the damaged file) is each job's result. rsync
# from 3.2.4 on no longer splits remote names in the shell, which Parallel quotes for it
# (the output names hold brackets): --old-args brings that back.
run_batch() {
    parallel --will-cite --ssh "$ssh_command" -S velto-worker --joblog "$work/joblog" \
        --rsync-opts '-rlDzR --old-args' --retries 2 "$@" \
        --transferfile {} --return '{.}_(new).mp4' --cleanup \
        "$velto3gp" convert -p 0 -o . --quiet {} <"$work/list" >"$work/parallel.out" 2>&1
}
status=0
run_batch || status=$?
[ "$status" -eq 1 ] || fail "parallel exited $status, not 1 (one failed job): $(cat "$work/parallel.out")"
for i in 0 1 2 3; do
    [ "$(stat -c %s "clip${i}_(new).mp4" 2>/dev/null || echo 0)" -gt 1000 ] ||
        fail "clip${i}_(new).mp4 did not come back: $(cat "$work/parallel.out")"
done
[ ! -e "damaged_(new).mp4" ] || fail "the damaged file left an output"
# Joblog columns: Seq Host Starttime JobRuntime Send Receive Exitval Signal Command.
exit_of() { awk -F'\t' -v f="$1" 'NR > 1 && $9 ~ f { v = $7 } END { print v }' "$work/joblog"; }
for i in 0 1 2 3; do [ "$(exit_of "clip$i.avi")" = 0 ] || fail "joblog: clip$i.avi did not end 0"; done
[ "$(exit_of damaged.avi)" = 1 ] || fail "joblog: damaged.avi did not end 1: $(cat "$work/joblog")"
leftovers=$(find "$work/home" -maxdepth 1 \( -name '*.avi' -o -name '*.mp4' \) | wc -l)
[ "$leftovers" -eq 0 ] || fail "--cleanup left $leftovers files on the worker"

# Again with --resume-failed: only the failed job runs.
lines=$(wc -l <"$work/joblog")
status=0
run_batch --resume-failed || status=$?
[ "$status" -eq 1 ] || fail "the rerun exited $status, not 1"
new=$(tail -n +"$((lines + 1))" "$work/joblog")
[ "$(printf '%s\n' "$new" | grep -c .)" -eq 1 ] && [[ $new == *damaged.avi* ]] ||
    fail "the rerun ran more than the failed job: $new"
echo "parallel over ssh: 4 converted on the worker and returned, the damaged one failed (exit 1)" \
    "and was the only one tried again"
