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

# Test servers: a Samba AD DC and slapd on loopback, and beside them a second DC left at
# Samba's defaults for binds (simple binds over TLS only, SASL binds signed or sealed),
# started together and stopped whatever happens.
STATE="$ROOT/.state/servers"
DEFAULTS_STATE="$ROOT/.state/servers-at-defaults"
DEFAULTS_IP=127.0.0.2
DEFAULTS_START=
trap '{ [ -z "$DEFAULTS_START" ] || wait "$DEFAULTS_START"; } 2>/dev/null
      bash scripts/servers/stop.sh "$STATE" || true; bash scripts/servers/stop.sh "$DEFAULTS_STATE" || true' EXIT
QUELBY_TEST_DC_AT_DEFAULTS=1 bash scripts/servers/start.sh "$DEFAULTS_STATE" "$DEFAULTS_IP" &
DEFAULTS_START=$!
bash scripts/servers/start.sh "$STATE"
wait "$DEFAULTS_START"
DEFAULTS_START=
# shellcheck disable=SC1091
source "$STATE/env.sh"
# The DC at defaults: its host name, address and CA (the same domain, users and passwords).
QUELBY_TEST_DEFAULTS_DC_HOST=$(source "$DEFAULTS_STATE/env.sh" && echo "$QUELBY_TEST_DC_HOST")
QUELBY_TEST_DEFAULTS_CA=$(source "$DEFAULTS_STATE/env.sh" && echo "$QUELBY_TEST_CA")
export QUELBY_TEST_DEFAULTS_DC_HOST QUELBY_TEST_DEFAULTS_CA QUELBY_TEST_DEFAULTS_DC_IP=$DEFAULTS_IP

echo "== all tests"
ctest --test-dir build --output-on-failure -j "$JOBS"

# The C++ tests against the servers (binds, their security layers, TLS, searches) under
# ASan and UBSan too: what the libraries hand back is read as they write it.
echo "== the C++ server tests under AddressSanitizer + UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -L server -E '_server_test$' --output-on-failure -j "$JOBS"
