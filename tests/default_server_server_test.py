"""Without -h, quelby goes where a member of the test domain would: the URI of
OpenLDAP's configuration, else the DC that the domain's name resolves to, else
the DCs of the domain's SRV records. Each run prints what the same run with -h
and the DC's host name prints."""

import re
import unittest

from domain_member import DnsResponder, member_unavailable, run_as_member
from driver_testlib import BIN, base_env, run
from search_testlib import ENV, ServerTestCase


class DefaultServer(ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if member_unavailable():
            raise unittest.SkipTest(member_unavailable())
        cls.ip, cls.domain = ENV["QUELBY_TEST_IP"], ENV["QUELBY_TEST_DNS_DOMAIN"]
        cls.simple = ["-simple", "-u", ENV["QUELBY_TEST_ADMIN_DN"], "-up", ENV["QUELBY_TEST_ADMIN_PASSWORD"]]
        cls.domain_resolves = ["%s %s" % (cls.ip, cls.domain)]

    def env(self, **extra):
        """The test servers' settings (a ticket in KRB5CCNAME, the realm in
        KRB5_CONFIG) and no LDAP settings but those given."""
        env = base_env(LDAPTLS_CACERT=ENV["QUELBY_TEST_CA"], **extra)
        for name in {"LDAPURI", "LDAPHOST", "LDAPCONF", "LDAPRC", "LDAPNOINIT"} - set(extra):
            env.pop(name, None)
        return env

    def assertSameAsNamed(self, args, named=None, hosts=(), nameserver=None, server_line=True, **env):
        """The run without -h prints what the run with -h prints."""
        if "-b" not in args:
            args = args + ["-b", ENV["QUELBY_TEST_OU_DN"], "-f", "(|(objectClass=user)(objectClass=group))",
                           "cn", "objectSid", "memberOf"]
        expected = run(["-h", named or self.dc] + args, env=self.env(), timeout=120)
        self.assertEqual(expected.code, 0, expected)
        got = run_as_member([BIN] + args, env=self.env(**env), hosts=hosts, nameserver=nameserver)
        self.assertEqual(got.returncode, 0, got)
        self.assertNotIn("Error 0x", got.stderr, got)
        out, want = got.stdout, expected.out
        if not server_line:  # it shows the port setting, not the port connected to
            out, want = (re.sub(r"^Using server: .*\n", "", t, flags=re.M) for t in (out, want))
        self.assertEqual(out, want)
        self.assertGreater(self.count(out), 0)

    def test_uri_of_the_ldap_configuration(self):
        dc, slapd = self.dc, "%s:%s" % (self.dc, ENV["QUELBY_TEST_SLAPD_PORT"])
        people = ["-u", "", "-b", ENV["QUELBY_TEST_SLAPD_PEOPLE_DN"], "-f", "(uid=user00000*)", "uid"]
        rows = [
            ("ticket", [], "ldap://" + dc, {}),
            ("simple", self.simple, "ldap://" + dc, {}),
            # The URI's port stands for 389 only; slapd listens on it.
            ("-ssl, a local socket passed over", ["-ssl"] + self.simple, "ldapi:/// ldap://" + slapd, {}),
            ("-p", ["-p", "3268"] + self.simple, "ldap://" + slapd, {}),
            ("-gc", ["-gc"] + self.simple, "ldap://" + dc, {}),
            ("the URI's port", people, "ldap://" + slapd, {"named": slapd, "server_line": False}),
        ]
        for name, args, uri, more in rows:
            with self.subTest(name):
                self.assertSameAsNamed(args, LDAPURI=uri, **more)

    def test_name_of_the_realm_domain(self):
        # -udp opens a second connection, bound as asked, for the preloads.
        udp = ["-udp", "-s", "base", "-b", "", "-f", "(objectClass=*)", "dnsHostName"] + self.simple
        for name, args in (("simple", self.simple), ("user and password", self.admin), ("udp", udp)):
            with self.subTest(name):
                self.assertSameAsNamed(args, hosts=self.domain_resolves)

    def test_name_of_the_realm_domain_with_a_ticket(self):
        self.assertSameAsNamed([], hosts=self.domain_resolves)

    def test_srv_records_of_the_realm_domain(self):
        # The record of lower priority names slapd's port: taken first, the
        # bind would fail there.
        msdcs, plain = "_ldap._tcp.dc._msdcs." + self.domain, "_ldap._tcp." + self.domain
        records = [(10, 100, int(ENV["QUELBY_TEST_SLAPD_PORT"]), self.dc), (0, 5, 389, self.dc)]
        rows = [
            ("ticket, the DC records", [], {msdcs: records}),
            ("user and password, the domain's records", self.admin, {plain: records}),
            ("simple, the DC records first", self.simple, {msdcs: records[1:], plain: records[:1]}),
        ]
        for name, args, srv in rows:
            with self.subTest(name), DnsResponder(self.ip, srv) as dns:
                self.assertSameAsNamed(args, nameserver=self.ip)
                self.assertIn((self.domain, 1), dns.asked)  # the domain's name first
                self.assertIn((msdcs, 33), dns.asked)

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
