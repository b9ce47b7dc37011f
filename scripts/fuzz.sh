#!/usr/bin/env bash
# Runs every fuzz target of a fuzzing build (cmake -DQUELBY_FUZZ=ON) for a
# bounded time: the whole run takes at most BUDGET seconds (default 60),
# shared out over the targets found, several at a time. Fails on any crash,
# sanitizer report or hang.
#   scripts/fuzz.sh BUILD_DIR [BUDGET_SECONDS]
set -euo pipefail
BUILD=$(cd "$1" && pwd)
BUDGET=${2:-60}
LIST="$BUILD/fuzz_targets.txt"
[ -f "$LIST" ] || { echo "fuzz: $LIST not found (configure with -DQUELBY_FUZZ=ON)" >&2; exit 1; }

mapfile -t TARGETS < <(grep -v '^[[:space:]]*$' "$LIST")
COUNT=${#TARGETS[@]}
if [ "$COUNT" -eq 0 ]; then echo "fuzz: no targets"; exit 0; fi

# Targets run in waves of PAR at once; each wave gets an equal slice of the
# budget, less a margin for start-up and the final report.
PAR=$(nproc); [ "$PAR" -gt 4 ] && PAR=4
[ "$PAR" -gt "$COUNT" ] && PAR=$COUNT
WAVES=$(( (COUNT + PAR - 1) / PAR ))
SLICE=$(( BUDGET / WAVES ))
RUN=$(( SLICE * 2 / 3 ))
[ "$RUN" -lt 1 ] && RUN=1
echo "== fuzzing: $COUNT targets, $PAR at a time, ${RUN}s each"

WORK="$BUILD/fuzz-work"
rm -rf "$WORK"
mkdir -p "$WORK"

run_one() {
  local bin=$1 seeds=$2 name
  name=$(basename "$bin")
  mkdir -p "$WORK/$name/corpus" "$WORK/$name/artifacts"
  # New inputs go to the work corpus, never into the seeds in the source tree;
  # standard output is closed (decoders print), errors stay in the log.
  local rc=0
  timeout -k 2 $(( SLICE - 1 )) "$bin" -max_total_time="$RUN" -timeout=5 -rss_limit_mb=2048 \
      -close_fd_mask=1 -artifact_prefix="$WORK/$name/artifacts/" \
      "$WORK/$name/corpus" "$seeds" >"$WORK/$name/log" 2>&1 || rc=$?
  # A target still running when its slice ends (a slow machine) is stopped
  # without a fault; a crash, sanitizer report, leak, slow input or memory
  # overrun leaves an artifact and a report in the log.
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    if [ -z "$(ls -A "$WORK/$name/artifacts")" ] && ! grep -q '^==[0-9]*==ERROR\|runtime error' "$WORK/$name/log"; then
      rc=0
    fi
  fi
  if [ "$rc" -eq 0 ]; then
    echo "fuzz: $name ok ($(grep -o 'Done [0-9]* runs' "$WORK/$name/log" | tail -1 || echo stopped at its time))"
  else
    echo "fuzz: $name FAILED (exit $rc); log follows" >&2
    tail -n 60 "$WORK/$name/log" >&2
    ls "$WORK/$name/artifacts" >&2
    return 1
  fi
}

failed=0
i=0
pids=()
for line in "${TARGETS[@]}"; do
  read -r bin seeds <<<"$line"
  [ -d "$seeds" ] || seeds="$WORK/empty-seeds"
  mkdir -p "$WORK/empty-seeds"
  run_one "$bin" "$seeds" &
  pids+=($!)
  i=$((i + 1))
  if [ $((i % PAR)) -eq 0 ] || [ "$i" -eq "$COUNT" ]; then
    for p in "${pids[@]}"; do wait "$p" || failed=1; done
    pids=()
  fi
done
[ "$failed" -eq 0 ] || { echo "fuzz: a target failed" >&2; exit 1; }
echo "fuzz: all $COUNT targets ran without a fault"
