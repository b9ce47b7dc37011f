#!/usr/bin/env bash
# Starts the loopback test servers: a Samba AD domain controller and an OpenLDAP slapd.
#
#   scripts/servers/start.sh STATEDIR [IP]
#
# All state lives in STATEDIR; both servers listen on IP only (default 127.0.0.1; any
# 127.x.y.z works, so several people can run their own pair at once). When both answer,
# STATEDIR/env.sh is written (source it) and the script exits 0. On failure it says why,
# shows the end of the server logs, stops what it started and exits non-zero.
# scripts/servers/stop.sh STATEDIR stops them again. See scripts/servers/README.md.
#
# Environment: QUELBY_SLAPD_PORT (default 3890), QUELBY_SLAPD_ENTRIES (default 3000),
# QUELBY_SAMBA_BENCH_USERS (default 0), QUELBY_SAMBA_BENCH_DISTINCT_SD (default 0: users more,
# each with a descriptor of its own, for the benchmark), QUELBY_TEST_DC_SHORT (DC host name, see below),
# QUELBY_SERVERS_TIMEOUT (seconds to wait for the servers, default 120), QUELBY_TEST_DC_AT_DEFAULTS
# (1: the DC keeps Samba's defaults for binds, see below).
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 STATEDIR [IP]" >&2
  exit 2
fi
mkdir -p "$1"
STATE=$(cd "$1" && pwd)
IP=${2:-127.0.0.1}
if ! [[ $IP =~ ^127\.([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,3})$ ]] ||
   [ "${BASH_REMATCH[1]}" -gt 255 ] || [ "${BASH_REMATCH[2]}" -gt 255 ] || [ "${BASH_REMATCH[3]}" -gt 255 ]; then
  echo "servers: IP must be a loopback address 127.x.y.z, not '$IP'" >&2
  exit 2
fi
OCTETS="${BASH_REMATCH[1]}-${BASH_REMATCH[2]}-${BASH_REMATCH[3]}"

SLAPD_PORT=${QUELBY_SLAPD_PORT:-3890}
SLAPD_ENTRIES=${QUELBY_SLAPD_ENTRIES:-3000}
BENCH_USERS=${QUELBY_SAMBA_BENCH_USERS:-0}
BENCH_SD_USERS=${QUELBY_SAMBA_BENCH_DISTINCT_SD:-0}
TIMEOUT=${QUELBY_SERVERS_TIMEOUT:-120}
AT_DEFAULTS=${QUELBY_TEST_DC_AT_DEFAULTS:-0}
for v in SLAPD_PORT SLAPD_ENTRIES BENCH_USERS BENCH_SD_USERS TIMEOUT AT_DEFAULTS; do
  if ! [[ ${!v} =~ ^[0-9]+$ ]]; then
    echo "servers: $v must be a whole number, not '${!v}'" >&2
    exit 2
  fi
done

# Each DC needs its host name to resolve to its own IP, so instances on other addresses
# get a name of their own (dc1-0-0-2 for 127.0.0.2); 127.0.0.1 keeps plain dc1.
if [ -n "${QUELBY_TEST_DC_SHORT:-}" ]; then
  DC_SHORT=$QUELBY_TEST_DC_SHORT
elif [ "$IP" = 127.0.0.1 ]; then
  DC_SHORT=dc1
else
  DC_SHORT="dc1-$OCTETS"
fi
if ! [[ $DC_SHORT =~ ^[a-z][a-z0-9-]{0,14}$ ]]; then
  echo "servers: DC host name '$DC_SHORT' must be 1-15 lower-case letters, digits or '-'" >&2
  exit 2
fi

REALM=QUELBY.TEST
DNS_DOMAIN=quelby.test
DOMAIN=QUELBY
BASE=DC=quelby,DC=test
DC_HOST=$DC_SHORT.$DNS_DOMAIN
ADMIN_PASSWORD='Quelby-Admin-1'
SLAPD_BASE=dc=quelby,dc=slapd
SLAPD_ROOTDN=cn=admin,$SLAPD_BASE
SLAPD_PASSWORD='Quelby-Slapd-1'
SLAPD_READER_DN=cn=reader,$SLAPD_BASE
SLAPD_READER_PASSWORD='Quelby-Reader-1'
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3

DC=$STATE/dc
SL=$STATE/slapd
RUN=$STATE/run
LOG=$STATE/log

say() { echo "servers: $*" >&2; }
elapsed() { echo $(( $(date +%s%N) / 1000000 - T0 )); }
T0=$(( $(date +%s%N) / 1000000 ))

# Start time of a process (field 22 of /proc/PID/stat), kept so that stop.sh can tell
# our server from a later process that got the same pid.
starttime() {
  local s
  s=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  s=${s##*) }
  # shellcheck disable=SC2086
  set -- $s
  echo "${20}"
}
# True while the server PROG that this STATEDIR started still runs (same program, same
# start time as recorded).
alive() {
  local prog=$1 pid exe
  pid=$(cat "$RUN/$prog.pid" 2>/dev/null) || return 1
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || return 1
  [ "${exe##*/}" = "$prog" ] && [ "$(starttime "$pid")" = "$(cat "$RUN/$prog.start" 2>/dev/null)" ]
}

if alive samba || alive slapd; then
  if [ -f "$STATE/env.sh" ] && alive samba && alive slapd; then
    say "already running from $STATE (stop them with scripts/servers/stop.sh $STATE)"
    exit 0
  fi
  say "a previous start in $STATE is half running; stopping it first"
  bash "$HERE/stop.sh" "$STATE"
fi

# From here on, any failure stops what was started and shows the logs.
STARTED=0
fail() {
  say "FAILED: $*"
  for f in "$LOG/samba.log" "$LOG/slapd.log" "$LOG/provision.log" "$LOG/seed.log" "$LOG/slapd-prep.log" "$LOG/slapadd.log"; do
    if [ -s "$f" ]; then
      echo "---- last lines of $f" >&2
      tail -n 25 "$f" >&2
    fi
  done
  if [ -n "${SLAPD_PREP:-}" ]; then
    kill "$SLAPD_PREP" 2>/dev/null || true
  fi
  if [ $STARTED -eq 1 ]; then
    bash "$HERE/stop.sh" "$STATE" >&2 || true
  fi
  exit 1
}
trap 'fail "command failed at line $LINENO: $BASH_COMMAND"' ERR
trap 'fail "interrupted"' INT TERM

# Clear what an earlier run left (only the paths this script makes).
rm -rf "$DC" "$SL" "$RUN" "$LOG" "$STATE/env.sh" "$STATE/krb5.conf" "$STATE/krb5cc" "$STATE/hosts-line"
mkdir -p "$DC" "$SL" "$RUN" "$LOG"

# Ports: say clearly which one is taken (for example by a system-wide slapd on 389).
if ! "$PY" - "$IP" "$SLAPD_PORT" >"$LOG/ports.log" 2>&1 <<'EOF'
import socket, sys
ip, slapd_port = sys.argv[1], int(sys.argv[2])
taken = []
for kind, port in [("tcp", 389), ("tcp", 636), ("tcp", 3268), ("tcp", 3269), ("tcp", 88),
                   ("tcp", 464), ("udp", 389), ("udp", 88), ("udp", 464), ("tcp", slapd_port)]:
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM if kind == "tcp" else socket.SOCK_DGRAM)
    try:
        if kind == "tcp":
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((ip, port))
    except OSError as e:
        taken.append("%s %s:%d (%s)" % (kind, ip, port, e.strerror))
    finally:
        s.close()
if taken:
    print("ports already in use: " + ", ".join(taken))
    sys.exit(1)
EOF
then
  cat "$LOG/ports.log" >&2
  ss -lntup 2>/dev/null | grep -E "(${IP//./\\.}|0\.0\.0\.0|\*|\[::\]):(389|636|3268|3269|88|464|$SLAPD_PORT)[[:space:]]" >&2 || true
  say "FAILED: another server holds a port the test servers need on $IP" \
      "(a system-wide slapd or samba? another instance? pick another 127.x.y.z)"
  exit 1
fi

# ---------------------------------------------------------------- slapd (prepared in the background)
# Writes slapd.conf, generates the entries and loads them offline with slapadd.
prepare_slapd() {
mkdir -p "$SL/db"
cat >"$SL/slapd.conf" <<EOF
# Test directory that is not Active Directory (written by scripts/servers/start.sh).
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
pidfile $RUN/slapd.own.pid
argsfile $RUN/slapd.args
modulepath /usr/lib/ldap
moduleload back_mdb

database mdb
maxsize 4294967296
suffix "$SLAPD_BASE"
rootdn "$SLAPD_ROOTDN"
rootpw $SLAPD_PASSWORD
directory $SL/db
index objectClass eq
index uid,cn eq
# Unpaged searches stop at 500 entries (size limit exceeded); paged ones get everything.
limits anonymous size.soft=500 size.hard=500 size.pr=1000 size.prtotal=unlimited
limits dn.exact="$SLAPD_READER_DN" size.soft=500 size.hard=500 size.pr=1000 size.prtotal=unlimited
access to attrs=userPassword by self =xw by anonymous auth by * none
access to * by * read
EOF

"$PY" - "$SLAPD_BASE" "$SLAPD_ENTRIES" "$SLAPD_READER_DN" "$SLAPD_READER_PASSWORD" >"$SL/data.ldif" <<'EOF'
import sys
base, count, reader_dn, reader_pw = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
out = sys.stdout
out.write("dn: %s\nobjectClass: top\nobjectClass: dcObject\nobjectClass: organization\n"
          "dc: quelby\no: Quelby slapd test directory\n\n" % base)
out.write("dn: ou=people,%s\nobjectClass: organizationalUnit\nou: people\n\n" % base)
out.write("dn: ou=groups,%s\nobjectClass: organizationalUnit\nou: groups\n\n" % base)
out.write("dn: %s\nobjectClass: person\ncn: reader\nsn: reader\nuserPassword: %s\n\n"
          % (reader_dn, reader_pw))
people = "ou=people," + base
lines = []
for i in range(1, count + 1):
    lines.append("dn: uid=user%06d,%s\nobjectClass: inetOrgPerson\nuid: user%06d\n"
                 "cn: User %06d\nsn: Number%06d\ngivenName: User\n"
                 "mail: user%06d@quelby.slapd\ntelephoneNumber: +1 555 %06d\n"
                 "description: Test person %d\n\n" % (i, people, i, i, i, i, i, i))
    if len(lines) >= 5000:
        out.write("".join(lines))
        lines = []
out.write("".join(lines))
members = "".join("member: uid=user%06d,%s\n" % (i, people) for i in range(1, min(count, 10) + 1))
if members:
    out.write("dn: cn=first ten,ou=groups,%s\nobjectClass: groupOfNames\ncn: first ten\n%s\n"
              % (base, members))
EOF
slapadd -q -f "$SL/slapd.conf" -l "$SL/data.ldif" >"$LOG/slapadd.log" 2>&1
rm -f "$SL/data.ldif"
}
prepare_slapd >"$LOG/slapd-prep.log" 2>&1 &
SLAPD_PREP=$!

# ---------------------------------------------------------------- Samba AD DC
SMB_CONF=$DC/smb.conf
# How the DC takes binds. By default simple binds without TLS are allowed; a DC at
# Samba's defaults (as one left at them is met) takes simple binds over TLS only and
# SASL binds over plain LDAP only, signed or sealed. Either refuses NTLMv1 answers.
if [ "$AT_DEFAULTS" = 1 ]; then
  BIND_RULES="	# Samba's defaults: ldap server require strong auth = yes, ntlm auth = ntlmv2-only."
else
  BIND_RULES="	ldap server require strong auth = no
	# As at Samba's default and on a hardened AD: NTLM answers of v1 are refused.
	ntlm auth = ntlmv2-only"
fi
write_smb_conf() {
cat >"$SMB_CONF" <<EOF
# Test domain controller on $IP (written by scripts/servers/start.sh).
[global]
	netbios name = ${DC_SHORT^^}
	workgroup = $DOMAIN
	realm = $REALM
	server role = active directory domain controller
	server services = ldap, cldap, kdc
	interfaces = $IP/8
	bind interfaces only = yes
$BIND_RULES
	private dir = $DC/private
	lock directory = $DC
	state directory = $DC/state
	cache directory = $DC/cache
	binddns dir = $DC/bind-dns
	pid directory = $RUN
	ncalrpc dir = $RUN/ncalrpc
	winbindd socket directory = $RUN/winbindd
	log file = $LOG/samba.%m.log
	log level = 1
EOF
}

# A provisioned and seeded DC does not depend on where it lives, so the result is kept in a
# per-user cache and copied on later starts with the same inputs (saves most of the start-up
# time for developers). QUELBY_SERVERS_CACHE=off turns this off.
CACHE_ROOT=${QUELBY_SERVERS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quelby-test-servers}
CACHE_KEY=$({ samba --version; echo "$DC_SHORT $IP $BENCH_USERS $BENCH_SD_USERS $(hostname)"
              cat "$HERE/start.sh" "$HERE/seed_dc.py"; } 2>/dev/null | sha256sum | cut -c1-20)
CACHE_DIR=$CACHE_ROOT/dc-$DC_SHORT.$BENCH_USERS.$BENCH_SD_USERS.$CACHE_KEY
if [ "$CACHE_ROOT" != off ] && [ -f "$CACHE_DIR/complete" ] &&
   cp -a "$CACHE_DIR/dc/." "$DC/" 2>"$LOG/cache.log"; then
  touch "$CACHE_DIR"
  write_smb_conf
  echo "copied from $CACHE_DIR" >"$LOG/provision.log"
  T_PROV=$(elapsed)
  T_SEED=$T_PROV
else
  rm -rf "$DC" && mkdir -p "$DC"
  # Provision with an empty base configuration so the machine's smb.conf leaks nothing in.
  : >"$DC/base.conf"
  samba-tool domain provision -s "$DC/base.conf" --targetdir="$DC" \
    --realm="$REALM" --domain="$DOMAIN" --host-name="$DC_SHORT" --server-role=dc \
    --dns-backend=NONE --adminpass="$ADMIN_PASSWORD" \
    --option="interfaces = $IP/8" --option="bind interfaces only = yes" \
    >"$LOG/provision.log" 2>&1 || fail "samba-tool domain provision"
  T_PROV=$(elapsed)
  write_smb_conf
  "$PY" "$HERE/seed_dc.py" "$SMB_CONF" "$DC/seed.vars" "$BENCH_USERS" "$IP" "$BENCH_SD_USERS" >"$LOG/seed.log" 2>&1 ||
    fail "loading the test objects into the DC"
  T_SEED=$(elapsed)
  # Keep a copy (best effort; written aside and renamed so a parallel start never sees half).
  if [ "$CACHE_ROOT" != off ] && mkdir -p "$CACHE_ROOT" 2>/dev/null; then
    # Older entries for the same DC (made by an earlier version of these scripts), entries
    # unused for a week and leftovers of interrupted copies go.
    find "$CACHE_ROOT" -mindepth 1 -maxdepth 1 \( -name "dc-$DC_SHORT.$BENCH_USERS.$BENCH_SD_USERS.*" -o \
      -name 'dc-*' -mtime +7 -o -name 'tmp.*' -mmin +60 \) -exec rm -rf {} + 2>/dev/null || true
    tmp=$(mktemp -d "$CACHE_ROOT/tmp.XXXXXX") &&
      cp -a "$DC" "$tmp/dc" && touch "$tmp/complete" &&
      { mv -T "$tmp" "$CACHE_DIR" 2>/dev/null || rm -rf "$tmp"; } || true
  fi
fi
# shellcheck disable=SC1091
source "$DC/seed.vars"

cat >"$STATE/krb5.conf" <<EOF
[libdefaults]
	default_realm = $REALM
	dns_lookup_realm = false
	dns_lookup_kdc = false
	rdns = false
	udp_preference_limit = 1

[realms]
	$REALM = {
		kdc = $IP
		admin_server = $IP
		default_domain = $DNS_DOMAIN
	}

[domain_realm]
	.$DNS_DOMAIN = $REALM
	$DNS_DOMAIN = $REALM
EOF

# The DC's host name must resolve to IP. A marked line in /etc/hosts does it; stop.sh
# removes it again. /etc/hosts may be a bind mount, so it is rewritten in place.
MARK="# quelby-test-servers"
HOSTS_LINE="$IP $DC_HOST $DC_SHORT $MARK"
(
  flock 9
  name_re="[[:space:]]${DC_HOST//./\\.}([[:space:]]|\$)"
  if grep -E "$name_re" /etc/hosts | grep -v "^[[:space:]]*#" | grep -qvF "$MARK"; then
    # Someone mapped the name by hand: leave their line alone, but it must point here.
    getent hosts "$DC_HOST" | grep -q "^$IP[[:space:]]" ||
      { echo "servers: /etc/hosts maps $DC_HOST to another address than $IP" >&2; exit 1; }
  else
    tmp=$(mktemp)
    grep -vE "${name_re}.*$MARK" /etc/hosts >"$tmp" || true
    echo "$HOSTS_LINE" >>"$tmp"
    cat "$tmp" >/etc/hosts
    rm -f "$tmp"
    echo "$HOSTS_LINE" >"$STATE/hosts-line"
  fi
) 9>>/tmp/quelby-test-servers.hosts.lock || fail "cannot make $DC_HOST resolve to $IP in /etc/hosts"

# setsid: a Ctrl-C in the caller's terminal must not take the servers down half-way;
# stop.sh ends them by pid. (Under job control setsid would fork and $! would not be the
# server, so it is left out there.)
SETSID=setsid
[[ $- == *m* ]] && SETSID=
$SETSID samba -i -M single -s "$SMB_CONF" </dev/null >"$LOG/samba.log" 2>&1 &
echo $! >"$RUN/samba.pid"
starttime $! >"$RUN/samba.start"
STARTED=1

# slapd's data was loaded in the background meanwhile.
wait "$SLAPD_PREP" || fail "preparing slapd's data (slapadd)"
T_SLAPADD=$(elapsed)
$SETSID slapd -d 0 -h "ldap://$IP:$SLAPD_PORT/" -f "$SL/slapd.conf" </dev/null >"$LOG/slapd.log" 2>&1 &
echo $! >"$RUN/slapd.pid"
starttime $! >"$RUN/slapd.start"

# ---------------------------------------------------------------- wait for both
export KRB5_CONFIG=$STATE/krb5.conf
export KRB5CCNAME=FILE:$STATE/krb5cc
export LDAPTLS_CACERT=$DC/private/tls/ca.pem
export LDAPTLS_REQCERT=demand

deadline=$(( $(date +%s) + TIMEOUT ))
up_samba=0
up_slapd=0
while :; do
  alive samba || fail "samba exited during start-up"
  alive slapd || fail "slapd exited during start-up"
  if [ $up_samba -eq 0 ] && ldapsearch -x -H "ldap://$IP:389" -s base -b "" dnsHostName >/dev/null 2>&1; then
    up_samba=1
  fi
  if [ $up_slapd -eq 0 ] && ldapsearch -x -H "ldap://$IP:$SLAPD_PORT" -s base -b "$SLAPD_BASE" dn >/dev/null 2>&1; then
    up_slapd=1
  fi
  [ $up_samba -eq 1 ] && [ $up_slapd -eq 1 ] && break
  [ "$(date +%s)" -lt "$deadline" ] ||
    fail "servers did not answer within $TIMEOUT s (samba up: $up_samba, slapd up: $up_slapd)"
  sleep 0.2
done
T_UP=$(elapsed)

# Every service the tests use must answer, not only plain LDAP.
check() {
  local what=$1
  shift
  "$@" >>"$LOG/checks.log" 2>&1 || fail "$what does not answer (see $LOG/checks.log)"
}
if [ "$AT_DEFAULTS" = 1 ]; then
  check "LDAP on $IP:389 (simple binds refused without TLS)" \
    bash -c '! ldapsearch -x -H "ldap://$1:389" -D "$2" -w "$3" -s base -b "$2" dn' _ "$IP" "$SEED_USER_DN" "$SEED_USER_PASSWORD"
  check "LDAPS on $DC_HOST:636 (simple bind as the test user)" \
    ldapsearch -x -H "ldaps://$DC_HOST:636" -D "$SEED_USER_DN" -w "$SEED_USER_PASSWORD" -s base -b "$SEED_USER_DN" dn
else
  check "LDAP on $IP:389 (simple bind as the test user)" \
    ldapsearch -x -H "ldap://$IP:389" -D "$SEED_USER_DN" -w "$SEED_USER_PASSWORD" -s base -b "$SEED_USER_DN" dn
fi
check "LDAPS on $DC_HOST:636" ldapsearch -x -H "ldaps://$DC_HOST:636" -s base -b "" dnsHostName
check "the global catalog on $IP:3268" ldapsearch -x -H "ldap://$IP:3268" -s base -b "" dnsHostName
check "the global catalog over SSL on $DC_HOST:3269" ldapsearch -x -H "ldaps://$DC_HOST:3269" -s base -b "" dnsHostName
check "connectionless LDAP on UDP $IP:389" "$PY" "$HERE/cldap_rootdse.py" "$IP" 389 dnsHostName
# Kerberos: leaves the test user's ticket in KRB5CCNAME, ready for GSSAPI binds.
check "Kerberos on $IP:88 (kinit)" \
  bash -c 'printf "%s\n" "$1" | kinit "$2@$3"' _ "$SEED_USER_PASSWORD" "$SEED_USER" "$REALM"
check "a GSSAPI bind to $DC_HOST" \
  ldapsearch -Q -Y GSSAPI -H "ldap://$DC_HOST" -s base -b "$SEED_USER_DN" dn
T_CHECKS=$(elapsed)

# ---------------------------------------------------------------- env.sh
q() { printf "'%s'" "${1//\'/\'\\\'\'}"; }
{
  echo "# Test servers started by scripts/servers/start.sh; source this file."
  echo "# Set when the servers are up."
  echo "export QUELBY_TEST_SERVERS=1"
  echo "# Loopback address both servers listen on."
  echo "export QUELBY_TEST_IP=$(q "$IP")"
  echo "# 1 when the DC keeps Samba's defaults for binds (simple binds over TLS only, SASL"
  echo "# binds over plain LDAP only, signed or sealed), else 0."
  echo "export QUELBY_TEST_DC_AT_DEFAULTS=$(q "$AT_DEFAULTS")"
  echo "# State folder of this instance (logs in \$QUELBY_TEST_STATE/log)."
  echo "export QUELBY_TEST_STATE=$(q "$STATE")"
  echo "# DC host name (full and short); resolves to QUELBY_TEST_IP through /etc/hosts."
  echo "export QUELBY_TEST_DC_HOST=$(q "$DC_HOST")"
  echo "export QUELBY_TEST_DC_SHORT=$(q "$DC_SHORT")"
  echo "# Kerberos realm, DNS domain and NetBIOS domain name."
  echo "export QUELBY_TEST_REALM=$(q "$REALM")"
  echo "export QUELBY_TEST_DNS_DOMAIN=$(q "$DNS_DOMAIN")"
  echo "export QUELBY_TEST_DOMAIN=$(q "$DOMAIN")"
  echo "# Default naming context of the DC."
  echo "export QUELBY_TEST_BASE=$(q "$BASE")"
  echo "# Domain administrator (sAMAccountName), its DN and password."
  echo "export QUELBY_TEST_ADMIN_USER=Administrator"
  echo "export QUELBY_TEST_ADMIN_DN=$(q "CN=Administrator,CN=Users,$BASE")"
  echo "export QUELBY_TEST_ADMIN_PASSWORD=$(q "$ADMIN_PASSWORD")"
  echo "# Normal enabled test user (sAMAccountName, DN, password); member of the three groups below."
  echo "export QUELBY_TEST_USER=$(q "$SEED_USER")"
  echo "export QUELBY_TEST_USER_DN=$(q "$SEED_USER_DN")"
  echo "export QUELBY_TEST_USER_PASSWORD=$(q "$SEED_USER_PASSWORD")"
  echo "# DNs of the test user's groups, separated by ';'."
  echo "export QUELBY_TEST_USER_GROUPS=$(q "$SEED_USER_GROUPS")"
  echo "# OU holding the test objects."
  echo "export QUELBY_TEST_OU_DN=$(q "$SEED_OU_DN")"
  echo "# Group with more than 1500 members, and its member count."
  echo "export QUELBY_TEST_BIG_GROUP_DN=$(q "$SEED_BIG_GROUP_DN")"
  echo "export QUELBY_TEST_BIG_GROUP_MEMBERS=$(q "$SEED_BIG_GROUP_MEMBERS")"
  echo "# Group without members."
  echo "export QUELBY_TEST_EMPTY_GROUP_DN=$(q "$SEED_EMPTY_GROUP_DN")"
  echo "# Disabled user (userAccountControl 514)."
  echo "export QUELBY_TEST_DISABLED_USER_DN=$(q "$SEED_DISABLED_USER_DN")"
  echo "# User whose password never expires (userAccountControl 66048), with its name and password."
  echo "export QUELBY_TEST_NOEXPIRE_USER=$(q "$SEED_NOEXPIRE_USER")"
  echo "export QUELBY_TEST_NOEXPIRE_USER_DN=$(q "$SEED_NOEXPIRE_USER_DN")"
  echo "export QUELBY_TEST_NOEXPIRE_USER_PASSWORD=$(q "$SEED_NOEXPIRE_USER_PASSWORD")"
  echo "# User with non-ASCII cn, givenName and sn (disabled, no password)."
  echo "export QUELBY_TEST_UNICODE_USER_DN=$(q "$SEED_UNICODE_USER_DN")"
  echo "# Computer account (userAccountControl 4096)."
  echo "export QUELBY_TEST_COMPUTER_DN=$(q "$SEED_COMPUTER_DN")"
  echo "# Benchmark users (QUELBY_SAMBA_BENCH_USERS at start) and their OU (empty when none)."
  echo "export QUELBY_TEST_BENCH_USERS=$(q "$SEED_BENCH_USERS")"
  echo "export QUELBY_TEST_BENCH_OU_DN=$(q "$SEED_BENCH_OU_DN")"
  echo "# Benchmark users with a descriptor each of their own (QUELBY_SAMBA_BENCH_DISTINCT_SD)."
  echo "export QUELBY_TEST_BENCH_SD_USERS=$(q "${SEED_BENCH_SD_USERS:-0}")"
  echo "export QUELBY_TEST_BENCH_SD_OU_DN=$(q "${SEED_BENCH_SD_OU_DN:-}")"
  echo "# OU=QSids: SIDs the directory holds in more than one way: a user's SID, the SID of a"
  echo "# user also held in another user's sIDHistory, a deleted user's SID, a foreign principal's"
  echo "# SID, a SID held only in sIDHistory (the user holding both history SIDs); the OU's"
  echo "# descriptor names them all (and AU and BA) in explicit ACEs."
  echo "export QUELBY_TEST_SIDS_OU_DN=$(q "${SEED_SIDS_OU_DN:-}")"
  echo "export QUELBY_TEST_SIDS_HOLDER_SID=$(q "${SEED_SIDS_HOLDER_SID:-}")"
  echo "export QUELBY_TEST_SIDS_TWICE_SID=$(q "${SEED_SIDS_TWICE_SID:-}")"
  echo "export QUELBY_TEST_SIDS_GONE_SID=$(q "${SEED_SIDS_GONE_SID:-}")"
  echo "export QUELBY_TEST_SIDS_FOREIGN_SID=$(q "${SEED_SIDS_FOREIGN_SID:-}")"
  echo "export QUELBY_TEST_SIDS_HISTORY_ONLY_SID=$(q "${SEED_SIDS_HISTORY_ONLY_SID:-}")"
  echo "export QUELBY_TEST_SIDS_HISTORY_DN=$(q "${SEED_SIDS_HISTORY_DN:-}")"
  echo "# CA certificate of the DC's LDAPS / GC-SSL certificate (issued for QUELBY_TEST_DC_HOST)."
  echo "export QUELBY_TEST_CA=$(q "$DC/private/tls/ca.pem")"
  echo "# Kerberos configuration for the test realm, and a ticket cache of this instance that"
  echo "# holds the test user's ticket after start (kinit into it as someone else if needed)."
  echo "export KRB5_CONFIG=$(q "$STATE/krb5.conf")"
  echo "export KRB5CCNAME=$(q "FILE:$STATE/krb5cc")"
  echo "# slapd: host, port, base, root DN and password, entries under ou=people."
  echo "export QUELBY_TEST_SLAPD_HOST=$(q "$IP")"
  echo "export QUELBY_TEST_SLAPD_PORT=$(q "$SLAPD_PORT")"
  echo "export QUELBY_TEST_SLAPD_BASE=$(q "$SLAPD_BASE")"
  echo "export QUELBY_TEST_SLAPD_PEOPLE_DN=$(q "ou=people,$SLAPD_BASE")"
  echo "export QUELBY_TEST_SLAPD_ROOTDN=$(q "$SLAPD_ROOTDN")"
  echo "export QUELBY_TEST_SLAPD_PASSWORD=$(q "$SLAPD_PASSWORD")"
  echo "export QUELBY_TEST_SLAPD_ENTRIES=$(q "$SLAPD_ENTRIES")"
  echo "# A non-root slapd account with the same size limits as anonymous."
  echo "export QUELBY_TEST_SLAPD_READER_DN=$(q "$SLAPD_READER_DN")"
  echo "export QUELBY_TEST_SLAPD_READER_PASSWORD=$(q "$SLAPD_READER_PASSWORD")"
  echo "# Size limit of unpaged slapd searches (anonymous and the reader)."
  echo "export QUELBY_TEST_SLAPD_SIZELIMIT=500"
} >"$STATE/env.sh.tmp"
mv "$STATE/env.sh.tmp" "$STATE/env.sh"
trap - ERR INT TERM

say "up in $(( $(elapsed) ))ms on $IP (provision ${T_PROV}ms, seed $(( T_SEED - T_PROV ))ms," \
    "slapadd $(( T_SLAPADD - T_SEED ))ms, answering $(( T_UP - T_SLAPADD ))ms, checks $(( T_CHECKS - T_UP ))ms);" \
    "source $STATE/env.sh"
