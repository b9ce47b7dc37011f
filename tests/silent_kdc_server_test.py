"""A user and password bind whose KDC swallows every packet (UDP and TCP) falls back to
NTLM with the whole wait limit (-t) for its exchange with the DC, which answers at once:
the time the Kerberos library spends giving up is its own, not the server's. Slow: the
library gives up after its own retries, about 27 s."""

import re
import socket
import tempfile
import unittest

from driver_testlib import base_env, run
from search_testlib import ENV, ServerTestCase


class SilentKdc(ServerTestCase):
    def test_a_kdc_that_never_answers_leaves_ntlm_its_wait(self):
        # UDP and TCP on one port: datagrams are never read, connections never taken.
        tcp = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(tcp.close)
        udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(udp.close)
        udp.bind(tcp.getsockname())
        with open(ENV["KRB5_CONFIG"]) as f:
            conf = re.sub(r"(?m)^\s*udp_preference_limit.*\n", "", f.read())  # UDP first, then TCP
        with tempfile.NamedTemporaryFile("w", suffix=".conf") as f:
            f.write(re.sub(r"(?m)^(\s*kdc\s*=).*$", r"\g<1> 127.0.0.1:%d" % udp.getsockname()[1], conf))
            f.flush()
            r = run(["-t", "3", "-h", self.dc, "-b", self.user_dn, "-s", "base", "cn"] + self.admin,
                    env=base_env(KRB5_CONFIG=f.name), timeout=180)
        self.assertEqual(r.code, 0, r)
        self.assertIn("dn:" + self.user_dn, r.out)
        self.assertRegex(r.err, r"(?m)^WARN: Kerberos could not be used: .*KDC")
        self.assertNotRegex(r.err, r"did not finish|Error 0x")


if __name__ == "__main__":
    unittest.main()
