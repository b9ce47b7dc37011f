"""Every entry layout, the DN filters, value filters and muted records."""

import csv
import re
import unittest

from search_testlib import ENV, ServerTestCase


class Layouts(ServerTestCase):
    ATTRS = ["cn", "mail", "memberOf"]

    def user(self, *switches):
        r = self.dc_run("-b", self.user_dn, "-s", "base", *(list(switches) + self.ATTRS))
        self.assertOk(r)
        return r

    def groups(self):
        return ENV["QUELBY_TEST_USER_GROUPS"].split(";")

    def test_default_and_label_layouts(self):
        r = self.user()
        body = r.out.split("\n\n", 1)[1]
        self.assertTrue(body.startswith("dn:%s\n" % self.user_dn), body)
        self.assertEqual(self.values(r.out, "cn"), ["Quelby Tester"])
        self.assertEqual(self.values(r.out, "memberOf"), self.groups())
        self.assertEqual(self.values(r.out, "mail"), ["qtester@quelby.test"])
        r = self.user("-nolabel")
        self.assertIn("dn:%s\nQuelby Tester\n" % self.user_dn, r.out)
        self.assertNotIn(">cn:", r.out)
        r = self.user("-nodn")
        self.assertNotIn("dn:", r.out)
        self.assertIn(">cn: Quelby Tester\n", r.out)

    def test_lists(self):
        r = self.user("-list")
        self.assertEqual(r.err, "")  # quiet: no banner
        lines = r.out.strip("\n").split("\n")
        self.assertEqual(sorted(lines), sorted(["Quelby Tester", "qtester@quelby.test"] + self.groups()))
        r = self.user("-qlist")
        lines = r.out.strip("\n").split("\n")
        self.assertEqual(sorted(lines),
                         sorted('"%s"' % v for v in ["Quelby Tester", "qtester@quelby.test"] + self.groups()))
        self.assertNotIn("Objects returned", r.out)

    def test_dn_only_layouts_and_count(self):
        r = self.dc_run("-b", self.ou, "-s", "one", "-f", "(objectClass=group)", "-dn")
        self.assertOk(r)
        dns = self.dns(r.out)
        self.assertEqual(len(dns), 5)
        self.assertIn("\n".join("dn:" + d for d in dns), r.out)  # no empty lines between
        r = self.dc_run("-b", self.ou, "-s", "one", "-f", "(objectClass=group)", "-dsq")
        self.assertOk(r)
        self.assertEqual(sorted(r.out.strip("\n").split("\n")), sorted('"%s"' % d for d in dns))
        self.assertNotIn("Objects returned", r.out)
        r = self.dc_run("-b", self.ou, "-s", "one", "-f", "(objectClass=group)", "-c")
        self.assertOk(r)
        self.assertNotIn("dn:", r.out)
        self.assertEqual(self.count(r.out), 5)

    def test_csv(self):
        r = self.dc_run("-b", self.ou, "-s", "one", "-f", "(|(cn=Quelby Tester)(cn=QWS01))",
                        "-csv", "NULL", "-sort", "cn", "cn", "mail", "memberOf")
        self.assertOk(r)
        self.assertEqual(r.out.split("\n"), [
            '"dn","cn","mail","memberOf"',
            '"CN=Quelby Tester,%s","Quelby Tester","qtester@quelby.test","%s"'
            % (self.ou, ";".join(self.groups())),
            '"CN=QWS01,%s","QWS01","NULL","NULL"' % self.ou,
            ""])

    def test_csv_rows_read_back_as_the_values(self):
        seen = ""
        for base, attrs in [("CN=uniqueIdentifier,CN=Schema,CN=Configuration," + self.base,
                             ["adminDescription"]),
                            (ENV["QUELBY_TEST_UNICODE_USER_DN"], ["cn", "objectClass"])]:
            r = self.dc_run("-b", base, "-s", "base", *attrs)
            want = self.dns(r.out) + [";".join(self.values(r.out, a)) for a in attrs]
            seen += "".join(want)
            r = self.dc_run("-b", base, "-s", "base", "-csv", "", *attrs)
            self.assertEqual(list(csv.reader(r.out.splitlines())), [["dn"] + attrs, want])
        self.assertTrue(set('",;\u00eb') <= set(seen), seen)  # quote, delimiters, non-ASCII

    def test_ordered_and_sorted_attributes(self):
        r = self.user("-soao", "objectClass")
        labels = re.findall(r"^>([^:]+):", r.out, re.M)
        distinct = list(dict.fromkeys(labels))
        self.assertEqual(distinct, ["cn", "mail", "memberOf", "objectClass"])
        r = self.dc_run("-b", "CN=QWS01," + self.ou, "-s", "base", "-oao", "NONE", "mail", "cn")
        self.assertOk(r)
        self.assertIn("dn:CN=QWS01,%s\n>mail: NONE\n>cn: QWS01\n\n" % self.ou, r.out)

    def test_owner_layouts(self):
        admins = re.compile(r"S-1-5-21-[\d-]+-512$")
        r = self.user("-owner")
        owner = self.values(r.out, "_OBJECT_OWNER")
        self.assertEqual(len(owner), 1)
        self.assertRegex(owner[0], admins)
        self.assertEqual(self.values(r.out, "cn"), ["Quelby Tester"])
        self.assertNotIn(">nTSecurityDescriptor", r.out)

        r = self.user("-owneronly")
        self.assertEqual(re.findall(r"^>([^:]+):", r.out, re.M), ["_OBJECT_OWNER"])

        r = self.dc_run("-b", self.ou, "-s", "one", "-f", "(|(cn=Quelby Tester)(cn=QWS01))",
                        "-ownercsv", "-sort", "cn")
        self.assertOk(r)
        lines = r.out.strip("\n").split("\n")
        self.assertEqual(len(lines), 2, r)
        for line, cn in zip(lines, ["Quelby Tester", "QWS01"]):
            self.assertRegex(line, r'^"CN=%s,%s";"S-1-5-21-[\d-]+"$' % (cn, re.escape(self.ou)))

        # With the descriptor itself asked for, it is printed instead of the owner.
        r = self.user("-owner", "nTSecurityDescriptor")
        self.assertIn("\n>nTSecurityDescriptor: {Security Descriptor}\n", r.out)
        self.assertNotIn("_OBJECT_OWNER", r.out)

    def test_dn_filters(self):
        all_ = self.dc_run("-b", self.ou, "-c")
        big = int(ENV["QUELBY_TEST_BIG_GROUP_MEMBERS"])
        r = self.dc_run("-b", self.ou, "-dn", "-excldn", "ou=bigmembers")
        self.assertOk(r)
        self.assertEqual(self.count(r.out), self.count(all_.out) - big - 1)
        self.assertFalse(any("bigmembers" in d.lower() for d in self.dns(r.out)))
        r = self.dc_run("-b", self.ou, "-dn", "-incldn", "cn=qg-alpha;CN=QWS01")
        self.assertEqual(sorted(self.dns(r.out)),
                         sorted([self.groups()[0], "CN=QWS01," + self.ou]))
        self.assertEqual(self.count(r.out), 2)

    def test_value_filters_apply_to_the_named_attribute(self):
        r = self.user("-mvfilter", "memberof=beta", "objectSid")
        self.assertEqual(self.values(r.out, "memberOf"), [self.groups()[1]])
        self.assertEqual(self.values(r.out, "cn"), ["Quelby Tester"])
        self.assertEqual(len(self.values(r.out, "objectSid")), 1)
        r = self.user("-mvnotfilter", "memberof=BETA", "objectSid", "objectGUID")
        self.assertEqual(self.values(r.out, "memberOf"), [self.groups()[0], self.groups()[2]])
        # The SID and GUID values of attributes the filter does not name stay.
        self.assertEqual(len(self.values(r.out, "objectSid")), 1)
        self.assertEqual(len(self.values(r.out, "objectGUID")), 1)
        r = self.user("-mvnotfilter", "objectsid=S-1-5-21")
        self.assertEqual(self.values(r.out, "objectSid"), [])

    def test_excluded_attributes_whatever_their_case(self):
        r = self.user("-excl", "OBJECTguid;MAIL", "objectGUID", "objectSid")
        self.assertEqual(self.values(r.out, "objectGUID"), [])
        self.assertEqual(self.values(r.out, "mail"), [])
        self.assertEqual(len(self.values(r.out, "objectSid")), 1)
        self.assertEqual(self.values(r.out, "cn"), ["Quelby Tester"])

    def test_muted_records(self):
        r = self.dc_run("-b", self.ou, "-s", "one", "-f", "(objectClass=user)", "mail", "-recmute")
        self.assertOk(r)
        with_mail = [d for d in self.dns(r.out)]
        self.assertIn(self.user_dn, with_mail)
        self.assertNotIn("CN=QWS01," + self.ou, with_mail)
        self.assertEqual(self.count(r.out), len(with_mail))
        self.assertEqual(len(self.values(r.out, "mail")), len(with_mail))
        unmuted = self.dc_run("-b", self.ou, "-s", "one", "-f", "(objectClass=user)", "mail")
        self.assertGreater(self.count(unmuted.out), self.count(r.out))


if __name__ == "__main__":
    unittest.main()
