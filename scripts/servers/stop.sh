#!/usr/bin/env bash
# Stops the test servers that scripts/servers/start.sh STATEDIR started.
#
#   scripts/servers/stop.sh STATEDIR
#
# Ends exactly the processes whose pids start.sh kept in STATEDIR/run (after checking the
# pid still belongs to samba or slapd), waits until they are gone, and removes the
# /etc/hosts line start.sh added. A missing or already stopped STATEDIR is fine.
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 STATEDIR" >&2
  exit 2
fi
STATE=$1
RUN=$STATE/run
[ -d "$STATE" ] || exit 0

# The pid is ours only while it still runs the program we started: same program and the
# same start time as recorded by start.sh (pids get reused; samba rewrites its command line).
starttime() {
  local s
  s=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  s=${s##*) }
  # shellcheck disable=SC2086
  set -- $s
  echo "${20}"
}
ours() {
  local pid=$1 prog=$2 exe
  exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || return 1
  [ "${exe##*/}" = "$prog" ] || return 1
  [ ! -f "$RUN/$prog.start" ] || [ "$(starttime "$pid")" = "$(cat "$RUN/$prog.start")" ]
}

pids=()
for prog in samba slapd; do
  f=$RUN/$prog.pid
  [ -f "$f" ] || continue
  pid=$(cat "$f")
  if [[ $pid =~ ^[0-9]+$ ]] && ours "$pid" "$prog"; then
    kill -TERM "$pid" 2>/dev/null && pids+=("$pid")
  fi
done

# Wait (bounded) for a clean exit, then force.
status=0
for pid in "${pids[@]}"; do
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "servers: pid $pid did not end on SIGTERM; killing it" >&2
    kill -KILL "$pid" 2>/dev/null
    for _ in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      echo "servers: pid $pid is still there" >&2
      status=1
    fi
  fi
done
rm -f "$RUN/samba.pid" "$RUN/slapd.pid" "$RUN/samba.start" "$RUN/slapd.start"

# Take out the /etc/hosts line, only if start.sh added it.
if [ -f "$STATE/hosts-line" ]; then
  line=$(cat "$STATE/hosts-line")
  (
    flock 9
    if grep -qxF -- "$line" /etc/hosts; then
      tmp=$(mktemp)
      grep -vxF -- "$line" /etc/hosts >"$tmp"
      cat "$tmp" >/etc/hosts
      rm -f "$tmp"
    fi
  ) 9>>/tmp/quelby-test-servers.hosts.lock
  rm -f "$STATE/hosts-line"
fi
rm -f "$STATE/env.sh"
exit $status
