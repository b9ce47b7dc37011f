#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds quelby and audit (plain and with ASan/UBSan),
# starts the loopback test servers, runs every test, and stops the servers again.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=$(nproc)

bash scripts/setup.sh

# Plain build: every test, including those against the real servers and the window test.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"

# Sanitizer build: the unit tests must pass under ASan and UBSan too.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUELBY_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$JOBS"

echo "== unit tests under AddressSanitizer + UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -L unit --output-on-failure -j "$JOBS"

# Fuzzing build (clang-14, libFuzzer with ASan/UBSan): the whole project must compile
# with clang too, and every fuzz target runs for a bounded time, at most 60 s together.
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUELBY_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$JOBS"
bash scripts/fuzz.sh build-fuzz 60

# Test servers: a Samba AD DC and slapd on loopback, stopped whatever happens.
STATE="$ROOT/.state/servers"
if [ -x scripts/servers/start.sh ]; then
  trap 'bash scripts/servers/stop.sh "$STATE" || true' EXIT
  bash scripts/servers/start.sh "$STATE"
  # shellcheck disable=SC1091
  source "$STATE/env.sh"
fi

echo "== all tests"
ctest --test-dir build --output-on-failure -j "$JOBS"
