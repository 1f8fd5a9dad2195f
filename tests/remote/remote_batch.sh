#!/usr/bin/env bash
# The README's many-machines commands run for real: an ssh server on
# 127.0.0.1 stands in for the hosts alpha and beta, a throwaway user has the
# installed korvanti-batch on its PATH, and every result must equal a local
# run. Then the server is stopped part way and the README's final check must
# name the results that never came back.
# Usage: remote_batch.sh SOURCE_DIR BUILD_DIR. Needs root; exit 77 = skipped.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
batch=$build/batch/korvanti-batch
sshd=/usr/sbin/sshd

skip() { echo "SKIP: $*"; exit 77; }
[[ $(id -u) == 0 ]] || skip "needs root to add a throwaway user for the ssh server"
for tool in "$sshd" ssh ssh-keygen rsync parallel useradd; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (tools/install-deps installs it)"
done

work=$(mktemp -d)
user=kvremote$$
sshd_pid=
made_run_dir=
cleanup() {
  if [[ -n $sshd_pid ]]; then kill "$sshd_pid" 2>/dev/null || true; wait "$sshd_pid" 2>/dev/null || true; fi
  if id "$user" >/dev/null 2>&1; then userdel "$user" 2>/dev/null || true; fi
  if [[ -n $made_run_dir ]]; then rmdir /run/sshd 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The host: a user whose home is in the work folder, the installed tool on
# the PATH of its ssh sessions, a server of its own on a spare port.
chmod 711 "$work"
mkdir -p "$work/home" "$work/ssh" "$work/here/photos"
cmake --install "$build" --prefix "$work/stage" >/dev/null
useradd --no-create-home --home-dir "$work/home" --shell /bin/sh --password '*' "$user"
chown "$user" "$work/home"
ssh-keygen -q -t ed25519 -N '' -C host -f "$work/ssh/host_key"
ssh-keygen -q -t ed25519 -N '' -C client -f "$work/ssh/client_key"
cp "$work/ssh/client_key.pub" "$work/ssh/authorized_keys"
chmod 644 "$work/ssh/authorized_keys"
port=$(perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1:0")->sockport')
cat >"$work/ssh/sshd_config" <<CONFIG
Port $port
ListenAddress 127.0.0.1
HostKey $work/ssh/host_key
PidFile none
AuthorizedKeysFile $work/ssh/authorized_keys
AllowUsers $user
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
MaxStartups 100
MaxSessions 100
LogLevel ERROR
SetEnv PATH=$work/stage/bin:/usr/local/bin:/usr/bin:/bin
CONFIG
echo "loopback $(cut -d' ' -f1,2 "$work/ssh/host_key.pub")" >"$work/ssh/known_hosts"
cat >"$work/ssh/ssh_config" <<CONFIG
Host alpha beta
  HostName 127.0.0.1
  Port $port
  User $user
  IdentityFile $work/ssh/client_key
  IdentitiesOnly yes
  HostKeyAlias loopback
  UserKnownHostsFile $work/ssh/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  ConnectTimeout 5
CONFIG
if [[ ! -d /run/sshd ]]; then mkdir -p /run/sshd && made_run_dir=1; fi

start_server() {
  "$sshd" -D -e -f "$work/ssh/sshd_config" 2>>"$work/sshd.log" &
  sshd_pid=$!
  for _ in $(seq 50); do
    ssh -F "$work/ssh/ssh_config" alpha true </dev/null 2>>"$work/ssh.log" && return 0
    kill -0 "$sshd_pid" 2>/dev/null || break
    sleep 0.1
  done
  skip "the ssh server on 127.0.0.1:$port did not start: $(cat "$work/sshd.log" "$work/ssh.log")"
}
stop_server() { kill "$sshd_pid"; wait "$sshd_pid" 2>/dev/null || true; sshd_pid=; }
start_server
[[ $(ssh -F "$work/ssh/ssh_config" alpha 'command -v korvanti-batch' </dev/null) == "$work/stage/bin/korvanti-batch" ]] ||
  { echo "FAIL: the host does not find the installed korvanti-batch"; exit 1; }
echo "ssh server on 127.0.0.1:$port (pid $sshd_pid) as $user, korvanti-batch from $work/stage/bin"

# JPEG and BMP inputs made by the tool itself from the sample picture.
cd "$work/here"
sample=$source_dir/samples/sample.bmp
effects=(invert blur sharpen mosaic sunset emboss)
for i in "${!effects[@]}"; do
  extension=$([[ $((i % 2)) == 0 ]] && echo jpg || echo bmp)
  "$batch" -q -e "${effects[i]}" -o "photos/${effects[i]}.$extension" "$sample"
done
inputs=(photos/*)
"$batch" -q -j 1 -e median -d expected --format jpeg "${inputs[@]}"

# The README's commands, from its many-machines section: the local run up to
# "# Over two hosts", then the remote run and the final check.
section=$(sed -n '/^### Many machines/,/^## /p' "$source_dir/README.md")
local_commands=$(sed -n '/^# Here,/,/^# Over two hosts/p' <<<"$section" | sed '$d')
readme_commands=$(sed -n '/^# Over two hosts/,/^```/p' <<<"$section" | sed '$d')
[[ $local_commands == *"parallel -j"* && $readme_commands == *"parallel --sshlogin"* ]] ||
  { echo "FAIL: no local and remote commands in README.md"; exit 1; }
export PARALLEL_SSH="ssh -F $work/ssh/ssh_config" PARALLEL_HOME=$work/parallel
mkdir -p "$PARALLEL_HOME" && touch "$PARALLEL_HOME/will-cite"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Prints how many results are byte for byte the local run's; names others.
same_as_local() {
  local file count=0
  for file in out/*.jpg; do
    [[ -e $file ]] || continue
    if cmp -s "$file" "expected/${file#out/}"; then count=$((count + 1)); else echo "$file differs from the local run" >&2; fi
  done
  echo "$count"
}

# This machine (":" in the remote command) has the tool installed too.
export PATH=$work/stage/bin:$PATH
bash -c "$local_commands" </dev/null || fail "the local command failed"
matching=$(same_as_local)
echo "here: $matching of ${#inputs[@]} results equal the tool run by hand"
((matching == ${#inputs[@]})) || fail "the local command's results are missing or differ"
rm -rf out

status=0
bash -c "$readme_commands" </dev/null >check.out 2>run.err || status=$?
matching=$(same_as_local)
hosts=$(awk -F'\t' 'NR > 1 { print $2 }' remote.log 2>/dev/null | sort | uniq -c | xargs)
echo "all hosts up: jobs per host: $hosts; the check exits $status; $matching of ${#inputs[@]} results equal the local run"
[[ $status == 0 && $matching == "${#inputs[@]}" && ! -s check.out ]] || fail "results missing or different: $(cat check.out run.err)"
[[ $hosts == *alpha* || $hosts == *beta* ]] || fail "no file went to a remote host"
[[ $(ls photos | wc -l) == "${#inputs[@]}" ]] || fail "inputs were removed here"
[[ -z $(find "$work/home" -type f) ]] || fail "files left on the host: $(find "$work/home" -type f)"

# The server stops once the first result is back; one host only, one job at
# a time, so the later files cannot finish there.
rm -rf out remote.log check.out
one_host_commands=${readme_commands//8\/alpha,8\/beta,:/1\/alpha}
bash -c "$one_host_commands" </dev/null >check.out 2>run.err &
run_pid=$!
until compgen -G 'out/*.jpg' >/dev/null || ! kill -0 "$run_pid" 2>/dev/null; do sleep 0.02; done
stop_server
status=0
wait "$run_pid" || status=$?
matching=$(same_as_local)
named=$(grep -c '^missing: ' check.out || true)
echo "server stopped part way: results back $matching of ${#inputs[@]}, the check named $named missing and exited $status"
((matching < ${#inputs[@]})) || fail "every result came back although the server stopped"
((named + matching == ${#inputs[@]})) || fail "the check named $named missing for $matching of ${#inputs[@]} back: $(cat check.out)"
((status != 0)) || fail "the commands exited 0 with results missing"
while read -r line; do
  [[ -e ${line#missing: } ]] && fail "the check named $line, which is there"
done < <(grep '^missing: ' check.out)

((failures == 0)) || exit 1
echo "remote runs as the README gives them: results equal, missing ones reported"
