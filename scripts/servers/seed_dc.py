#!/usr/bin/python3
"""Loads the known test objects into a freshly provisioned Samba AD database.

Runs offline (before the DC starts), directly on sam.ldb, in one transaction:
that is many times faster than adding the same objects over LDAP.

Usage: seed_dc.py SMB_CONF OUT_VARS BENCH_USERS IP [BENCH_SD_USERS]

BENCH_SD_USERS (default 0) users more go into OU=BenchSD, each with a descriptor of its
own: one explicit ACE for the user's own SID besides the inherited ones.

OU=QSids holds SIDs that the directory names in more than one way: a user that was
deleted (its tombstone keeps the SID), a foreign security principal of another domain,
a user whose sIDHistory holds a SID nobody holds as objectSid and the objectSid of
another user, and an OU descriptor with explicit ACEs for all of them, for
Authenticated Users and for a BUILTIN group.

Also gives the DC account the LDAP service principal names that the DNS update
service would normally add at its first start (that service is not run here), so
Kerberos clients can get tickets for ldap/<host>. libldap asks for the service by the
name it finds for the server's address: for 127.0.0.1 that is the local machine's own
name, for other addresses their reverse name; those names are added as well.

Writes shell assignments describing what it created to OUT_VARS.
"""
import socket
import sys
import time

import ldb
import samba.param
from samba.auth import system_session
from samba.dcerpc import security
from samba.ndr import ndr_pack, ndr_unpack
from samba.samdb import SamDB

BIG_GROUP_MEMBERS = 1600

# Passwords of the accounts tests bind as. They meet the default complexity rules.
USER_PASSWORD = "Quelby-User-1"
NOEXPIRE_PASSWORD = "Quelby-NoExp-1"


def pwd_value(password):
    # unicodePwd takes the quoted password in UTF-16LE.
    return ('"%s"' % password).encode("utf-16-le")


def local_names(ip):
    """Names a client may derive from the server's address when it canonicalises."""
    names = {socket.gethostname(), socket.getfqdn()}
    try:
        name, aliases, _ = socket.gethostbyaddr(ip)
        names.add(name)
        names.update(aliases)
    except OSError:
        pass
    return sorted(n for n in names if n and all(c.isalnum() or c in "-._" for c in n))


def object_sid(db, dn):
    found = db.search(dn, ldb.SCOPE_BASE, attrs=["objectSid"])
    return str(ndr_unpack(security.dom_sid, found[0]["objectSid"][0]))


def seed_sid_holders(db, add_ou, add_user, add_group, ou):
    """The objects of OU=QSids; returns what tests need to know of them."""
    add_ou(ou, "SIDs held in more than one way")
    holder_dn = "CN=QSid Holder," + ou
    add_user(holder_dn, "qsidholder", 514)
    twice_dn = "CN=QSid Twice," + ou
    add_user(twice_dn, "qsidtwice", 514)
    gone_dn = "CN=QSid Gone," + ou
    add_user(gone_dn, "qsidgone", 514)
    holder, twice, gone = (object_sid(db, dn) for dn in (holder_dn, twice_dn, gone_dn))
    db.delete(gone_dn)
    foreign = "S-1-5-21-1111111111-2222222222-3333333333-1104"
    # A group member named by a SID of another domain makes the directory add the
    # foreign security principal for it.
    add_group("CN=QSid Group," + ou, "qsidgroup", ["<SID=%s>" % foreign], "Has a foreign member")
    # Held only as history, and held as history besides another user's objectSid.
    history_only = "S-1-5-21-444444444-555555555-666666666-1001"
    history_dn = "CN=QSid History," + ou
    add_user(history_dn, "qsidhistory", 514)
    msg = ldb.Message(ldb.Dn(db, history_dn))
    msg["sIDHistory"] = ldb.MessageElement(
        [ndr_pack(security.dom_sid(s)) for s in (history_only, twice)], ldb.FLAG_MOD_ADD, "sIDHistory")
    db.modify(msg, controls=["relax:0"])
    # Explicit ACEs for each kind of trustee: well-known, BUILTIN, foreign, a domain user,
    # a deleted user, the two history SIDs; owner and group not of the defaults.
    trustees = ["AU", "S-1-5-32-544", foreign, holder, gone, history_only, twice]
    sddl = ("O:%sG:BAD:(A;CI;RPLC;;;%s)" % (holder, trustees[0]) +
            "".join("(A;;RP;;;%s)" % t for t in trustees[1:]) +
            "(OA;CI;RP;bf967a0a-0de6-11d0-a285-00aa003049e2;;%s)" % foreign)  # pwdLastSet
    msg = ldb.Message(ldb.Dn(db, ou))
    msg["nTSecurityDescriptor"] = ldb.MessageElement(
        ndr_pack(security.descriptor.from_sddl(sddl, security.dom_sid(db.get_domain_sid()))),
        ldb.FLAG_MOD_REPLACE, "nTSecurityDescriptor")
    db.modify(msg, controls=["sd_flags:1:7"])
    return {"OU_DN": ou, "HOLDER_SID": holder, "TWICE_SID": twice, "GONE_SID": gone,
            "FOREIGN_SID": foreign, "HISTORY_ONLY_SID": history_only, "HISTORY_DN": history_dn}


def main():
    smb_conf, out_vars, bench_users, ip = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    bench_sd_users = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    started = time.time()
    lp = samba.param.LoadParm()
    lp.load(smb_conf)
    # Batch mode with a big index cache keeps each add constant-time; without them the
    # cost of an add grows with the number of objects already added in the transaction.
    db = SamDB(url=lp.private_path("sam.ldb"), session_info=system_session(), lp=lp,
               options=["batch_mode:1", "transaction_index_cache_size:200000"])
    base = str(db.domain_dn())
    ou = "OU=QTest," + base
    big_ou = "OU=BigMembers," + ou
    bench_ou = "OU=Bench," + base
    bench_sd_ou = "OU=BenchSD," + base
    sids_ou = "OU=QSids," + base

    def add(dn, attrs):
        msg = ldb.Message(ldb.Dn(db, dn))
        for name, value in attrs.items():
            if isinstance(value, list):
                msg[name] = ldb.MessageElement(value, ldb.FLAG_MOD_ADD, name)
            else:
                msg[name] = ldb.MessageElement(value, ldb.FLAG_MOD_ADD, name)
        db.add(msg)

    def add_ou(dn, description):
        add(dn, {"objectClass": "organizationalUnit", "description": description})

    def add_user(dn, sam, uac, password=None, extra=None):
        attrs = {
            "objectClass": "user",
            "sAMAccountName": sam,
            "userPrincipalName": sam + "@" + lp.get("realm").lower(),
        }
        if password is not None:
            attrs["unicodePwd"] = pwd_value(password)
        attrs["userAccountControl"] = str(uac)
        if extra:
            attrs.update(extra)
        add(dn, attrs)

    def add_group(dn, sam, members, description):
        # Global security group (the default groupType).
        attrs = {"objectClass": "group", "sAMAccountName": sam, "description": description}
        if members:
            attrs["member"] = members
        add(dn, attrs)

    db.transaction_start()
    try:
        netbios = lp.get("netbios name")
        dns_domain = lp.get("realm").lower()
        host = netbios.lower() + "." + dns_domain
        res = db.search(base, ldb.SCOPE_SUBTREE, "(sAMAccountName=%s$)" % ldb.binary_encode(netbios),
                        ["servicePrincipalName"])
        have = {str(v).lower() for v in res[0].get("servicePrincipalName", [])}
        spns = ["ldap/" + host, "ldap/" + netbios.lower(), "ldap/%s/%s" % (host, dns_domain),
                "ldap/%s/%s" % (host, lp.get("workgroup")), "GC/%s/%s" % (host, dns_domain),
                "ldap/localhost"]
        spns += ["ldap/" + name for name in local_names(ip)]
        unique = []
        for spn in spns:
            if spn.lower() not in have:
                have.add(spn.lower())
                unique.append(spn)
        spns = unique
        if spns:
            msg = ldb.Message(res[0].dn)
            msg["servicePrincipalName"] = ldb.MessageElement(
                spns, ldb.FLAG_MOD_ADD, "servicePrincipalName")
            db.modify(msg)

        add_ou(ou, "Quelby test objects")
        add_ou(big_ou, "Members of the big group")

        user_dn = "CN=Quelby Tester," + ou
        add_user(user_dn, "qtester", 512, USER_PASSWORD, {
            "givenName": "Quelby", "sn": "Tester", "displayName": "Quelby Tester",
            "mail": "qtester@quelby.test", "description": "Normal test user",
            "telephoneNumber": "+1 555 0100", "title": "Tester",
        })
        disabled_dn = "CN=Disabled User," + ou
        add_user(disabled_dn, "qdisabled", 514, USER_PASSWORD,
                 {"description": "Disabled test user"})
        noexpire_dn = "CN=NoExpire User," + ou
        add_user(noexpire_dn, "qnoexpire", 66048, NOEXPIRE_PASSWORD,
                 {"description": "Password never expires"})
        unicode_dn = "CN=Zoë Ünicode," + ou
        add_user(unicode_dn, "qunicode", 514, None,
                 {"givenName": "Zoë", "sn": "Ünicode", "description": "Non-ASCII names"})

        computer_dn = "CN=QWS01," + ou
        add(computer_dn, {
            "objectClass": "computer", "sAMAccountName": "QWS01$",
            "userAccountControl": "4096", "dNSHostName": "qws01.quelby.test",
            "operatingSystem": "Debian GNU/Linux", "description": "Test computer",
        })

        big_members = []
        for i in range(1, BIG_GROUP_MEMBERS + 1):
            dn = "CN=qbig%04d,%s" % (i, big_ou)
            add_user(dn, "qbig%04d" % i, 514)
            big_members.append(dn)

        groups = []
        for name, desc in (("QG-Alpha", "First group of the test user"),
                           ("QG-Beta", "Second group of the test user"),
                           ("QG-Gamma", "Third group of the test user")):
            gdn = "CN=%s,%s" % (name, ou)
            add_group(gdn, name, [user_dn, noexpire_dn], desc)
            groups.append(gdn)
        empty_dn = "CN=QG-Empty," + ou
        add_group(empty_dn, "QG-Empty", [], "Group without members")
        big_dn = "CN=QG-Big," + ou
        add_group(big_dn, "QG-Big", big_members, "Group with more than 1500 members")

        sids = seed_sid_holders(db, add_ou, add_user, add_group, sids_ou)

        if bench_users > 0:
            add_ou(bench_ou, "Benchmark users")
            for i in range(1, bench_users + 1):
                add_user("CN=bench%06d,%s" % (i, bench_ou), "bench%06d" % i, 514, None, {
                    "givenName": "Bench", "sn": "User %06d" % i,
                    "mail": "bench%06d@quelby.test" % i,
                    "description": "Benchmark user number %d" % i,
                    "telephoneNumber": "+1 555 %06d" % i,
                })
        if bench_sd_users > 0:
            add_ou(bench_sd_ou, "Benchmark users with descriptors of their own")
            domain_sid = db.get_domain_sid()
            for i in range(1, bench_sd_users + 1):
                dn = "CN=sdbench%06d,%s" % (i, bench_sd_ou)
                add_user(dn, "sdbench%06d" % i, 514, None, {"description": "Own descriptor %d" % i})
                sid = ndr_unpack(security.dom_sid,
                                 db.search(dn, ldb.SCOPE_BASE, attrs=["objectSid"])[0]["objectSid"][0])
                # Only the DACL is given: the inherited ACEs are added to it again.
                sd = security.descriptor.from_sddl("D:(A;;RPWPCRLCLORC;;;%s)" % sid, security.dom_sid(domain_sid))
                msg = ldb.Message(ldb.Dn(db, dn))
                msg["nTSecurityDescriptor"] = ldb.MessageElement(
                    ndr_pack(sd), ldb.FLAG_MOD_REPLACE, "nTSecurityDescriptor")
                db.modify(msg, controls=["sd_flags:1:4"])
        db.transaction_commit()
    except Exception:
        db.transaction_cancel()
        raise

    def sh(name, value):
        return "%s='%s'\n" % (name, value.replace("'", "'\\''"))

    with open(out_vars, "w", encoding="utf-8") as f:
        f.write(sh("SEED_OU_DN", ou))
        f.write(sh("SEED_USER", "qtester"))
        f.write(sh("SEED_USER_DN", user_dn))
        f.write(sh("SEED_USER_PASSWORD", USER_PASSWORD))
        f.write(sh("SEED_USER_GROUPS", ";".join(groups)))
        f.write(sh("SEED_DISABLED_USER_DN", disabled_dn))
        f.write(sh("SEED_NOEXPIRE_USER", "qnoexpire"))
        f.write(sh("SEED_NOEXPIRE_USER_DN", noexpire_dn))
        f.write(sh("SEED_NOEXPIRE_USER_PASSWORD", NOEXPIRE_PASSWORD))
        f.write(sh("SEED_UNICODE_USER_DN", unicode_dn))
        f.write(sh("SEED_COMPUTER_DN", computer_dn))
        f.write(sh("SEED_EMPTY_GROUP_DN", empty_dn))
        f.write(sh("SEED_BIG_GROUP_DN", big_dn))
        f.write(sh("SEED_BIG_GROUP_MEMBERS", str(BIG_GROUP_MEMBERS)))
        f.write(sh("SEED_BENCH_OU_DN", bench_ou if bench_users > 0 else ""))
        f.write(sh("SEED_BENCH_USERS", str(bench_users)))
        f.write(sh("SEED_BENCH_SD_OU_DN", bench_sd_ou if bench_sd_users > 0 else ""))
        f.write(sh("SEED_BENCH_SD_USERS", str(bench_sd_users)))
        for name, value in sids.items():
            f.write(sh("SEED_SIDS_" + name, value))
    print("seeded %d objects in %.1f s" % (BIG_GROUP_MEMBERS + bench_users + bench_sd_users + 18,
                                           time.time() - started))


if __name__ == "__main__":
    main()
