"""A user and password bind whose Kerberos gets no answer, from a KDC that swallows every
packet or from a resolver that never answers the lookup for one, falls back to NTLM
with the whole wait limit (-t) for its exchange with the DC, which answers at once:
the time the Kerberos library spends giving up is its own, not the server's. Slow: the
library gives up after its own retries (about 27 s for the KDC, 12 s for the resolver)."""

import contextlib
import re
import socket
import tempfile
import unittest

from domain_member import DnsResponder, MemberTestCase, run_as_member
from driver_testlib import base_env, run
from search_testlib import ENV, ServerTestCase


class Fallback:
    def assertBoundByNtlm(self, code, out, err):
        self.assertEqual(code, 0, err)
        self.assertIn("dn:" + self.user_dn, out)
        self.assertRegex(err, r"(?m)^WARN: Kerberos could not be used: ")
        self.assertNotRegex(err, r"did not finish|Error 0x")

    def argv(self):
        return ["-t", "3", "-h", self.dc, "-b", self.user_dn, "-s", "base", "cn"] + self.admin


class SilentKdc(Fallback, ServerTestCase):
    def test_a_kdc_that_never_answers_leaves_ntlm_its_wait(self):
        # UDP and TCP on one port: datagrams are never read, connections never taken.
        tcp = socket.create_server(("127.0.0.1", 0), backlog=16)
        self.addCleanup(tcp.close)
        port = tcp.getsockname()[1]
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(udp.close)
        udp.bind(("127.0.0.1", port))
        with open(ENV["KRB5_CONFIG"]) as f:
            conf = re.sub(r"(?m)^\s*udp_preference_limit.*\n", "", f.read())  # UDP first, then TCP
        conf = re.sub(r"(?m)^(\s*kdc\s*=).*$", r"\g<1> 127.0.0.1:%d" % port, conf)
        with tempfile.NamedTemporaryFile("w", suffix=".conf") as f:
            f.write(conf)
            f.flush()
            r = run(self.argv(), env=base_env(KRB5_CONFIG=f.name), timeout=180)
        self.assertBoundByNtlm(r.code, r.out, r.err)
        self.assertRegex(r.err, r"(?m)^WARN: Kerberos could not be used: .*KDC")


class SilentResolver(Fallback, MemberTestCase):
    def test_a_resolver_that_never_answers_the_kdc_lookup_leaves_ntlm_its_wait(self):
        # No Kerberos configuration: the KDC is looked for in DNS, which never answers.
        for last in range(150, 200):  # a loopback address whose port 53 is free
            with contextlib.suppress(OSError):
                dns = DnsResponder("127.0.0.%d" % last, None)
                break
        with dns:
            proc = run_as_member([ENV["QUELBY_BIN"]] + self.argv(), env=base_env(KRB5_CONFIG="/dev/null"),
                                 nameserver=dns.sock.getsockname()[0], timeout=180)
        self.assertTrue(any(name.startswith("_kerberos") for name, _ in dns.asked), dns.asked)
        self.assertBoundByNtlm(proc.returncode, proc.stdout, proc.stderr)


if __name__ == "__main__":
    unittest.main()
