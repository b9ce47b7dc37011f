"""Failure paths against the real servers: the error lines and exit codes."""

import re
import unittest

from driver_testlib import base_env
from search_testlib import ENV, ServerTestCase, run


class Failures(ServerTestCase):
    def test_a_tls_failure_says_why(self):
        for host, ca, why in ((ENV["QUELBY_TEST_IP"], ENV["QUELBY_TEST_CA"], "name in the certificate does not match"),
                              (self.dc, None, "certificate issuer is unknown")):
            env = base_env()
            env.pop("LDAPTLS_CACERT", None)
            if ca:
                env["LDAPTLS_CACERT"] = ca
            r = run(["-h", host, "-ssl", "-b", self.base, "cn"] + self.admin, env=env)
            self.assertEqual(r.code, 255, r)
            self.assertRegex(r.err, r"(?m)^ERROR: TLS: .*%s.*\nLDAP_BIND: \[%s\] Error 0x51 \(81\) - Server Down$"
                             % (why, re.escape(host)))

    def test_closed_port(self):
        r = run(["-h", ENV["QUELBY_TEST_IP"] + ":9", "-b", self.base, "cn"])
        self.assertEqual(r.code, 255, r)  # -1
        self.assertIn("Error 0x51 (81) - Server Down\n", r.err)
        self.assertTrue(r.err.endswith("Terminating program.\n"), r)
        self.assertNotIn("Objects returned", r.out)

    def test_wrong_password(self):
        r = run(["-h", self.dc, "-u", ENV["QUELBY_TEST_ADMIN_USER"], "-up", "not-the-password",
                 "-b", self.base, "cn"])
        self.assertEqual(r.code, 255, r)
        self.assertIn("[%s] Error 0x31 (49) - Invalid Credentials\n" % self.dc, r.err)
        self.assertTrue(r.err.endswith("Terminating program.\n"), r)

    def test_base_that_does_not_exist(self):
        r = self.dc_run("-b", "OU=Nowhere," + self.base, "cn")
        self.assertEqual(r.code, 32, r)
        self.assertIn("ldap_get_next_page_s: [%s] Error 0x20 (32) - No Such Object\n" % self.dc, r.err)
        self.assertTrue(r.out.endswith("\n0 Objects returned\n"), r)
        # slapd names the nearest existing entry; -exterr shows the server's text instead.
        r = self.slapd_run("-b", "ou=nowhere," + self.people, "cn")
        self.assertEqual(r.code, 32, r)
        self.assertIn("Best Match of: '%s'\n" % self.people, r.out)
        r = self.slapd_run("-b", "ou=nowhere," + self.people, "-exterr", "cn")
        self.assertEqual(r.code, 32, r)
        self.assertNotIn("Best Match", r.out)

    def test_critical_control_the_server_lacks(self):
        r = self.slapd_run("-b", self.people, "-showdel", "cn")
        self.assertEqual(r.code, 12, r)
        self.assertIn("Error 0xc (12) - Unavailable Critical Extension\n", r.err)
        self.assertEqual(self.dns(r.out), [])

    def test_page_size_above_the_servers_limit(self):
        # slapd takes pages of at most 1000 entries.
        r = self.slapd_run("-b", self.people, "-ps", "2000", "-c")
        self.assertEqual(r.code, 11, r)
        self.assertIn("ldap_get_next_page_s: [] Error 0xb (11) - Admin Limit Exceeded\n", r.err)
        # The maximum asked for with -maxe is the normal end (the server's own
        # size cap for unpaged searches is never met: the search pages on).
        r = self.slapd_run("-b", self.people, "-maxe", "5", "cn")
        self.assertEqual(r.code, 0, r)
        self.assertEqual(r.err.count("Error"), 0)
        self.assertEqual(len(self.dns(r.out)), 5)

if __name__ == "__main__":
    unittest.main()
