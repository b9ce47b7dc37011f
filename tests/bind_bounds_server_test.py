"""A server that keeps a SASL bind in progress, answering each step at once or
slowly, with empty server credentials or none, gets a bind that ends: within
the wait limit (-t) taken as a whole and after a bounded number of steps, with
the line that names the bound and a failing exit (a chase: its warning line);
Kerberos and the NTLM fallback alike, over LDAP and LDAPS. Binds that the DCs
finish take the steps they always took."""

import os
import re
import subprocess
import time
import unittest

from domain_member import member_unavailable, run_as_member
from driver_testlib import BIN, Result, base_env, run
from ntlm_server_test import relayed
from scripted_ldap import ScriptedLdapServer, ldap_requests, result, tlv
from search_testlib import ENV, ServerTestCase

IN_PROGRESS = 14
MOST_STEPS = 8
MARGIN = 5  # seconds for a run's start and end on a busy machine under sanitizers
NO_KERBEROS = {"KRB5_CONFIG": "/dev/null"}


def in_progress(credentials, pace):
    """Every bind gets saslBindInProgress after pace seconds, with empty server
    credentials (credentials true) or with none; the RootDSE read finds nothing."""
    def answer(op, content):
        if op == 0x60:
            time.sleep(pace)
            return [tlv(0x61, result(IN_PROGRESS) + (tlv(0x87, b"") if credentials else b""))]
        return [tlv(0x65, result())] if op == 0x63 else []
    return answer


def binds(received):
    """The number of bind requests of each connection."""
    return [sum(op == 0x60 for _, op, _ in ldap_requests(bytes(data))[0]) for data in received]


class BindBounds(ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        tls = os.path.join(ENV["QUELBY_TEST_STATE"], "dc", "private", "tls")
        cls.certificate = (os.path.join(tls, "cert.pem"), os.path.join(tls, "key.pem"))
        cls.user = ["-u", ENV["QUELBY_TEST_USER"], "-up", ENV["QUELBY_TEST_USER_PASSWORD"]]

    def quelby(self, host, args, env, limit=30, hosts=()):
        """quelby's result and its seconds (as a domain member where hosts are
        given); a run that does not end fails."""
        argv, env = ["-h", host, "-t", str(limit)] + args, base_env(LDAPTLS_CACERT=ENV["QUELBY_TEST_CA"], **env)
        start = time.monotonic()
        try:
            r = Result(run_as_member([BIN] + argv, env, hosts, timeout=limit + 30)) if hosts else run(
                argv, env=env, timeout=limit + 30)
        except subprocess.TimeoutExpired as e:
            self.fail("no end in %d seconds: %r" % (e.timeout, e.stderr))
        return r, time.monotonic() - start

    def test_a_bind_the_server_keeps_in_progress_ends_at_a_bound(self):
        ntlm, kerberos = (self.user, NO_KERBEROS), ([], {})  # Kerberos: the ticket env.sh names
        rows = [  # (bind, -ssl, a chase, server credentials, seconds a step, -t, the bound it meets)
            ("NTLM", False, False, True, 0, 10, "in 8 steps"),
            ("NTLM", False, False, False, 0, 10, "in 8 steps"),
            ("NTLM", True, False, True, 0, 10, None),  # NTLM gives up on an empty challenge
            ("NTLM", True, False, False, 0, 10, None),
            ("NTLM", False, False, True, 1, 3, "within 3 seconds"),
            ("NTLM", False, True, False, 0, 10, "in 8 steps"),
            ("Kerberos", False, False, True, 0, 10, "in 8 steps"),
            ("Kerberos", False, False, False, 0, 10, "in 8 steps"),
            ("Kerberos", True, False, True, 0, 10, "in 8 steps"),
            ("Kerberos", True, False, False, 1, 3, "within 3 seconds"),
        ]
        for mech, tls, chase, credentials, pace, limit, bound in rows:
            with self.subTest(mech=mech, tls=tls, chase=chase, credentials=credentials, pace=pace):
                # A chase follows the DC's own references, which name the domain.
                if chase and member_unavailable():
                    self.skipTest(member_unavailable())
                args, env = ntlm if mech == "NTLM" else kerberos
                keeper = ScriptedLdapServer(*(None, 389) if chase else (ENV["QUELBY_TEST_IP"], 0),
                                            in_progress(credentials, pace), self.certificate if tls else None)
                self.addCleanup(keeper.close)
                where, hosts = ["-p", str(keeper.port), "-b", self.base, "-s", "base"], []
                if chase:  # the domain leads to LDAP's port of the server's address
                    domain = ENV["QUELBY_TEST_DNS_DOMAIN"]
                    where, hosts = ["-b", self.base, "-f", "(cn=Quelby Tester)"], [keeper.address + " " + domain]
                r, seconds = self.quelby(self.dc, where + ["cn"] + ["-ssl"] * tls + args, env, limit, hosts)
                keeper.close()
                self.assertTrue(keeper.received, r)
                self.assertLessEqual(max(binds(keeper.received)), limit // pace + 1 if pace else MOST_STEPS)
                self.assertLess(seconds, limit + MARGIN, r)
                if chase:
                    self.assertRegex(r.err, r"(?m)^WARN: Referral not followed \(.*; the server did not finish the "
                                     r"bind %s.*\), (its|the rest of its) entries are left out: ldap://%s/"
                                     % (bound, re.escape(domain)))
                    continue
                self.assertNotEqual(r.code, 0, r)
                lines = r.err.splitlines()
                failed = [i for i, line in enumerate(lines) if line.startswith("LDAP_BIND: [%s] Error " % self.dc)]
                self.assertEqual(len(failed), 1, r)
                if bound:  # its line, then the usual one
                    unfinished = [i for i, line in enumerate(lines)
                                  if line.startswith("ERROR: the server did not finish the bind")]
                    self.assertEqual(len(unfinished), 1, r)
                    self.assertIn(bound, lines[unfinished[0]])
                    self.assertLess(unfinished[0], failed[0], r)

    def test_a_bind_the_dc_finishes_takes_the_steps_it_took(self):
        # Over LDAP, where the relay reads the requests; LDAPS binds go the same way.
        dc, defaults = (ENV["QUELBY_TEST_IP"], self.dc), (ENV.get("QUELBY_TEST_DEFAULTS_DC_IP"),
                                                          ENV.get("QUELBY_TEST_DEFAULTS_DC_HOST"))
        rows = [  # (server, bind switches, environment, mechanism, bind requests it took)
            (dc, [], {}, b"GSSAPI", 3),
            (dc, self.user, NO_KERBEROS, b"GSS-SPNEGO", 2),
            (defaults, self.user, NO_KERBEROS, b"GSS-SPNEGO", 2),
        ]
        for (ip, host), args, env, mech, steps in rows:
            with self.subTest(host=host, mech=mech):
                if not ip:
                    self.skipTest("no DC at Samba's defaults (QUELBY_TEST_DEFAULTS_DC_IP)")
                (r, _), sent = relayed((ip, 389), lambda port: self.quelby(
                    "%s:%d" % (host, port), ["-b", self.user_dn, "-s", "base", "cn"] + args, env), None, ip)
                self.assertEqual(r.code, 0, r)
                requests = [content for _, op, content in ldap_requests(bytes(sent))[0] if op == 0x60]
                self.assertTrue(requests and all(mech in content for content in requests), requests)
                self.assertLessEqual(len(requests), steps)

if __name__ == "__main__":
    unittest.main()
