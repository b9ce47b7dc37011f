"""One search over every transport quelby reads replies through: plain LDAP, LDAPS,
and negotiated binds with a signing and with a sealing security layer. The replies
are read from the socket in large blocks underneath TLS and SASL, so every
transport must give the same entries, byte for byte, across many small pages, also
when the DC's bytes come cut into pieces of a few bytes (messages, TLS records and
SASL packets cut at every byte)."""

import itertools
import re
import socket
import threading
import time
import unittest

from driver_testlib import base_env, run
from search_testlib import ENV, ServerTestCase


class CuttingRelay:
    """Relays each client to a port of the DC; the DC's bytes go on in pieces of
    1 to 7 bytes, each sent alone, with a pause now and then."""

    def __init__(self, port):
        self.to = (ENV["QUELBY_TEST_IP"], port)
        self.listener = socket.create_server((ENV["QUELBY_TEST_IP"], 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            client, _ = self.listener.accept()
            client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            server = socket.create_connection(self.to)
            threading.Thread(target=self.copy, args=(client, server, False), daemon=True).start()
            threading.Thread(target=self.copy, args=(server, client, True), daemon=True).start()

    @staticmethod
    def copy(src, dst, cut):
        sizes = itertools.cycle([1, 2, 3, 4, 5, 6, 7])
        try:
            while data := src.recv(65536):
                while data:
                    n = next(sizes) if cut else len(data)
                    dst.sendall(data[:n])
                    data = data[n:]
                    if cut and n == 7:
                        time.sleep(0.0002)
            dst.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class SearchTransports(ServerTestCase):
    def search(self, *extra, host=None, base=None):
        env = base_env(LDAPTLS_CACERT=ENV["QUELBY_TEST_CA"])
        # Small pages: many page ends, each one the last message of its page.
        r = run(["-h", host or self.dc] + list(extra) +
                ["-ps", "7", "-b", base or self.base, "-f", "(objectClass=*)",
                 "objectClass", "objectSid", "member", "whenCreated"],
                env=env, timeout=180)
        self.assertEqual(r.code, 0, r)
        return re.sub(r"^Using server: .*\n", "", r.out, flags=re.M)

    def test_every_transport_gives_the_same_entries(self):
        simple = ["-simple", "-u", ENV["QUELBY_TEST_ADMIN_DN"], "-up", ENV["QUELBY_TEST_ADMIN_PASSWORD"]]
        plain = self.search(*simple)
        self.assertGreater(self.count(plain), 100)
        self.assertEqual(self.search("-ssl", *simple), plain)
        self.assertEqual(self.search(*self.admin), plain)               # negotiated, signed
        self.assertEqual(self.search("-kerbenc", *self.admin), plain)   # negotiated, sealed
        self.assertEqual(self.search("-ssl", *self.admin), plain)       # negotiated over TLS
        # Cut replies, SID lookups among them, on a smaller subtree.
        users = ["-resolvesids"]
        plain = self.search(*simple, *users, base="CN=Users," + self.base)
        self.assertGreater(self.count(plain), 10)
        for port, extra in ((389, simple), (636, ["-ssl"] + simple), (389, self.admin),
                            (389, ["-kerbenc"] + self.admin)):
            with self.subTest(cut=extra[0]):
                relay = CuttingRelay(port)
                self.assertEqual(self.search(*extra, *users, host="%s:%d" % (self.dc, relay.port),
                                             base="CN=Users," + self.base), plain)


if __name__ == "__main__":
    unittest.main()
