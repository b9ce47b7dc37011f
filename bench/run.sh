#!/usr/bin/env bash
# Benchmark: quelby against OpenLDAP's ldapsearch, same server, same queries, same
# attributes, same page size, output to a file. For each run it prints the wall
# time, the user+system CPU time and the peak memory (GNU time), and for quelby the
# ratios quelby / ldapsearch; then quelby's peak memory at 10,000 and 100,000 entries,
# the system calls of both tools per entry (strace -c -f, one run each), and whether
# quelby's output is byte for byte the output of a baseline revision.
#
#   bash bench/run.sh [--ldapsearch-only]
#
# Starts its own servers on 127.0.0.6 (a Samba AD DC with 5,000 extra users sharing one
# descriptor and 2,000 more whose descriptors all differ, and a slapd with 100,000
# entries) and stops them at the end.
# Environment: QUELBY_BENCH_IP (127.0.0.6), QUELBY_BENCH_STATE (.state/bench),
# QUELBY_BENCH_BUILD (build-bench, a Release build made here), QUELBY_BENCH_REPEAT
# (5 measured runs per line; the median wall and CPU times and the largest peak
# memory are shown), QUELBY_BENCH_KEEP_SERVERS=1 leaves the servers running,
# QUELBY_BENCH_BASELINE (a git revision whose quelby output must be matched byte for
# byte; default c9fded7, the last one that read replies message by message; "none"
# skips the check).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

LDAPSEARCH_ONLY=0
for arg in "$@"; do
  case $arg in
    --ldapsearch-only) LDAPSEARCH_ONLY=1 ;;
    *) echo "usage: $0 [--ldapsearch-only]" >&2; exit 2 ;;
  esac
done

IP=${QUELBY_BENCH_IP:-127.0.0.6}
STATE=${QUELBY_BENCH_STATE:-$ROOT/.state/bench}
BUILD=${QUELBY_BENCH_BUILD:-$ROOT/build-bench}
REPEAT=${QUELBY_BENCH_REPEAT:-5}
USERS=5000
SD_USERS=2000
ENTRIES=100000
PAGE=1000
TIME=/usr/bin/time
BASELINE=${QUELBY_BENCH_BASELINE:-c9fded7}
OUT=$(mktemp -d)

say() { echo "bench: $*" >&2; }
die() { say "$*"; exit 1; }

[ -x "$TIME" ] || die "GNU time ($TIME) is missing: run scripts/setup.sh"
command -v ldapsearch >/dev/null || die "ldapsearch is missing: run scripts/setup.sh"
[[ $REPEAT =~ ^[1-9][0-9]*$ ]] || die "QUELBY_BENCH_REPEAT must be a whole number above 0"

# ------------------------------------------------------------------ build
QUELBY=""
if [ $LDAPSEARCH_ONLY -eq 0 ]; then
  say "building quelby (Release) in $BUILD"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD" --target quelby >/dev/null || die "quelby does not build"
  QUELBY=$BUILD/driver/quelby
  [ -x "$QUELBY" ] || die "no quelby executable at $QUELBY"
fi

# ------------------------------------------------------------------ servers
start_servers() {
  QUELBY_SAMBA_BENCH_USERS=$USERS QUELBY_SAMBA_BENCH_DISTINCT_SD=$SD_USERS QUELBY_SLAPD_ENTRIES=$ENTRIES \
    bash "$ROOT/scripts/servers/start.sh" "$STATE" "$IP" >&2
}
say "starting the servers on $IP (Samba DC with $USERS + $SD_USERS bench users, slapd with $ENTRIES entries)"
start_servers || die "the servers did not start"
# shellcheck disable=SC1091
source "$STATE/env.sh"
# Servers left running from an earlier start may hold other data: start them afresh.
if [ "${QUELBY_TEST_BENCH_USERS:-0}" != "$USERS" ] || [ "${QUELBY_TEST_SLAPD_ENTRIES:-0}" != "$ENTRIES" ] ||
   [ "${QUELBY_TEST_BENCH_SD_USERS:-0}" != "$SD_USERS" ]; then
  say "servers in $STATE hold other data sets; restarting them"
  bash "$ROOT/scripts/servers/stop.sh" "$STATE"
  start_servers || die "the servers did not start"
  # shellcheck disable=SC1091
  source "$STATE/env.sh"
fi
if [ "${QUELBY_BENCH_KEEP_SERVERS:-0}" != 1 ]; then
  trap 'bash "$ROOT/scripts/servers/stop.sh" "$STATE" >/dev/null 2>&1 || true' EXIT
fi
export LDAPNOINIT=1  # ldapsearch: no ~/.ldaprc or ldap.conf defaults

DC_URL="ldap://$QUELBY_TEST_IP:389"
SL_URL="ldap://$QUELBY_TEST_SLAPD_HOST:$QUELBY_TEST_SLAPD_PORT"
SL_HOSTPORT="$QUELBY_TEST_SLAPD_HOST:$QUELBY_TEST_SLAPD_PORT"

# The queries: server, bind, base, filter, attributes.
DC_BASE=$QUELBY_TEST_BENCH_OU_DN
DC_FILTER="(objectClass=user)"
DC_ATTRS=("*" nTSecurityDescriptor)
SL_BASE=$QUELBY_TEST_SLAPD_PEOPLE_DN
SL_FILTER_ALL="(uid=user*)"
SL_FILTER_10K="(|(uid=user00*)(uid=user010000))"  # user000001 .. user010000
SL_ATTRS=(cn mail telephoneNumber)

# Each query as a command line for GNU time: sets the array CMD.
ldapsearch_dc() {
  CMD=(ldapsearch -LLL -x -H "$DC_URL" -D "$QUELBY_TEST_ADMIN_DN" -w "$QUELBY_TEST_ADMIN_PASSWORD"
       -E "pr=$PAGE/noprompt" -s sub -b "$DC_BASE" "$DC_FILTER" "${DC_ATTRS[@]}")
}
quelby_dc() {  # quelby switches
  CMD=("$QUELBY" -h "$QUELBY_TEST_IP" -simple -u "$QUELBY_TEST_ADMIN_DN" -up "$QUELBY_TEST_ADMIN_PASSWORD"
       -ps "$PAGE" -b "$DC_BASE" -f "$DC_FILTER" "$@" "${DC_ATTRS[@]}")
}
# Descriptors: the same users' nTSecurityDescriptor, undecoded by ldapsearch and
# rendered ACE by ACE by quelby (-sddc++ -resolvesids).
SD_ATTRS=(nTSecurityDescriptor)
ldapsearch_sd() {
  CMD=(ldapsearch -LLL -x -H "$DC_URL" -D "$QUELBY_TEST_ADMIN_DN" -w "$QUELBY_TEST_ADMIN_PASSWORD"
       -E "pr=$PAGE/noprompt" -s sub -b "$DC_BASE" "$DC_FILTER" "${SD_ATTRS[@]}")
}
quelby_sd() {
  CMD=("$QUELBY" -h "$QUELBY_TEST_IP" -simple -u "$QUELBY_TEST_ADMIN_DN" -up "$QUELBY_TEST_ADMIN_PASSWORD"
       -ps "$PAGE" -b "$DC_BASE" -f "$DC_FILTER" -sddc++ -resolvesids "${SD_ATTRS[@]}")
}
# Descriptors that all differ (each user's holds one explicit ACE for the user's own
# SID): ldapsearch fetches them undecoded with the SD flags control quelby sends
# (owner, group, DACL and SACL), quelby renders them at -sddc++ (switches follow).
SDD_BASE=$QUELBY_TEST_BENCH_SD_OU_DN
ldapsearch_sdd() {
  CMD=(ldapsearch -LLL -x -H "$DC_URL" -D "$QUELBY_TEST_ADMIN_DN" -w "$QUELBY_TEST_ADMIN_PASSWORD"
       -E "pr=$PAGE/noprompt" -E '!1.2.840.113556.1.4.801=::MAMCAQ8=' -s sub -b "$SDD_BASE"
       "$DC_FILTER" "${SD_ATTRS[@]}")
}
quelby_sdd() {
  CMD=("$QUELBY" -h "$QUELBY_TEST_IP" -simple -u "$QUELBY_TEST_ADMIN_DN" -up "$QUELBY_TEST_ADMIN_PASSWORD"
       -ps "$PAGE" -b "$SDD_BASE" -f "$DC_FILTER" -sddc++ "$@" "${SD_ATTRS[@]}")
}
ldapsearch_sl() {  # filter
  CMD=(ldapsearch -LLL -x -H "$SL_URL" -D "$QUELBY_TEST_SLAPD_READER_DN" -w "$QUELBY_TEST_SLAPD_READER_PASSWORD"
       -E "pr=$PAGE/noprompt" -s sub -b "$SL_BASE" "$1" "${SL_ATTRS[@]}")
}
quelby_sl() {  # filter, then quelby switches
  local filter=$1
  shift
  CMD=("$QUELBY" -h "$SL_HOSTPORT" -simple -u "$QUELBY_TEST_SLAPD_READER_DN" -up "$QUELBY_TEST_SLAPD_READER_PASSWORD"
       -ps "$PAGE" -b "$SL_BASE" -f "$filter" "$@" "${SL_ATTRS[@]}")
}

# Entry counts ("dn:" lines of either tool), so that a run that returns too little is
# seen at once.
count_entries() {  # ldapsearch function and arguments
  "$@"
  "${CMD[@]}" 2>/dev/null | grep -c '^dn:' || true
}

# measure NAME QUERY-FUNCTION ARGS...: REPEAT runs after one unmeasured warm-up run. Sets M_WALL, M_CPU
# (seconds, medians) and M_MEM (KiB, largest); fails when any run fails.
M_WALL=0 M_CPU=0 M_MEM=0
measure() {
  local name=$1
  shift
  "$@"
  local tf
  tf=$(mktemp)
  local walls=() cpus=() mem=0 i rc
  for ((i = 0; i <= REPEAT; i++)); do
    rc=0
    "$TIME" -f "%e %U %S %M" -o "$tf" "${CMD[@]}" >"$OUT/measure.out" 2>"$tf.err" || rc=$?
    if [ $rc -ne 0 ]; then
      say "$name failed (exit code $rc):"
      tail -n 5 "$tf.err" >&2
      rm -f "$tf" "$tf.err"
      return 1
    fi
    [ $i -eq 0 ] && continue  # warm-up
    read -r w u s m < <(tail -n 1 "$tf")
    walls+=("$w")
    cpus+=("$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.2f", u + s }')")
    [ "$m" -gt "$mem" ] && mem=$m
  done
  rm -f "$tf" "$tf.err"
  M_WALL=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
  M_CPU=$(printf '%s\n' "${cpus[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
  M_MEM=$mem
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
row() {  # tool wall cpu mem [ratios...]
  printf '  %-34s %8s %8s %9.1f' "$1" "$2" "$3" "$(awk -v m="$4" 'BEGIN { print m / 1024 }')"
  if [ $# -gt 4 ]; then printf '   %6s %6s %6s' "$5" "$6" "$7"; fi
  printf '\n'
}
header() {
  echo
  echo "$1"
  printf '  %-34s %8s %8s %9s   %6s %6s %6s\n' "tool" "wall s" "cpu s" "peak MiB" "wall/" "cpu/" "mem/"
}

# Whether a ratio is within its target: "met" or "NOT met".
meets() { awk -v r="$1" -v t="$2" 'BEGIN { print (r != "-" && r + 0 <= t + 0) ? "met" : "NOT met" }'; }

# compare TITLE WALL-TARGET CPU-TARGET LDAPSEARCH-FN ARGS... -- QUELBY-FN ARGS...: one
# ldapsearch line, then a quelby line with -dloid and one with the default settings.
FAILED=0
compare() {
  local title=$1 wall_target=$2 cpu_target=$3
  shift 3
  local ls_cmd=() q_cmd=()
  while [ "$1" != "--" ]; do ls_cmd+=("$1"); shift; done
  shift
  q_cmd=("$@")
  local counts="ldapsearch: $(count_entries "${ls_cmd[@]}") entries"
  [ $LDAPSEARCH_ONLY -eq 0 ] && counts+=", quelby: $(count_entries "${q_cmd[@]}" -dloid) entries"
  header "$title ($counts; median of $REPEAT runs)"
  if ! measure ldapsearch "${ls_cmd[@]}"; then FAILED=1; return; fi
  local lw=$M_WALL lc=$M_CPU lm=$M_MEM
  row "ldapsearch" "$lw" "$lc" "$lm"
  [ $LDAPSEARCH_ONLY -eq 1 ] && return
  local label extra
  for label in "quelby -dloid" "quelby (default)"; do
    extra=()
    [ "$label" = "quelby -dloid" ] && extra=(-dloid)
    if measure "$label" "${q_cmd[@]}" "${extra[@]}"; then
      row "$label" "$M_WALL" "$M_CPU" "$M_MEM" "$(ratio "$M_WALL" "$lw")" "$(ratio "$M_CPU" "$lc")" "$(ratio "$M_MEM" "$lm")"
      if [ "$label" = "quelby -dloid" ]; then
        local wr cr
        wr=$(ratio "$M_WALL" "$lw") cr=$(ratio "$M_CPU" "$lc")
        TARGETS+=("$title: wall ratio $wr (target <= $wall_target: $(meets "$wr" "$wall_target")), cpu ratio $cr (target <= $cpu_target: $(meets "$cr" "$cpu_target"))")
      fi
    else
      row "$label" "FAILED" "-" 0
      FAILED=1
    fi
  done
}

TARGETS=()
echo "quelby / ldapsearch benchmark on $IP, page size $PAGE, output to a file"
[ -n "$QUELBY" ] && echo "quelby: $QUELBY"
echo "ldapsearch: $(command -v ldapsearch)"

compare "Samba DC: $USERS users, all attributes and nTSecurityDescriptor" 1.00 1.00 \
  ldapsearch_dc -- quelby_dc
# The descriptor row: one quelby line (the descriptor attributes come from the
# schema step, so no -dloid), its CPU against ldapsearch's.
compare_sd() {
  local title="Samba DC: $USERS users, nTSecurityDescriptor decoded (-sddc++ -resolvesids)"
  local counts="ldapsearch: $(count_entries ldapsearch_sd) entries"
  [ $LDAPSEARCH_ONLY -eq 0 ] && counts+=", quelby: $(count_entries quelby_sd) entries"
  header "$title ($counts; median of $REPEAT runs)"
  if ! measure ldapsearch ldapsearch_sd; then FAILED=1; return; fi
  local lw=$M_WALL lc=$M_CPU lm=$M_MEM
  row "ldapsearch (undecoded)" "$lw" "$lc" "$lm"
  [ $LDAPSEARCH_ONLY -eq 1 ] && return
  if measure "quelby -sddc++" quelby_sd; then
    row "quelby -sddc++ -resolvesids" "$M_WALL" "$M_CPU" "$M_MEM" "$(ratio "$M_WALL" "$lw")" \
      "$(ratio "$M_CPU" "$lc")" "$(ratio "$M_MEM" "$lm")"
    local sr; sr=$(ratio "$M_CPU" "$lc")
    TARGETS+=("descriptors at -sddc++: cpu ratio $sr (target <= 1.50: $(meets "$sr" 1.50))")
  else
    row "quelby -sddc++ -resolvesids" "FAILED" "-" 0
    FAILED=1
  fi
}
compare_sd
# The distinct descriptors: one ldapsearch line, then quelby at -sddc++ and at
# -sddc++ -resolvesids, each against it.
compare_sdd() {
  local title="Samba DC: $SD_USERS users whose descriptors all differ, nTSecurityDescriptor"
  local counts="ldapsearch: $(count_entries ldapsearch_sdd) entries"
  [ $LDAPSEARCH_ONLY -eq 0 ] && counts+=", quelby: $(count_entries quelby_sdd) entries"
  header "$title ($counts; median of $REPEAT runs)"
  if ! measure ldapsearch ldapsearch_sdd; then FAILED=1; return; fi
  local lw=$M_WALL lc=$M_CPU lm=$M_MEM
  row "ldapsearch (undecoded)" "$lw" "$lc" "$lm"
  [ $LDAPSEARCH_ONLY -eq 1 ] && return
  local label switches wall_target cpu_target
  for switches in "" "-resolvesids"; do
    label="quelby -sddc++${switches:+ $switches}"
    if [ -z "$switches" ]; then cpu_target=2.00 wall_target=""; else cpu_target=3.00 wall_target=2.00; fi
    # shellcheck disable=SC2086
    if measure "$label" quelby_sdd $switches; then
      row "$label" "$M_WALL" "$M_CPU" "$M_MEM" "$(ratio "$M_WALL" "$lw")" "$(ratio "$M_CPU" "$lc")" "$(ratio "$M_MEM" "$lm")"
      local wr cr line="distinct descriptors, $label: "
      wr=$(ratio "$M_WALL" "$lw") cr=$(ratio "$M_CPU" "$lc")
      [ -n "$wall_target" ] && line+="wall ratio $wr (target <= $wall_target: $(meets "$wr" "$wall_target")), "
      TARGETS+=("${line}cpu ratio $cr (target <= $cpu_target: $(meets "$cr" "$cpu_target"))")
    else
      row "$label" "FAILED" "-" 0
      FAILED=1
    fi
  done
}
compare_sdd
compare "slapd: $ENTRIES entries, attributes ${SL_ATTRS[*]}" 0.95 0.50 \
  ldapsearch_sl "$SL_FILTER_ALL" -- quelby_sl "$SL_FILTER_ALL"

if [ $LDAPSEARCH_ONLY -eq 0 ]; then
  echo
  echo "quelby peak memory by number of entries (slapd, -dloid, attributes ${SL_ATTRS[*]})"
  mem10=0 mem100=0
  if measure "quelby 10,000" quelby_sl "$SL_FILTER_10K" -dloid; then
    mem10=$M_MEM
    row "quelby, 10,000 entries" "$M_WALL" "$M_CPU" "$M_MEM"
  else FAILED=1; fi
  if measure "quelby 100,000" quelby_sl "$SL_FILTER_ALL" -dloid; then
    mem100=$M_MEM
    row "quelby, 100,000 entries" "$M_WALL" "$M_CPU" "$M_MEM"
  else FAILED=1; fi
  if [ "$mem10" -gt 0 ] && [ "$mem100" -gt 0 ]; then
    mr=$(ratio "$mem100" "$mem10")
    TARGETS+=("peak memory 100,000 / 10,000 entries: $mr (target <= 1.10: $(meets "$mr" 1.10))")
  fi

  echo
  echo "system calls, one run each (strace -c -f; slapd, $ENTRIES entries)"
  printf '  %-22s %10s %10s %10s %12s %16s\n' "tool" "reads" "waits" "all" "all/entry" "reads/100,000"
  syscalls() {  # label, then the query function and its arguments
    local label=$1 st
    shift
    "$@"
    st=$(mktemp)
    if strace -c -f -o "$st" "${CMD[@]}" >"$OUT/strace.out" 2>/dev/null; then
      # Calls are the fourth column of every row, the total's too.
      awk -v label="$label" -v n="$ENTRIES" '
        $NF == "read" || $NF == "recvfrom" || $NF == "recvmsg" { r += $4 }
        $NF == "poll" || $NF == "ppoll" || $NF == "select" { p += $4 }
        $NF == "total" { t = $4 }
        END { printf "  %-22s %10d %10d %10d %12.3f %16d\n", label, r, p, t, t / n, r * 100000 / n }' "$st"
    else
      say "strace of $label failed"; FAILED=1
    fi
    rm -f "$st"
  }
  syscalls ldapsearch ldapsearch_sl "$SL_FILTER_ALL"
  syscalls "quelby -dloid" quelby_sl "$SL_FILTER_ALL" -dloid

  # The same bytes as the baseline revision's quelby on both queries.
  if [ "$BASELINE" != none ]; then
    echo
    base_src=$ROOT/.state/bench-baseline
    base_build=$ROOT/build-bench-baseline
    if git -C "$ROOT" rev-parse -q --verify "$BASELINE^{commit}" >/dev/null; then
      rm -rf "$base_src"
      git -C "$ROOT" archive --prefix=src/ "$BASELINE" | tar -x -C "$(mkdir -p "$base_src" && echo "$base_src")"
      cmake -S "$base_src/src" -B "$base_build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
      if cmake --build "$base_build" --target quelby >/dev/null; then
        same=1
        for q in dc sl; do
          if [ $q = dc ]; then quelby_dc -dloid; else quelby_sl "$SL_FILTER_ALL" -dloid; fi
          "${CMD[@]}" >"$OUT/now.$q" 2>/dev/null || true
          CMD[0]=$base_build/driver/quelby
          "${CMD[@]}" >"$OUT/base.$q" 2>/dev/null || true
          cmp -s "$OUT/now.$q" "$OUT/base.$q" || { same=0; say "output of the $q query differs from $BASELINE"; }
        done
        [ $same -eq 1 ] || FAILED=1
        TARGETS+=("output identical to revision $BASELINE on both queries: $([ $same -eq 1 ] && echo yes || echo NO)")
      else
        say "revision $BASELINE does not build; output not compared"
      fi
    else
      say "revision $BASELINE is not in this repository; output not compared"
    fi
  fi

  echo
  echo "targets"
  for t in "${TARGETS[@]}"; do echo "  $t"; done
fi

rm -rf "$OUT"
[ $FAILED -eq 0 ] || die "some runs failed (see above)"
