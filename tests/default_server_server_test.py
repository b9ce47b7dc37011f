"""Without -h, quelby goes where a member of the test domain would: the URI of
OpenLDAP's configuration, else the DC that the domain's name resolves to, else
the DCs of the domain's SRV records. Each run prints what the same run with -h
and the DC's host name prints. (domain_member_server_test counts what such runs
find with every bind.)"""

import re
import unittest

from domain_member import DnsResponder, MemberTestCase, run_as_member
from driver_testlib import BIN, base_env, run
from search_testlib import ENV


class DefaultServer(MemberTestCase):
    def env(self, **extra):
        """The test servers' settings (a ticket, the realm) and no LDAP settings but those given."""
        env = base_env(LDAPTLS_CACERT=ENV["QUELBY_TEST_CA"], **extra)
        for name in {"LDAPURI", "LDAPHOST", "LDAPCONF", "LDAPRC", "LDAPNOINIT"} - set(extra):
            env.pop(name, None)
        return env

    def test_each_source_of_the_default_server(self):
        simple = ["-simple", "-u", ENV["QUELBY_TEST_ADMIN_DN"], "-up", ENV["QUELBY_TEST_ADMIN_PASSWORD"]]
        dc, slapd = self.dc, "%s:%s" % (self.dc, ENV["QUELBY_TEST_SLAPD_PORT"])
        people = ["-u", "", "-b", ENV["QUELBY_TEST_SLAPD_PEOPLE_DN"], "-f", "(uid=user00000*)", "uid"]
        udp = ["-udp", "-s", "base", "-b", "", "-f", "(objectClass=*)", "dnsHostName"] + simple
        # Records of the DC's and of slapd's port: the one of lower priority,
        # taken first, would fail the bind.
        msdcs, plain = "_ldap._tcp.dc._msdcs." + self.domain, "_ldap._tcp." + self.domain
        records = [(10, 100, int(ENV["QUELBY_TEST_SLAPD_PORT"]), dc), (0, 5, 389, dc)]
        rows = [  # name, switches, LDAPURI, the host -h names, SRV records (with the name unresolved)
            ("URI, ticket", [], "ldap://" + dc, dc, None),
            ("URI, -ssl, a local socket passed over", ["-ssl"] + simple, "ldapi:/// ldap://" + slapd, dc, None),
            ("URI, -p", ["-p", "3268"] + simple, "ldap://" + slapd, dc, None),
            ("URI, -gc", ["-gc"] + simple, "ldap://" + dc, dc, None),
            ("the URI's port", people, "ldap://" + slapd, slapd, None),
            ("the domain's name, -udp", udp, None, dc, None),
            ("SRV, ticket, the DC records", [], None, dc, {msdcs: records}),
            ("SRV, user and password, the domain's records", self.admin, None, dc, {plain: records}),
            ("SRV, simple, the DC records first", simple, None, dc, {msdcs: records[1:], plain: records[:1]}),
        ]
        for name, args, uri, named, srv in rows:
            with self.subTest(name):
                if "-b" not in args:
                    args = args + ["-b", ENV["QUELBY_TEST_OU_DN"], "-f", "(objectClass=user)", "cn", "objectSid"]
                expected = run(["-h", named] + args, env=self.env(), timeout=120)
                self.assertEqual(expected.code, 0, expected)
                env = self.env(**({"LDAPURI": uri} if uri else {}))
                if srv is None:
                    got = run_as_member([BIN] + args, env=env, hosts=["%s %s" % (self.ip, self.domain)])
                else:
                    with DnsResponder(self.ip, srv) as dns:
                        got = run_as_member([BIN] + args, env=env, nameserver=self.ip)
                    self.assertIn((self.domain, 1), dns.asked)  # the domain's name first
                    self.assertIn((msdcs, 33), dns.asked)
                self.assertEqual((got.returncode, got.stderr.count("Error 0x")), (0, 0), got)
                # "Using server:" shows the port setting, not the port connected to.
                out, want = (re.sub(r"^Using server: .*\n", "", t, flags=re.M) for t in (got.stdout, expected.out))
                self.assertEqual(out, want)
                self.assertGreater(self.count(out), 0)

    def test_dns_that_does_not_answer_is_asked_once(self):
        # The domain's name goes unanswered (the resolver's time: 2 s); the
        # SRV records are not asked for, and the run goes on to localhost.
        with DnsResponder(self.ip, None) as dns:
            got = run_as_member([BIN, "-t", "5", "-b", self.base, "-s", "base"], env=self.env(),
                                nameserver=self.ip)
        self.assertIn((self.domain, 1), dns.asked, got)
        self.assertNotIn(33, [qtype for _, qtype in dns.asked], got)


if __name__ == "__main__":
    unittest.main()
