"""One search over every transport quelby reads replies through: plain LDAP, LDAPS,
and negotiated binds with a signing and with a sealing security layer. The replies
are read from the socket in large blocks underneath TLS and SASL, so every
transport must give the same entries, byte for byte, across many small pages."""

import unittest

from driver_testlib import base_env, run
from search_testlib import ENV, ServerTestCase


class SearchTransports(ServerTestCase):
    def search(self, *extra):
        env = base_env(LDAPTLS_CACERT=ENV["QUELBY_TEST_CA"])
        # Small pages: many page ends, each one the last message of its page.
        r = run(["-h", self.dc] + list(extra) +
                ["-ps", "7", "-b", self.base, "-f", "(objectClass=*)",
                 "objectClass", "objectSid", "member", "whenCreated"],
                env=env, timeout=180)
        self.assertEqual(r.code, 0, r)
        return r.out

    def test_every_transport_gives_the_same_entries(self):
        simple = ["-simple", "-u", ENV["QUELBY_TEST_ADMIN_DN"], "-up", ENV["QUELBY_TEST_ADMIN_PASSWORD"]]
        plain = self.search(*simple)
        self.assertGreater(self.count(plain), 100)
        self.assertEqual(self.search("-ssl", *simple), plain)
        self.assertEqual(self.search(*self.admin), plain)               # negotiated, signed
        self.assertEqual(self.search("-kerbenc", *self.admin), plain)   # negotiated, sealed
        self.assertEqual(self.search("-ssl", *self.admin), plain)       # negotiated over TLS


if __name__ == "__main__":
    unittest.main()
