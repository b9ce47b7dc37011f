"""The test DC as a domain member sees it: the domain's name resolves to the DC
(a private mount namespace adds it to /etc/hosts). The DC writes its references
without a scope part and under the domain's name; a subtree search of the domain
root chases them, bound as the main connection is bound, and finds every object
of the domain, configuration and schema partitions, each searched directly,
whether the DC is named by its own name, its address or the domain's name, or
not named at all."""

import os
import re
import unittest

from domain_member import MemberTestCase, run_as_member
from search_testlib import ENV


class DomainMember(MemberTestCase):
    def member_run(self, args, dc_ip=None, **ldap_env):
        # No LDAP settings but those given: without -h, the domain's DC is the default.
        env = {k: v for k, v in os.environ.items() if k not in ("LDAPURI", "LDAPHOST", "LDAPCONF", "LDAPRC")}
        env.update(ldap_env)
        return run_as_member([ENV["QUELBY_BIN"]] + args, env=env, hosts=["%s %s" % (dc_ip or self.ip, self.domain)])

    def found(self, proc, what, ntlm=False):
        self.assertEqual(proc.returncode, 0, "%s: %s%s" % (what, proc.stdout[-800:], proc.stderr))
        # Without Kerberos the bind says so once, and binds by NTLM; so do the chases.
        kerberos = r"^WARN: Kerberos could not be used: .*\n"
        err = re.sub(kerberos, "", proc.stderr, count=1, flags=re.M) if ntlm else proc.stderr
        self.assertNotIn("WARN", proc.stdout + err, what)
        m = re.search(r"\n(\d+) Objects returned\n", proc.stdout)
        self.assertIsNotNone(m, "%s: %s" % (what, proc.stdout[-800:]))
        return int(m.group(1))

    def test_a_search_of_the_domain_root_reaches_every_partition_under_every_bind(self):
        partitions = [self.base, "CN=Configuration," + self.base, "CN=Schema,CN=Configuration," + self.base]
        each = [self.found(self.member_run(["-h", self.dc, "-nr", "-b", b, "-c"]), b) for b in partitions]
        self.assertTrue(all(n > 0 for n in each), each)
        simple = ["-simple", "-u", ENV["QUELBY_TEST_ADMIN_DN"], "-up", ENV["QUELBY_TEST_ADMIN_PASSWORD"]]
        rows = [
            ("simple bind", ["-h", self.dc] + simple),
            ("user and password", ["-h", self.dc] + self.admin),
            ("ticket", ["-h", self.dc]),
            ("ticket, sealed", ["-h", self.dc, "-kerbenc"]),
            ("user and password, sealed", ["-h", self.dc, "-kerbenc"] + self.admin),
            ("DC named by its address", ["-h", self.ip]),
            ("domain's name, ticket", ["-h", self.domain]),
            ("domain's name, user and password", ["-h", self.domain] + self.admin),
            ("default server, ticket", []),
            ("default server, user and password", self.admin),
            ("default server, simple bind", simple),
            ("default server from LDAPURI, ticket", [], {"LDAPURI": "ldap://" + self.dc}),
            ("user and password without Kerberos", ["-h", self.dc] + self.admin, {"KRB5_CONFIG": "/dev/null"}),
        ]
        for what, args, *ldap_env in rows:
            with self.subTest(what):
                env = ldap_env[0] if ldap_env else {}
                proc = self.member_run(args + ["-b", self.base, "-c"], **env)
                self.assertEqual(self.found(proc, what, "KRB5_CONFIG" in env), sum(each))

    def test_without_kerberos_a_dc_at_samba_defaults_is_searched_whole_by_ntlm(self):
        # Simple binds without TLS are refused there: every bind, the chases' too, is NTLM.
        ip = ENV.get("QUELBY_TEST_DEFAULTS_DC_IP")
        if not ip:
            self.skipTest("no DC at Samba's defaults (QUELBY_TEST_DEFAULTS_DC_IP)")
        partitions = [self.base, "CN=Configuration," + self.base, "CN=Schema,CN=Configuration," + self.base]
        args = ["-h", self.domain] + self.admin + ["-c"]
        each = [self.found(self.member_run(args + ["-nr", "-b", b], ip, KRB5_CONFIG="/dev/null"), b, True)
                for b in partitions]
        self.assertTrue(all(n > 0 for n in each), each)
        whole = self.member_run(args + ["-b", self.base], ip, KRB5_CONFIG="/dev/null")
        self.assertEqual(self.found(whole, "the domain root", True), sum(each))

    def test_a_chase_over_tls_to_a_name_the_certificate_lacks_says_what_a_direct_connection_says(self):
        # The references name the domain, which the DC's certificate does not.
        tls = {"LDAPTLS_CACERT": ENV["QUELBY_TEST_CA"]}
        direct = self.member_run(["-ssl", "-h", self.domain, "-b", self.base, "-s", "base"], **tls)
        reason = re.search(r"(?m)^ERROR: TLS: (.*)$", direct.stderr)
        self.assertIsNotNone(reason, direct.stderr)
        for what, args in (("ticket", []), ("user and password", self.admin), ("simple bind", ["-simple", "-u", ENV["QUELBY_TEST_ADMIN_DN"], "-up", ENV["QUELBY_TEST_ADMIN_PASSWORD"]])):
            with self.subTest(what):
                proc = self.member_run(["-ssl", "-h", self.dc, "-b", self.base, "-c"] + args, **tls)
                self.assertEqual(proc.returncode, 0, proc.stderr)
                warns = re.findall(r"(?m)^WARN: Referral not followed \(Server Down; TLS: (.*)\), its entries", proc.stderr)
                self.assertTrue(warns, proc.stderr)
                self.assertEqual(set(warns), {reason.group(1)}, proc.stderr)


if __name__ == "__main__":
    unittest.main()
