"""A SASL bind answered success before its exchange is done, with no server credentials,
fails, and quelby sends nothing more on that connection, not even an unbind: on the
first connection (Kerberos then with no NTLM after it) and on a chase after a sealed
bind, whose entries are then left out. A relay on the DC's address (a ticket is asked
for the DC's own name) ends the bind early and would serve a planted entry after it."""

import unittest

from domain_member import MemberTestCase
from driver_testlib import base_env, run
from scripted_ldap import EarlyBindSuccess, tlv
from search_testlib import ENV, ServerTestCase


def first(bind):
    return True


def authenticate(bind):
    return b"NTLMSSP\x00\x03\x00\x00\x00" in bind


class Relaying:
    def relay(self, address, port, target, at, parent):
        server = EarlyBindSuccess(address, port, target, at, ("CN=Planted," + parent, [("cn", ["Planted"])]))
        self.addCleanup(server.close)
        return server

    def assertNothingAfter(self, server, out):
        self.assertNotIn("Planted", out)
        self.assertTrue(server.after, "no connection")
        self.assertEqual(server.after, [b""] * len(server.after), "sent after the bind ended early")


class FirstConnection(Relaying, ServerTestCase):
    def test_a_first_connection_whose_bind_ends_early_fails(self):
        dc, ntlm = (ENV["QUELBY_TEST_IP"], 389), {"KRB5_CONFIG": "/dev/null"}
        for what, args, env, target, at, layer in [
                ("a ticket", [], {}, dc, first, "signing"),
                ("a ticket, sealed", ["-kerbenc"], {}, dc, first, "sealing"),
                ("user and password by Kerberos", self.admin, {}, dc, first, "signing"),
                ("NTLM, at its first request", self.admin, ntlm, dc, first, "signing"),
                ("NTLM, at its AUTHENTICATE", self.admin, ntlm, dc, authenticate, "signing"),
                ("NTLM, a server of its own", self.admin, ntlm, None, first, "signing")]:
            with self.subTest(what):
                server = self.relay(ENV["QUELBY_TEST_IP"], 0, target, at, self.base)
                r = run(["-h", self.dc, "-p", str(server.port), "-b", self.user_dn, "-s", "base", "cn"] + args,
                        env=base_env(**env), timeout=60)
                server.close()
                mechanism = b"GSS-SPNEGO" if env else b"GSSAPI"
                self.assertTrue(server.ended and tlv(0x04, mechanism) in server.ended[0], "no %s bind" % mechanism)
                self.assertNotEqual(r.code, 0, r)
                self.assertRegex(r.err, r"(?ms)^ERROR: the server ended the bind without the %s\b.*"
                                 r"^LDAP_BIND: \[[^]\n]*\] Error 0x2 \(2\) - Protocol Error$" % layer)
                if not env:  # Kerberos: no NTLM after it
                    self.assertNotIn("WARN: Kerberos could not be used", r.err)
                self.assertEqual(len(server.after), 1, "a connection after the one that failed")
                self.assertNothingAfter(server, r.out)


class Chase(Relaying, MemberTestCase):
    def test_a_chase_after_a_sealed_ntlm_bind_to_a_server_that_ends_it_early_is_left_out(self):
        # The DC's references name the domain, which leads to that server.
        server = self.relay(None, 389, None, first, "CN=Configuration," + self.base)
        proc = self.chase_through(server, "the server ended the bind without the sealing")
        self.assertNothingAfter(server, proc.stdout)


if __name__ == "__main__":
    unittest.main()
