#!/usr/bin/env bash
# Proves the loopback test servers with the stock clients.
#
#   tests/servers_smoke.sh [STATEDIR]
#
# Uses the servers described by STATEDIR/env.sh (or, without an argument, by the
# environment when QUELBY_TEST_SERVERS is set). Without either it starts its own pair in a
# temporary folder on 127.0.0.1 and stops them at the end. Exits non-zero on the first
# failed check and says which.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

own_state=""
if [ $# -ge 1 ]; then
  # shellcheck disable=SC1091
  source "$1/env.sh" || { echo "smoke: no env.sh in $1" >&2; exit 1; }
elif [ "${QUELBY_TEST_SERVERS:-}" != 1 ]; then
  own_state=$(mktemp -d /tmp/quelby-smoke.XXXXXX)
  trap 'bash "$ROOT/scripts/servers/stop.sh" "$own_state"; rm -rf "$own_state"' EXIT
  bash "$ROOT/scripts/servers/start.sh" "$own_state" || exit 1
  # shellcheck disable=SC1091
  source "$own_state/env.sh"
fi

failures=0
pass() { echo "ok   - $*"; }
bad() { echo "FAIL - $*"; failures=$((failures + 1)); }
OUT=$(mktemp)
trap 'rm -f "$OUT"; [ -z "$own_state" ] || { bash "$ROOT/scripts/servers/stop.sh" "$own_state"; rm -rf "$own_state"; }' EXIT

DC="ldap://$QUELBY_TEST_IP"
SL="ldap://$QUELBY_TEST_SLAPD_HOST:$QUELBY_TEST_SLAPD_PORT"

# Runs a command, keeping its output in $OUT, and returns its exit status.
run() { "$@" >"$OUT" 2>&1; }
count_dn() { grep -c '^dn:' "$OUT"; }

# -- Samba DC, plain LDAP
if run ldapsearch -LLL -x -H "$DC" -s base -b "" dnsHostName defaultNamingContext supportedCapabilities &&
   grep -qi "^dnsHostName: $QUELBY_TEST_DC_HOST\$" "$OUT" &&
   grep -q "^defaultNamingContext: $QUELBY_TEST_BASE\$" "$OUT" &&
   grep -q "^supportedCapabilities: 1.2.840.113556.1.4.800\$" "$OUT"; then
  pass "anonymous RootDSE over LDAP names $QUELBY_TEST_DC_HOST and $QUELBY_TEST_BASE"
else
  bad "anonymous RootDSE over LDAP"; cat "$OUT"
fi

if run ldapsearch -LLL -x -H "$DC" -D "$QUELBY_TEST_USER_DN" -w "$QUELBY_TEST_USER_PASSWORD" \
     -s base -b "$QUELBY_TEST_USER_DN" memberOf userAccountControl &&
   [ "$(grep -c '^memberOf:' "$OUT")" -eq 3 ] && grep -q '^userAccountControl: 512$' "$OUT"; then
  pass "simple bind as the test user (DN); it is in 3 groups and enabled"
else
  bad "simple bind as the test user"; cat "$OUT"
fi

if run ldapsearch -LLL -x -H "$DC" -D "$QUELBY_TEST_DOMAIN\\$QUELBY_TEST_NOEXPIRE_USER" \
     -w "$QUELBY_TEST_NOEXPIRE_USER_PASSWORD" -s base -b "$QUELBY_TEST_NOEXPIRE_USER_DN" userAccountControl &&
   grep -q '^userAccountControl: 66048$' "$OUT"; then
  pass "simple bind as DOMAIN\\user; password-never-expires user has 66048"
else
  bad "DOMAIN\\user bind / 66048"; cat "$OUT"
fi

if run ldapsearch -x -H "$DC" -D "$QUELBY_TEST_USER_DN" -w wrong-password -s base -b "" dn; then
  bad "a wrong password was accepted"
else
  grep -q "Invalid credentials (49)" "$OUT" && pass "a wrong password gives Invalid credentials (49)" ||
    { bad "wrong password: unexpected error"; cat "$OUT"; }
fi

if run ldapsearch -LLL -x -H "$DC" -D "$QUELBY_TEST_ADMIN_USER@$QUELBY_TEST_DNS_DOMAIN" \
     -w "$QUELBY_TEST_ADMIN_PASSWORD" -b "$QUELBY_TEST_OU_DN" \
     "(|(distinguishedName=$QUELBY_TEST_DISABLED_USER_DN)(distinguishedName=$QUELBY_TEST_COMPUTER_DN))" \
     userAccountControl objectClass &&
   grep -q '^userAccountControl: 514$' "$OUT" && grep -q '^userAccountControl: 4096$' "$OUT" &&
   grep -q '^objectClass: computer$' "$OUT"; then
  pass "administrator bind; disabled user (514) and computer (4096) are there"
else
  bad "administrator bind / disabled user / computer"; cat "$OUT"
fi

if run ldapsearch -LLL -x -H "$DC" -D "$QUELBY_TEST_USER_DN" -w "$QUELBY_TEST_USER_PASSWORD" \
     -s base -b "$QUELBY_TEST_BIG_GROUP_DN" member &&
   [ "$(grep -c '^member:' "$OUT")" -eq "$QUELBY_TEST_BIG_GROUP_MEMBERS" ]; then
  pass "big group has $QUELBY_TEST_BIG_GROUP_MEMBERS members"
else
  bad "big group member count"; grep -c '^member' "$OUT"
fi

if run ldapsearch -LLL -x -H "$DC" -D "$QUELBY_TEST_USER_DN" -w "$QUELBY_TEST_USER_PASSWORD" \
     -s base -b "$QUELBY_TEST_BIG_GROUP_DN" cn 'member;range=1500-*' &&
   grep -q '^member;range=1500-\*:' "$OUT" &&
   [ "$(grep -c '^member;range' "$OUT")" -eq $((QUELBY_TEST_BIG_GROUP_MEMBERS - 1500)) ]; then
  pass "ranged read member;range=1500-* gives the last $((QUELBY_TEST_BIG_GROUP_MEMBERS - 1500))"
else
  bad "ranged read of the big group"; head -5 "$OUT"
fi

if [ "$QUELBY_TEST_BENCH_USERS" -gt 0 ]; then
  if run ldapsearch -LLL -x -E pr=1000/noprompt -H "$DC" -D "$QUELBY_TEST_USER_DN" \
       -w "$QUELBY_TEST_USER_PASSWORD" -b "$QUELBY_TEST_BENCH_OU_DN" '(objectClass=user)' dn &&
     [ "$(count_dn)" -eq "$QUELBY_TEST_BENCH_USERS" ]; then
    pass "$QUELBY_TEST_BENCH_USERS benchmark users"
  else
    bad "benchmark users: $(count_dn) instead of $QUELBY_TEST_BENCH_USERS"
  fi
fi

# -- global catalog, LDAPS, GC over SSL
if run ldapsearch -LLL -x -H "ldap://$QUELBY_TEST_IP:3268" -D "$QUELBY_TEST_USER_DN" \
     -w "$QUELBY_TEST_USER_PASSWORD" -b "" "(sAMAccountName=$QUELBY_TEST_USER)" dn &&
   grep -q "^dn: $QUELBY_TEST_USER_DN\$" "$OUT"; then
  pass "global catalog on 3268 finds the test user from the empty base"
else
  bad "global catalog 3268"; cat "$OUT"
fi

for url in "ldaps://$QUELBY_TEST_DC_HOST:636" "ldaps://$QUELBY_TEST_DC_HOST:3269"; do
  if LDAPTLS_CACERT=$QUELBY_TEST_CA LDAPTLS_REQCERT=demand run ldapsearch -LLL -x -H "$url" \
       -D "$QUELBY_TEST_USER_DN" -w "$QUELBY_TEST_USER_PASSWORD" -s base -b "$QUELBY_TEST_USER_DN" dn &&
     grep -q "^dn: $QUELBY_TEST_USER_DN\$" "$OUT"; then
    pass "$url with the CA, certificate verified"
  else
    bad "$url"; cat "$OUT"
  fi
done

# A certificate check that must fail: the system CAs do not know the test CA.
if LDAPTLS_CACERT=/etc/ssl/certs/ca-certificates.crt LDAPTLS_REQCERT=demand \
   run ldapsearch -x -H "ldaps://$QUELBY_TEST_DC_HOST:636" -s base -b "" dn; then
  bad "LDAPS succeeded without the test CA"
else
  pass "LDAPS without the test CA is refused"
fi

# -- connectionless LDAP (UDP)
if run python3 "$ROOT/scripts/servers/cldap_rootdse.py" "$QUELBY_TEST_IP" 389 dnsHostName &&
   grep -qi "^dnsHostName: $QUELBY_TEST_DC_HOST\$" "$OUT"; then
  pass "RootDSE over UDP 389"
else
  bad "RootDSE over UDP 389"; cat "$OUT"
fi

# -- Kerberos: its own ticket cache, so the one in env.sh stays as it is.
KRB5CCNAME="FILE:$(mktemp -u /tmp/quelby-smoke-cc.XXXXXX)"
export KRB5CCNAME
if printf '%s\n' "$QUELBY_TEST_NOEXPIRE_USER_PASSWORD" | run kinit "$QUELBY_TEST_NOEXPIRE_USER@$QUELBY_TEST_REALM" &&
   run ldapsearch -LLL -Q -Y GSSAPI -H "ldap://$QUELBY_TEST_DC_HOST" -s base -b "$QUELBY_TEST_NOEXPIRE_USER_DN" dn &&
   grep -q "^dn: $QUELBY_TEST_NOEXPIRE_USER_DN\$" "$OUT"; then
  pass "kinit and a GSSAPI bind to $QUELBY_TEST_DC_HOST"
else
  bad "kinit / GSSAPI"; cat "$OUT"
fi
if run ldapsearch -LLL -Q -Y GSSAPI -H "ldap://$QUELBY_TEST_IP" -s base -b "$QUELBY_TEST_NOEXPIRE_USER_DN" dn; then
  pass "GSSAPI bind by address ($QUELBY_TEST_IP)"
else
  bad "GSSAPI bind by address"; cat "$OUT"
fi
kdestroy >/dev/null 2>&1
if printf 'wrong\n' | run kinit "$QUELBY_TEST_USER@$QUELBY_TEST_REALM"; then
  bad "kinit with a wrong password succeeded"
else
  pass "kinit with a wrong password fails"
fi
kdestroy >/dev/null 2>&1

# -- slapd
run ldapsearch -x -H "$SL" -b "$QUELBY_TEST_SLAPD_PEOPLE_DN" '(objectClass=inetOrgPerson)' dn
rc=$?
if [ $rc -eq 4 ] && [ "$(count_dn)" -eq "$QUELBY_TEST_SLAPD_SIZELIMIT" ]; then
  pass "unpaged anonymous slapd search stops with size limit (4) after $QUELBY_TEST_SLAPD_SIZELIMIT"
else
  bad "unpaged slapd search: exit $rc, $(count_dn) entries"
fi

if run ldapsearch -x -E pr=500/noprompt -H "$SL" -b "$QUELBY_TEST_SLAPD_PEOPLE_DN" '(objectClass=inetOrgPerson)' dn &&
   [ "$(count_dn)" -eq "$QUELBY_TEST_SLAPD_ENTRIES" ]; then
  pass "paged anonymous slapd search (pr=500) returns all $QUELBY_TEST_SLAPD_ENTRIES"
else
  bad "paged slapd search: $(count_dn) entries"
fi

run ldapsearch -x -H "$SL" -D "$QUELBY_TEST_SLAPD_READER_DN" -w "$QUELBY_TEST_SLAPD_READER_PASSWORD" \
  -b "$QUELBY_TEST_SLAPD_PEOPLE_DN" '(objectClass=inetOrgPerson)' dn
rc=$?
if [ $rc -eq 4 ]; then
  pass "the reader account is limited like anonymous"
else
  bad "reader account unpaged search: exit $rc"
fi

if run ldapsearch -x -H "$SL" -D "$QUELBY_TEST_SLAPD_ROOTDN" -w "$QUELBY_TEST_SLAPD_PASSWORD" \
     -b "$QUELBY_TEST_SLAPD_PEOPLE_DN" '(objectClass=inetOrgPerson)' dn &&
   [ "$(count_dn)" -eq "$QUELBY_TEST_SLAPD_ENTRIES" ]; then
  pass "root DN reads all entries unpaged"
else
  bad "root DN search: $(count_dn) entries"
fi

if run ldapsearch -LLL -x -H "$SL" -s base -b "" supportedCapabilities namingContexts &&
   ! grep -q supportedCapabilities "$OUT" && grep -q "^namingContexts: $QUELBY_TEST_SLAPD_BASE\$" "$OUT"; then
  pass "slapd RootDSE: no AD capabilities, naming context $QUELBY_TEST_SLAPD_BASE"
else
  bad "slapd RootDSE"; cat "$OUT"
fi

if [ $failures -eq 0 ]; then
  echo "servers smoke: all checks passed"
  exit 0
fi
echo "servers smoke: $failures check(s) failed"
exit 1
