"""A server that is not the DC but names the DC as its host in its RootDSE
(read before any bind) gets no service ticket for the DC, which it could relay
there: reached by its address, by a name of its own, or by the DC's own
references (the domain's name leading to it). A chase whose Kerberos bind
fails there does not fall back to NTLM, whose answer comes from the password."""

import os
import re
import unittest

from domain_member import MemberTestCase, run_as_member
from scripted_ldap import ScriptedLdapServer, element, entry, ldap_requests, result, tlv
from search_testlib import ENV


def claiming(dc, realm):
    """Its RootDSE names dc; a simple bind succeeds, a SASL one is refused."""
    def answer(op, content):
        if op == 0x60:
            name = element(content, element(content, 0, len(content))[2], len(content))
            return [tlv(0x61, result(49 if content[name[2]] == 0xA3 else 0))]
        base = element(content, 0, len(content))
        rootdse = [entry("", [("dnsHostName", [dc]), ("ldapServiceName", ["x:y$@" + realm])])]
        return (rootdse if base[1] == base[2] else []) + [tlv(0x65, result())] if op == 0x63 else []
    return answer


THERE = object()  # stands for the claiming server's address in a command line


class ClaimedNames(MemberTestCase):
    def claimed(self, args, named):
        """quelby's run as a domain member with `named` leading to the claiming server
        (on LDAP's port of a loopback address where it is free; THERE in args is that
        address), and what that server's connections received."""
        server = ScriptedLdapServer(None, 389, claiming(self.dc, ENV["QUELBY_TEST_REALM"]))
        self.addCleanup(server.close)
        args = [server.address if a is THERE else a for a in args]
        proc = run_as_member([ENV["QUELBY_BIN"], "-t", "10"] + args, env=dict(os.environ),
                             hosts=["%s %s" % (server.address, named)])
        server.close()
        self.assertTrue(server.received, args)
        binds = b"".join(c for data in server.received for _, op, c in ldap_requests(data)[0] if op == 0x60)
        # A ticket names its service in clear.
        self.assertFalse(self.dc.encode() in binds.lower(), "%s: a ticket for %s" % (args, self.dc))
        return proc, b"".join(server.received)

    def test_a_server_reached_directly_gets_no_ticket_for_the_host_it_claims(self):
        own = "elsewhere." + self.domain
        for host in (THERE, own):
            for args in ([], self.admin, ["-kerbenc"] + self.admin):
                with self.subTest(host="its address" if host is THERE else host, args=args[:1]):
                    proc, _ = self.claimed(["-h", host, "-b", self.base] + args, own)
                    self.assertNotEqual(proc.returncode, 0, proc.stderr)

    def test_a_chase_to_a_server_that_claims_the_dc_binds_as_the_first_connection_or_not_at_all(self):
        for args in ([], self.admin):
            with self.subTest(args=args[:1]):
                proc, received = self.claimed(["-h", self.dc, "-b", self.base, "-c"] + args, self.domain)
                self.assertEqual(proc.returncode, 0, proc.stderr)
                self.assertRegex(proc.stderr, r"(?m)^WARN: Referral not followed \(.*\), its entries are left out: "
                                 r"ldap://%s/" % re.escape(self.domain))
                self.assertNotIn("WARN: Kerberos could not be used", proc.stderr)  # the DC itself: Kerberos
                self.assertFalse(b"NTLMSSP" in received, "%s: an NTLM bind" % args)


if __name__ == "__main__":
    unittest.main()
