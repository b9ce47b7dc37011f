#!/usr/bin/env bash
# The first command of the README: sets the machine up, builds quelby, starts a test
# domain controller (Samba AD DC, and slapd beside it) on a loopback address, runs a
# real query against it, prints what quelby printed, and stops the servers on exit.
#
#   bash scripts/demo.sh
#
# Environment: QUELBY_DEMO_IP (127.0.0.5), QUELBY_DEMO_STATE (.state/demo),
# QUELBY_DEMO_BUILD (build).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
IP=${QUELBY_DEMO_IP:-127.0.0.5}
STATE=${QUELBY_DEMO_STATE:-$ROOT/.state/demo}
BUILD=${QUELBY_DEMO_BUILD:-$ROOT/build}

say() { printf '\n== %s\n' "$*"; }

say "setting up the machine"
bash scripts/setup.sh

say "building quelby"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target quelby -j "$(nproc)"
QUELBY="$BUILD/driver/quelby"

say "starting the test domain controller on $IP"
trap 'bash scripts/servers/stop.sh "$STATE" || true' EXIT
bash scripts/servers/start.sh "$STATE" "$IP"
# shellcheck disable=SC1091
source "$STATE/env.sh"

run() {
  printf '\n$ quelby'
  printf ' %q' "$@"
  printf '\n\n'
  "$QUELBY" "$@" 2>&1
}

say "the seeded users of $QUELBY_TEST_OU_DN with their groups and times"
# The 1,600 members of the big group live below OU=BigMembers: leave them out here.
run -h "$QUELBY_TEST_DC_HOST" -u "$QUELBY_TEST_ADMIN_USER" -up "$QUELBY_TEST_ADMIN_PASSWORD" \
  -b "$QUELBY_TEST_OU_DN" -f "(objectClass=user)" -excldn "ou=bigmembers" \
  cn memberOf pwdLastSet lastLogon objectSid objectGUID -tdc

say "the same users as CSV, with the domain's DN shortened"
run -h "$QUELBY_TEST_DC_HOST" -u "$QUELBY_TEST_ADMIN_USER" -up "$QUELBY_TEST_ADMIN_PASSWORD" \
  -b "$QUELBY_TEST_OU_DN" -s one -f "(objectClass=user)" -csv NONE -replacedn _default \
  -sort cn cn mail userAccountControl memberOf

say "done; the servers stop now"
