"""What a server that is not the DC receives when it says it is: its RootDSE,
read before any bind, names the DC as its host. It gets no service ticket for
the DC (which it could relay there), whether quelby is pointed at it by its
address or by a name of its own, or reaches it by chasing the DC's own
references (the domain's name leading to it); and a chase whose Kerberos bind
fails there does not fall back to NTLM, which would hand it an answer computed
from the user's password."""

import os
import re
import unittest

from domain_member import member_unavailable, run_as_member
from scripted_ldap import DONE, ScriptedLdapServer, element, entry, ldap_requests, tlv
from search_testlib import ENV, ServerTestCase


def claiming(dc, realm):
    """Answers as a server that calls itself dc: its RootDSE says so; a simple
    bind succeeds and a SASL bind is refused; other searches find nothing."""
    def answer(op, content):
        if op == 0x60:
            version = element(content, 0, len(content))
            name = element(content, version[2], len(content))
            sasl = content[name[2]] == 0xA3
            return [tlv(0x61, tlv(0x0A, b"\x31" if sasl else b"\0") + tlv(0x04, b"") + tlv(0x04, b""))]
        if op != 0x63:
            return []
        base = element(content, 0, len(content))
        found = []
        if base and base[1] == base[2]:  # the RootDSE
            found = [entry("", [("dnsHostName", [dc]), ("ldapServiceName", ["%s:%s$@%s" % (
                realm.lower(), dc.split(".")[0], realm)]), ("defaultNamingContext", ["DC=elsewhere"])])]
        return found + [tlv(0x65, DONE)]
    return answer


class ClaimedNames(ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        why = member_unavailable()
        if why:
            raise unittest.SkipTest(why)
        cls.domain, cls.realm = ENV["QUELBY_TEST_DNS_DOMAIN"], ENV["QUELBY_TEST_REALM"]
        # A loopback address of its own, where the claiming server takes LDAP's port.
        cls.there = "127.0.0.9" if ENV["QUELBY_TEST_IP"] != "127.0.0.9" else "127.0.0.10"

    def claimed(self, args, hosts, connections):
        """Runs quelby as a domain member with the hosts lines given, while the
        claiming server listens; its result, and the bytes each connection got."""
        server = ScriptedLdapServer(self.there, 389, claiming(self.dc, self.realm), connections)
        self.addCleanup(server.close)
        proc = run_as_member([ENV["QUELBY_BIN"], "-t", "10"] + args, env=dict(os.environ), hosts=hosts)
        server.close()
        server.wait(30)
        return proc, server.received

    def assertNothingForTheDc(self, received, what):
        for data in received:
            found, _ = ldap_requests(data)
            binds = b"".join(content for _, op, content in found if op == 0x60)
            # A ticket names its service in clear.
            self.assertFalse(self.dc.lower().encode() in binds.lower(), "%s: a ticket for %s" % (what, self.dc))

    def test_a_server_reached_directly_gets_no_ticket_for_the_host_it_claims(self):
        own = "elsewhere." + self.domain
        rows = [  # how the server is named, switches
            (self.there, []), (self.there, self.admin), (self.there, ["-kerbenc"]),
            (own, []), (own, self.admin), (own, ["-kerbenc"] + self.admin),
        ]
        for host, args in rows:
            what = "%s %s" % (host, " ".join(args[:1]))
            with self.subTest(what):
                proc, received = self.claimed(["-h", host, "-b", self.base] + args,
                                              ["%s %s" % (self.there, own)], 2)
                self.assertNotEqual(proc.returncode, 0, what)
                self.assertTrue(received, what)
                self.assertNothingForTheDc(received, what)

    def test_a_chase_to_a_server_that_claims_the_dc_binds_as_the_first_connection_or_not_at_all(self):
        # The DC's references name the domain, which here leads to the claiming server.
        for what, args in [("ticket", []), ("user and password", self.admin)]:
            with self.subTest(what):
                proc, received = self.claimed(["-h", self.dc, "-b", self.base, "-c"] + args,
                                              ["%s %s" % (self.there, self.domain)], 16)
                self.assertEqual(proc.returncode, 0, proc.stderr)
                warned = re.findall(r"^WARN: Referral not followed \((.*)\), its entries are left out: "
                                    r"ldap://%s/" % re.escape(self.domain), proc.stderr, re.M)
                self.assertTrue(warned, proc.stderr)
                self.assertTrue(received, what)
                self.assertNothingForTheDc(received, what)
                self.assertFalse(any(b"NTLMSSP" in data for data in received), "%s: an NTLM bind" % what)
                self.assertNotIn("WARN: Kerberos could not be used", proc.stderr)  # the DC itself: Kerberos


if __name__ == "__main__":
    unittest.main()
