"""Paging against the real servers: -maxe with every page size, ranged values
read on with -extname, range-typed columns, and continuation references."""

import re
import socket
import unittest

from search_testlib import ENV, ServerTestCase


class Paging(ServerTestCase):
    def check_maximum(self, runner, base, filt, everything):
        """-maxe N with page sizes below, at and above N: the first N entries
        the server returns, each once, counted right, exit 0."""
        for maximum, page_sizes in ((10, (3, 10, 50)), (700, (600, 700, 1000))):
            for page_size in page_sizes:
                r = runner("-b", base, "-f", filt, "-maxe", str(maximum), "-ps", str(page_size),
                           "-dn")
                label = "-maxe %d -ps %d" % (maximum, page_size)
                self.assertOk(r)
                dns = self.dns(r.out)
                self.assertEqual(len(set(dns)), len(dns), label)
                self.assertEqual(dns, everything[:maximum], label)
                self.assertEqual(self.count(r.out), maximum, label)

    def test_maximum_entries_on_slapd(self):
        everything = self.dns(self.slapd_run("-b", self.people, "-dn").out)
        self.assertEqual(len(everything), int(ENV["QUELBY_TEST_SLAPD_ENTRIES"]) + 1)
        self.check_maximum(self.slapd_run, self.people, "(objectClass=*)", everything)
        # Above the server's cap for searches without paging, and without -ps:
        # the search pages on instead of stopping at the cap.
        limit = int(ENV["QUELBY_TEST_SLAPD_SIZELIMIT"])
        r = self.slapd_run("-b", self.people, "-maxe", str(limit + 200), "-dn")
        self.assertOk(r)
        self.assertEqual(self.dns(r.out), everything[:limit + 200])
        r = self.slapd_run("-b", self.people, "-maxe", str(limit + 200), "-c")
        self.assertOk(r)
        self.assertEqual(self.count(r.out), limit + 200)

    def test_maximum_entries_on_the_dc(self):
        base = "OU=BigMembers," + self.ou
        everything = self.dns(self.dc_run("-b", base, "-f", "(objectClass=user)", "-dn").out)
        self.assertEqual(len(everything), int(ENV["QUELBY_TEST_BIG_GROUP_MEMBERS"]))
        self.check_maximum(self.dc_run, base, "(objectClass=user)", everything)

    def test_extended_names_in_every_range(self):
        big = ENV["QUELBY_TEST_BIG_GROUP_DN"]
        members = int(ENV["QUELBY_TEST_BIG_GROUP_MEMBERS"])
        r = self.dc_run("-b", big, "-s", "base", "-extname", "member;range=0-99")
        self.assertOk(r)
        got = self.values(r.out, "member")
        self.assertEqual(len(got), members)
        self.assertEqual(len(set(got)), members)
        # Every range came back in the extended form of the first.
        self.assertTrue(all(re.match(r"<GUID=[0-9a-f]+>;<SID=[0-9a-f]+>;CN=qbig", v) for v in got),
                        [v for v in got if not v.startswith("<GUID=")][:3])

    def test_range_typed_columns(self):
        big = ENV["QUELBY_TEST_BIG_GROUP_DN"]
        members = int(ENV["QUELBY_TEST_BIG_GROUP_MEMBERS"])
        r = self.dc_run("-b", big, "-s", "base", "-csv", "x", "member;range=0-99", "cn")
        self.assertOk(r)
        header, row = r.out.split("\n")[:2]
        fields = row.split('","')
        self.assertEqual(len(fields), 3, row[:200])
        self.assertEqual(len(fields[1].split(";")), members)
        self.assertEqual(fields[2], 'QG-Big"')
        r = self.dc_run("-b", big, "-s", "base", "-oao", "NULL", "member;range=0-99", "cn")
        self.assertOk(r)
        self.assertNotIn(": NULL\n", r.out)
        labels = re.findall(r"^>([^:]+):", r.out, re.M)
        self.assertEqual(labels, ["member"] * members + ["cn"])

    def test_continuation_references(self):
        # Not chased: the configuration partition's reference is listed, as
        # another client lists it.
        r = self.dc_run("-b", self.base, "-f", "(cn=Quelby Tester)", "-nr", "cn")
        self.assertOk(r)
        refs = re.findall(r"^REFERRAL: (.*)$", r.out, re.M)
        self.assertTrue(any("CN=Configuration," + self.base in u for u in refs), r.out)
        self.assertEqual(self.dns(r.out), [self.user_dn])
        # Chased: a reference whose server cannot be reached is said on
        # standard error, so the user knows part of the tree was left out.
        r = self.dc_run("-b", self.base, "-f", "(cn=Quelby Tester)", "cn")
        self.assertOk(r)
        self.assertEqual(self.dns(r.out), [self.user_dn])
        self.assertNotIn("REFERRAL:", r.out)
        warned = re.findall(r"^WARN: Referral not followed \([^)]+\), its entries are left out: "
                            r"(\S+)$", r.err, re.M)
        for url in refs:
            host = re.match(r"ldap://([^/:]+)", url).group(1)
            try:
                socket.getaddrinfo(host, 389)
            except socket.gaierror:
                self.assertIn(url, warned, r.err)

if __name__ == "__main__":
    unittest.main()
