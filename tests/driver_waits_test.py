"""Every wait for the directory ends: a server that accepts and then says
nothing (at the TLS handshake, the bind or the RootDSE read) gives the error
line and a non-zero exit within the time limit (-t)."""

import socket
import threading
import time
import unittest

from driver_testlib import DriverTestCase, run


def message_id(request):
    """The message id of a BER-encoded LDAP message."""
    i = 1
    if request[i] & 0x80:
        i += 1 + (request[i] & 0x7F)
    else:
        i += 1
    length = request[i + 1]
    return int.from_bytes(request[i + 2:i + 2 + length], "big")


def bind_success(msgid):
    body = bytes([0x02, 0x01, msgid, 0x61, 0x07, 0x0A, 0x01, 0x00, 0x04, 0x00, 0x04, 0x00])
    return bytes([0x30, len(body)]) + body


class SilentServer:
    """Accepts one connection; answers the bind when asked to, then reads
    and never answers until closed."""

    def __init__(self, answer_bind, header=False):
        self.answer_bind = answer_bind
        self.header = header  # the first unanswered request gets a tag and a length
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(1)
        self.port = self.sock.getsockname()[1]
        self.stop = False
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        self.sock.settimeout(20)
        try:
            conn, _ = self.sock.accept()
        except OSError:
            return
        conn.settimeout(0.2)
        answered = False
        while not self.stop:
            try:
                data = conn.recv(4096)
            except socket.timeout:
                continue
            except OSError:
                break
            if not data:
                break
            if self.answer_bind and not answered:
                conn.sendall(bind_success(message_id(data)))
                answered = True
            elif self.header:
                conn.sendall(b"\x30\x84\x00\x00\x01\x00")
                self.header = False
        conn.close()

    def close(self):
        self.stop = True
        self.thread.join(5)
        self.sock.close()


class WaitTest(DriverTestCase):
    def query(self, answer_bind, *args, header=False):
        server = SilentServer(answer_bind, header)
        try:
            start = time.monotonic()
            r = run(["-q", "-b", "dc=x", "-t", "2", "-p", str(server.port), "-h", "127.0.0.1"]
                    + list(args))
            return r, time.monotonic() - start
        finally:
            server.close()

    def test_a_bind_without_answer_ends(self):
        for extra in (["-simple", "-u", "cn=x", "-up", "y"], ["-ssl", "-simple", "-u", "cn=x", "-up", "y"]):
            r, seconds = self.query(False, *extra)
            self.assertLess(seconds, 10, extra)
            self.assertIn("LDAP_BIND: [127.0.0.1] Error 0x", r.err, extra)
            self.assertTrue(r.err.endswith("Terminating program.\n"), r)
            self.assertEqual(r.code, 255, r)
        r, _ = self.query(False, "-simple", "-u", "cn=x", "-up", "y")
        self.assertIn("LDAP_BIND: [127.0.0.1] Error 0x55 (85) - Timeout\n", r.err)

    def test_a_rootdse_read_without_answer_ends(self):
        r, seconds = self.query(True, "-simple", "-u", "cn=x", "-up", "y")
        self.assertLess(seconds, 10)
        self.assertIn("LDAP_SEARCH_S: 0x55\n", r.err)
        self.assertTrue(r.err.endswith("ERROR: Couldn't gather RootDSE Info...\nTerminating program.\n"), r)
        self.assertEqual(r.code, 255, r)

    def test_an_answer_cut_after_its_header_ends(self):
        for answer_bind, line in ((False, "LDAP_BIND: [127.0.0.1] Error 0x55 (85) - Timeout\n"),
                                  (True, "LDAP_SEARCH_S: 0x55\n")):
            r, seconds = self.query(answer_bind, "-simple", "-u", "cn=x", "-up", "y", header=True)
            self.assertLess(seconds, 10, line)
            self.assertIn(line, r.err)
            self.assertEqual(r.code, 255, r)


if __name__ == "__main__":
    unittest.main()
