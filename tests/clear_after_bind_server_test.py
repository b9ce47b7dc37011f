"""Answers in clear in the same write as a SASL bind's success (a relay in front of a DC
appends them, whole or only their first bytes) are never taken as answers under the
bind's security layer: the bind fails with one line that says so and nothing more goes
out on that connection, not even an unbind; on a chase, the reference is left out."""

import unittest

from domain_member import MemberTestCase
from driver_testlib import base_env, run
from scripted_ldap import ClearAfterBindSuccess
from search_testlib import ENV, ServerTestCase

REFUSED = r"(?ms)^ERROR: the server sent data outside the security layer\b.*"


class Relaying:
    def relay(self, address, port, target, cut=None):
        server = ClearAfterBindSuccess(address, port, target, cut)
        self.addCleanup(server.close)
        return server

    def assertNothingAfter(self, server, out, connections=None):
        self.assertNotIn("INJECTED", out)
        appended = [after for after in server.after if after is not None]
        self.assertTrue(appended, "no bind success went through the relay")
        self.assertEqual(appended, [b""] * (connections or len(appended)), "sent after answers came in clear")


class FirstConnection(Relaying, ServerTestCase):
    def test_a_bind_whose_success_comes_with_answers_in_clear_fails(self):
        ip, ntlm = ENV["QUELBY_TEST_IP"], {"KRB5_CONFIG": "/dev/null"}
        binds = [("a ticket", self.dc, [], {}),
                 ("a ticket, sealed", self.dc, ["-kerbenc"], {}),
                 ("a ticket, to the DC's address (the connection is made anew under its name)", ip, [], {}),
                 ("user and password by Kerberos", self.dc, self.admin, {}),
                 ("NTLM", self.dc, self.admin, ntlm)]
        if ENV.get("QUELBY_TEST_DEFAULTS_DC_IP"):
            binds.append(("NTLM to the DC at defaults", ENV["QUELBY_TEST_DEFAULTS_DC_HOST"], self.admin, ntlm))
        for what, host, args, env in binds:
            target = ENV["QUELBY_TEST_DEFAULTS_DC_IP"] if host == ENV.get("QUELBY_TEST_DEFAULTS_DC_HOST") else ip
            for cut in (None, 1, 12):
                with self.subTest(what, cut=cut):
                    server = self.relay(target, 0, (target, 389), cut)
                    r = run(["-h", host, "-p", str(server.port), "-b", self.user_dn, "-s", "base", "cn"] + args,
                            env=base_env(**env), timeout=60)
                    server.close()
                    self.assertEqual(r.code, 255, r)
                    self.assertRegex(r.err, REFUSED + r"^LDAP_BIND: \[[^]\n]*\] Error 0x2 \(2\) - Protocol Error$")
                    self.assertNothingAfter(server, r.out, connections=1)


class Chase(Relaying, MemberTestCase):
    def test_a_chase_whose_bind_success_comes_with_answers_in_clear_is_left_out(self):
        # The DC's references name the domain, which leads to the relay; the first
        # connection goes to the DC itself and binds sealed by NTLM.
        server = self.relay(None, 389, (self.ip, 389))
        proc = self.chase_through(server, "the server sent data outside the security layer")
        self.assertNothingAfter(server, proc.stdout)


if __name__ == "__main__":
    unittest.main()
