"""The plain road of a query and the search's scopes, bases and controls."""

import os
import re
import unittest

from search_testlib import BANNER, ENV, ServerTestCase, run


class Road(ServerTestCase):
    def test_query_with_the_callers_own_kerberos_ticket(self):
        # env.sh leaves a ticket of the test user in KRB5CCNAME: no -u at all.
        r = run(["-h", self.dc, "-b", self.user_dn, "-f", "(objectClass=user)", "cn"])
        self.assertOk(r)
        self.assertEqual(r.err, BANNER)
        self.assertTrue(r.out.startswith("Using server: %s:389\nDirectory: " % self.dc), r)
        self.assertIn("\ndn:%s\n>cn: Quelby Tester\n\n" % self.user_dn, r.out)
        self.assertTrue(r.out.endswith("\n1 Objects returned\n"), r)

    def test_scopes_match_another_client(self):
        for scope, words in (("base", ["-s", "base"]), ("one", ["-s", "one"]), ("sub", [])):
            r = self.dc_run("-b", self.ou, "-f", "(objectClass=*)", "-dn", *words)
            self.assertOk(r)
            want = self.ldapsearch_dns(self.ou, scope, "(objectClass=*)")
            self.assertEqual(sorted(self.dns(r.out)), want, scope)
            self.assertEqual(self.count(r.out), len(want))
        self.assertEqual(len(self.dns(self.dc_run("-b", self.ou, "-s", "base", "-dn").out)), 1)

    def test_special_and_relative_bases(self):
        r = self.dc_run("-default", "-s", "base", "-dn")
        self.assertOk(r)
        self.assertIn("Base DN: %s\n" % self.base, r.out)
        self.assertEqual(self.dns(r.out), [self.base])
        r = self.dc_run("-config", "-s", "base", "-dn")
        self.assertEqual(self.dns(r.out), ["CN=Configuration," + self.base])
        r = self.dc_run("-schema", "-s", "base", "-dn")
        self.assertEqual(self.dns(r.out), ["CN=Schema,CN=Configuration," + self.base])
        r = self.dc_run("-root", "-s", "base", "-dn")
        self.assertEqual(self.dns(r.out), [self.base])
        # Every special base wins over -b; -rb goes in front of it.
        r = self.dc_run("-b", "CN=ignored", "-default", "-rb", "OU=QTest", "-s", "base", "-dn")
        self.assertOk(r)
        self.assertEqual(self.dns(r.out), [self.ou])
        # The null base with a base scope is the RootDSE (an empty DN).
        r = self.dc_run("-null", "-s", "base", "dnsHostName")
        self.assertOk(r)
        self.assertIn("\ndn:\n>dnsHostName: %s\n" % self.dc, r.out)

    def test_global_catalog(self):
        r = self.dc_run("-gc", "-b", self.ou, "-f", "(cn=Quelby Tester)", "cn", "-selapsed")
        self.assertOk(r)
        self.assertIn("Using server: %s:3268\n" % self.dc, r.out)
        self.assertEqual(self.dns(r.out), [self.user_dn])
        # The preloads ran on a connection of their own, released before the search.
        for label in ("LDAP_OPEN_2", "PARTIAL_SCHEMA", "LDAP_UNBIND_2"):
            self.assertRegex(r.out, r"\n   %s +\d" % label)

    def test_connectionless_rootdse(self):
        # Over UDP the RootDSE is searched without a bind; the preloads get a
        # TCP connection of their own (the caller's ticket), released before the search.
        r = run(["-h", self.dc, "-udp", "-null", "-s", "base", "dnsHostName", "-selapsed"])
        self.assertOk(r)
        self.assertIn("\ndn:\n>dnsHostName: %s\n" % self.dc, r.out)
        labels = re.findall(r"^   (\S+) ", r.out, re.M)
        self.assertEqual(labels, ["OVERALL", "LDAP_OPEN", "ROOT_DSE", "LDAP_OPEN_2", "PARTIAL_SCHEMA",
                                  "LDAP_UNBIND_2", "LDAP_SEARCH_INIT", "LDAP_GET_PAGES",
                                  "LDAP_UNBIND"])

    def test_no_referrals_switch_reaches_the_connection(self):
        r = self.dc_run("-nr", "-d", "-b", self.user_dn, "-s", "base", "cn")
        self.assertOk(r)
        self.assertIn("LDAP_OPTION: No referrals\n", r.err)
        r = self.dc_run("-d", "-b", self.user_dn, "-s", "base", "cn")
        self.assertNotIn("No referrals", r.err)

    def test_sort_and_reverse_sort(self):
        filt = "(cn=qbig000*)"
        names = ["qbig000%d" % i for i in range(1, 10)]
        r = self.dc_run("-b", self.ou, "-f", filt, "-sort", "cn", "cn")
        self.assertOk(r)
        self.assertEqual(self.values(r.out, "cn"), names)
        r = self.dc_run("-b", self.ou, "-f", filt, "-rsort", "cn", "cn")
        self.assertEqual(self.values(r.out, "cn"), names[::-1])

    def test_show_deleted_extended_dn_phantom_root_and_asq(self):
        deleted = "CN=Deleted Objects," + self.base
        r = self.dc_run("-b", deleted, "-s", "base", "-showdel", "cn")
        self.assertOk(r)
        self.assertEqual(self.dns(r.out), [deleted])
        self.assertEqual(self.count(self.dc_run("-b", deleted, "-s", "base", "cn").out), 0)

        r = self.dc_run("-b", self.user_dn, "-s", "base", "-extname", "cn")
        self.assertOk(r)
        self.assertRegex(r.out, r"\ndn:<GUID=[0-9a-f]{32}>;<SID=[0-9a-f]+>;%s\n" % re.escape(self.user_dn))

        # From the null base only the phantom-root option reaches the domain.
        r = self.dc_run("-null", "-f", "(cn=Quelby Tester)", "cn")
        self.assertEqual(r.code, 32, r)
        r = self.dc_run("-null", "-pr", "-f", "(cn=Quelby Tester)", "cn")
        self.assertOk(r)
        self.assertEqual(self.dns(r.out), [self.user_dn])

        # Attribute-scoped query: the users among the members of QG-Alpha.
        alpha = ENV["QUELBY_TEST_USER_GROUPS"].split(";")[0]
        r = self.dc_run("-b", alpha, "-asq", "member", "-f", "(objectClass=user)", "cn")
        self.assertOk(r)
        self.assertEqual(sorted(self.dns(r.out)),
                         sorted([self.user_dn, ENV["QUELBY_TEST_NOEXPIRE_USER_DN"]]))


class Paging(ServerTestCase):
    def test_pages_and_maximum_on_slapd(self):
        total = int(ENV["QUELBY_TEST_SLAPD_ENTRIES"]) + 1  # the people entries and their OU
        r = self.slapd_run("-b", self.people, "-ps", "700", "-d", "cn")
        self.assertOk(r)
        self.assertEqual(len(self.dns(r.out)), total)
        self.assertEqual(self.count(r.out), total)
        pages = r.out.count("DEBUG: Retrieving Page...\n")
        self.assertGreaterEqual(pages, -(-total // 700))
        self.assertIn("DEBUG: Temp Page Size: 700\n", r.out)
        self.assertEqual(len(set(self.dns(r.out))), total)

        r = self.slapd_run("-b", self.people, "-maxe", "10", "cn")
        self.assertOk(r)
        self.assertEqual(len(self.dns(r.out)), 10)
        self.assertEqual(self.count(r.out), 10)

        r = self.slapd_run("-b", self.people, "-maxe", "1500", "-ps", "1000", "-d", "-c")
        self.assertOk(r)
        self.assertIn("DEBUG: Temp Page Size: 1000\nDEBUG: Object Count: 1000\n", r.out)
        self.assertIn("DEBUG: Temp Page Size: 500\n", r.out)
        self.assertEqual(self.count(r.out), 1500)

    def test_count_only_and_no_results(self):
        r = self.slapd_run("-b", self.people, "-c")
        self.assertOk(r)
        self.assertEqual(self.dns(r.out), [])
        self.assertEqual(self.count(r.out), int(ENV["QUELBY_TEST_SLAPD_ENTRIES"]) + 1)
        r = self.slapd_run("-b", self.people, "-f", "(uid=nobody-here)", "cn")
        self.assertOk(r)
        self.assertTrue(r.out.endswith("\n\n0 Objects returned\n"), r)


class Timings(ServerTestCase):
    def test_elapsed_lines(self):
        r = self.dc_run("-b", self.user_dn, "-s", "base", "cn", "-elapsed", "-elapsedms", "-selapsed")
        self.assertOk(r)
        self.assertRegex(r.out, r"\n1 Objects returned\nElapsed MS: \d+\nTime Elapsed \(sec\): [0-9.e-]+\n")
        listing = r.out.split("\nElapsed Times:\n", 1)[1]
        labels = re.findall(r"^   (\S+) +([0-9.e-]+)$", listing, re.M)
        self.assertEqual([l for l, _ in labels],
                         ["OVERALL", "LDAP_OPEN", "ROOT_DSE", "PARTIAL_SCHEMA",
                          "LDAP_SEARCH_INIT", "LDAP_GET_PAGES", "LDAP_UNBIND"])
        self.assertTrue(r.out.endswith("\n\n"))
        # -selapsedms lists milliseconds: whole numbers.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "cn", "-selapsedms", "-dloid")
        labels = re.findall(r"^   (\S+) +(\S+)$", r.out, re.M)
        self.assertEqual([l for l, _ in labels],
                         ["OVERALL", "LDAP_OPEN", "ROOT_DSE", "LDAP_SEARCH_INIT",
                          "LDAP_GET_PAGES", "LDAP_UNBIND"])
        for _, value in labels:
            self.assertRegex(value, r"^\d+$")


if __name__ == "__main__":
    unittest.main()
