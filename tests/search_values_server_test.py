"""Values checked against independent sources: SID and GUID text against
Samba's ldbsearch, 64-bit times against Python's own calendar, SID names,
DN replacement, ranged retrieval of a large group, and values holding NUL
bytes."""

import base64
import datetime
import json
import re
import subprocess
import unittest

from driver_testlib import base_env
from search_testlib import ENV, ServerTestCase, run


def ldbsearch(dn, *attrs):
    proc = subprocess.run(
        ["ldbsearch", "-H", "ldap://" + ENV["QUELBY_TEST_DC_HOST"],
         "-U", "%s%%%s" % (ENV["QUELBY_TEST_ADMIN_USER"], ENV["QUELBY_TEST_ADMIN_PASSWORD"]),
         "-b", dn, "-s", "base"] + list(attrs),
        capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr
    return dict(re.findall(r"^(\w+): (.*)$", proc.stdout, re.M))


# Replaces an attribute's values (none: removes it) over LDAP with a simple
# bind, through Samba's Python bindings.
STORE = """import base64, json, sys, ldb, samba.param, samba.credentials, samba.samdb
url, bind_dn, password, dn, name, values = json.load(sys.stdin)
creds = samba.credentials.Credentials()
creds.set_bind_dn(bind_dn)
creds.set_password(password)
db = samba.samdb.SamDB(url=url, credentials=creds, lp=samba.param.LoadParm())
m = ldb.Message(ldb.Dn(db, dn))
m[name] = ldb.MessageElement([base64.b64decode(v) for v in values], ldb.FLAG_MOD_REPLACE, name)
db.modify(m)
"""


def store(server, bind_dn, password, dn, name, values):
    request = ["ldap://" + server, bind_dn, password, dn, name, [base64.b64encode(v).decode() for v in values]]
    proc = subprocess.run(["/usr/bin/python3", "-c", STORE], input=json.dumps(request),
                          capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr


class Values(ServerTestCase):
    def test_sid_and_guid_text_match_ldbsearch(self):
        for dn in (self.user_dn, ENV["QUELBY_TEST_COMPUTER_DN"], ENV["QUELBY_TEST_BIG_GROUP_DN"]):
            want = ldbsearch(dn, "objectSid", "objectGUID")
            r = self.dc_run("-b", dn, "-s", "base", "objectSid", "objectGUID")
            self.assertOk(r)
            self.assertEqual(self.values(r.out, "objectSid"), [want["objectSid"]])
            self.assertEqual(self.values(r.out, "objectGUID"), ["{%s}" % want["objectGUID"].upper()])

    def test_64bit_times_match_an_independent_conversion(self):
        want = ldbsearch(self.user_dn, "pwdLastSet", "lastLogon")
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-tdc", "-utc", "pwdLastSet", "lastLogon",
                        "accountExpires")
        self.assertOk(r)
        for name in ("pwdLastSet", "lastLogon"):
            ticks = int(want[name])
            moment = datetime.datetime(1601, 1, 1) + datetime.timedelta(microseconds=ticks // 10)
            self.assertEqual(self.values(r.out, name),
                             [moment.strftime("%m/%d/%Y-%H:%M:%S") + " Coordinated Universal Time"])
        # "Never" is the largest 64-bit value.
        self.assertEqual(self.values(r.out, "accountExpires"), ["00/00/0000-00:00:00"])
        # Sortable form, and the raw number without a decoding switch.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-tdcs", "-utc", "pwdLastSet")
        moment = datetime.datetime(1601, 1, 1) + datetime.timedelta(
            microseconds=int(want["pwdLastSet"]) // 10)
        self.assertEqual(self.values(r.out, "pwdLastSet"),
                         [moment.strftime("%Y/%m/%d-%H:%M:%S") + " Coordinated Universal Time"])
        r = self.dc_run("-b", self.user_dn, "-s", "base", "pwdLastSet")
        self.assertEqual(self.values(r.out, "pwdLastSet"), [want["pwdLastSet"]])

    def test_sid_names(self):
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-resolvesids", "-owner", "objectSid")
        self.assertOk(r)
        domain = ENV["QUELBY_TEST_DOMAIN"]
        self.assertEqual(self.values(r.out, "objectSid"), ["%s\\%s" % (domain, ENV["QUELBY_TEST_USER"])])
        self.assertEqual(self.values(r.out, "_OBJECT_OWNER"), ["%s\\Domain Admins" % domain])

    def test_dn_replacement_tokens(self):
        groups = ENV["QUELBY_TEST_USER_GROUPS"].split(";")
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-replacedn", "_default", "memberOf")
        self.assertOk(r)
        self.assertIn("\ndn:CN=Quelby Tester,OU=QTest,<DEFAULTNC>\n", r.out)
        self.assertEqual(self.values(r.out, "memberOf"),
                         [g.replace("DC=quelby,DC=test", "<DEFAULTNC>") for g in groups])
        # The longest from-text wins; a token may stand inside a pair.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-replacedn",
                        "_default;ou=qtest,_default:<QT>", "memberOf")
        self.assertIn("\ndn:CN=Quelby Tester,<QT>\n", r.out)
        self.assertEqual(self.values(r.out, "memberOf"),
                         [g.replace("OU=QTest,DC=quelby,DC=test", "<QT>") for g in groups])
        r = self.dc_run("-schema", "-f", "(lDAPDisplayName=cn)", "-replacedn", "_config|_schema",
                        "-replacedndelim", "|", "objectCategory")
        self.assertOk(r)
        self.assertIn("\ndn:CN=Common-Name,<SCHEMA>\n", r.out)
        self.assertEqual(self.values(r.out, "objectCategory"), ["CN=Attribute-Schema,<SCHEMA>"])

    def test_naming_context_tokens_on_a_directory_without_them(self):
        # slapd has no configuration or schema context: the tokens stand for
        # nothing and change no DN.
        r = self.slapd_run("-b", self.people, "-s", "base", "-replacedn", "_config;_schema;_default",
                           "objectClass")
        self.assertOk(r)
        self.assertEqual(self.dns(r.out), [self.people])

    def test_ranged_retrieval_of_a_large_group(self):
        big = ENV["QUELBY_TEST_BIG_GROUP_DN"]
        members = int(ENV["QUELBY_TEST_BIG_GROUP_MEMBERS"])
        want = set(self.ldapsearch_dns("OU=BigMembers," + self.ou, "one", "(objectClass=user)"))
        self.assertEqual(len(want), members)
        for first in ("member;range=0-99", "member;range=0-1499", "member;range=0-*"):
            r = self.dc_run("-b", big, "-s", "base", first, "cn", "-replacedn", "_default")
            self.assertOk(r)
            got = self.values(r.out, "member")
            self.assertEqual(len(got), members, first)
            # One chunk under the plain name, the DN kind kept across the ranges.
            self.assertNotIn(";range", r.out.lower())
            self.assertEqual(set(got), {d.replace("DC=quelby,DC=test", "<DEFAULTNC>") for d in want})
        # Without a range, this server sends all values at once.
        r = self.dc_run("-b", big, "-s", "base", "member")
        self.assertEqual(len(self.values(r.out, "member")), members)

    def test_values_holding_nul_bytes_print_whole(self):
        # As hex dumps: on the DC with and without its schema (-dloid), on slapd without any.
        photo, zeros = b"\x00\xffJ\x00\x00F\x00", b"\x00\x00\x00"
        dc = (self.dc, ENV["QUELBY_TEST_ADMIN_DN"], ENV["QUELBY_TEST_ADMIN_PASSWORD"],
              ENV["QUELBY_TEST_DISABLED_USER_DN"], "thumbnailPhoto")
        slapd = (self.slapd, ENV["QUELBY_TEST_SLAPD_ROOTDN"], ENV["QUELBY_TEST_SLAPD_PASSWORD"],
                 "uid=user000001," + self.people, "jpegPhoto")
        for target, values, printed, runs in (
                (dc, [photo], ["00FF 4A00 0046 00 "], [self.dc_run, lambda *a: self.dc_run("-dloid", *a)]),
                (slapd, [photo, zeros, b"plain"], ["0000 00 ", "00FF 4A00 0046 00 ", "plain"], [self.slapd_run])):
            store(*target, values)
            self.addCleanup(store, *target, [])
            for run_ in runs:
                r = run_("-b", target[3], "-s", "base", target[4])
                self.assertOk(r)
                self.assertEqual(sorted(self.values(r.out, target[4])), printed)


if __name__ == "__main__":
    unittest.main()
