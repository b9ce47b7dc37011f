"""A server, or anyone on the way to the DC, that answers a SASL bind request success
before the exchange is done, with no server credentials, gets nothing more from quelby
on that connection: no search in clear, not even an unbind. On the first connection
the bind fails with a protocol error, Kerberos's with no NTLM after it; a chase that
meets such a server, after a sealed first bind, leaves its entries out. A relay on the
DC's address passes quelby's requests to the DC until the bind request chosen (a
ticket is then asked for the DC's own name), and serves a planted entry after it."""

import re
import unittest

from domain_member import MemberTestCase, run_as_member
from driver_testlib import base_env, run
from scripted_ldap import EarlyBindSuccess, tlv
from search_testlib import ENV, ServerTestCase

PLANTED = "CN=Planted Entry,"


def first(content):
    return True


def authenticate(content):
    """The request that carries NTLM's AUTHENTICATE message."""
    return b"NTLMSSP\x00\x03\x00\x00\x00" in content


class EarlySuccessCase:
    def planted(self, parent):
        return PLANTED + parent, [("cn", ["Planted Entry"]), ("sAMAccountName", ["planted"])]

    def assertNothingAfter(self, server):
        self.assertTrue(server.after, "no connection")
        for i, after in enumerate(server.after):
            self.assertIsNotNone(after, "connection %d: no SASL bind request" % i)
            self.assertEqual(after, b"", "connection %d: sent after the bind ended early" % i)


class FirstConnection(EarlySuccessCase, ServerTestCase):
    def test_a_bind_ended_early_fails_and_nothing_follows_it_on_the_wire(self):
        dc = (ENV["QUELBY_TEST_IP"], 389)
        ntlm = {"KRB5_CONFIG": "/dev/null"}
        rows = [
            ("a ticket", [], {}, dc, first, "signing"),
            ("a ticket, sealed", ["-kerbenc"], {}, dc, first, "sealing"),
            ("user and password by Kerberos", self.admin, {}, dc, first, "signing"),
            ("NTLM, at its first request", self.admin, ntlm, dc, first, "signing"),
            ("NTLM, at its AUTHENTICATE", self.admin, ntlm, dc, authenticate, "signing"),
            ("NTLM, a server of its own", self.admin, ntlm, None, first, "signing"),
        ]
        for what, args, env, target, at, layer in rows:
            with self.subTest(what):
                server = EarlyBindSuccess(ENV["QUELBY_TEST_IP"], 0, target, at, self.planted(self.base))
                self.addCleanup(server.close)
                r = run(["-h", self.dc, "-p", str(server.port), "-b", self.user_dn, "-s", "base",
                         "sAMAccountName"] + args, env=base_env(**env), timeout=60)
                server.close()
                mechanism = b"GSS-SPNEGO" if env else b"GSSAPI"
                self.assertTrue(server.ended and tlv(0x04, mechanism) in server.ended[0], "no %s bind" % mechanism)
                self.assertEqual(r.code, 2, r)
                self.assertRegex(r.err, r"(?ms)^ERROR: the server ended the bind without the %s\b.*"
                                 r"^LDAP_BIND: \[[^]\n]*\] Error 0x2 \(2\) - Protocol Error$" % layer)
                self.assertNotIn("Planted", r.out)
                if not env:  # Kerberos: no NTLM after it
                    self.assertNotIn("WARN: Kerberos could not be used", r.err)
                self.assertEqual(len(server.after), 1, "a connection after the one that failed")
                self.assertNothingAfter(server)


class Chase(EarlySuccessCase, MemberTestCase):
    def test_a_chase_after_a_sealed_ntlm_bind_leaves_out_a_server_that_ends_the_bind_early(self):
        # The DC's references name the domain, which leads here.
        server = EarlyBindSuccess(None, 389, None, first, self.planted("CN=Configuration," + self.base))
        self.addCleanup(server.close)
        proc = run_as_member([ENV["QUELBY_BIN"], "-h", self.dc, "-b", self.base, "-f", "(cn=Quelby Tester)",
                              "cn"] + self.admin, env=base_env(KRB5_CONFIG="/dev/null"),
                             hosts=["%s %s" % (server.address, self.domain)])
        server.close()
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertIn(self.user_dn, proc.stdout)
        self.assertNotIn("Planted", proc.stdout)
        self.assertRegex(proc.stderr, r"(?m)^WARN: Referral not followed \(Protocol Error; the server ended the "
                         r"bind without the sealing\b.*\), (its|the rest of its) entries are left out: ldap://%s/"
                         % re.escape(self.domain))
        self.assertNothingAfter(server)


if __name__ == "__main__":
    unittest.main()
