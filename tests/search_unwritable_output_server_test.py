"""Output that cannot be written ends the run with its own exit code; a pipe
closed by its reader ends it quietly; a standard descriptor closed at start is
never the connection to the server."""

import os
import signal
import socket
import subprocess
import threading
import unittest

from driver_testlib import BIN, base_env
from search_testlib import BANNER, ServerTestCase, run

MESSAGE = "ERROR: Couldn't write to standard output: No space left on device\n"
UNWRITABLE = 254
CLOSED = "ERROR: Couldn't write to standard output: Bad file descriptor\n"
REQUESTS = {0x60, 0x42, 0x63, 0x66, 0x68, 0x4A, 0x6C, 0x6E, 0x50, 0x77}  # LDAP request tags


def tlv(tag, content):
    n = len(content)
    return bytes([tag]) + (bytes([n]) if n < 0x80 else b"\x82" + n.to_bytes(2, "big")) + content


def ldap_requests(data):
    """(message id, request tag) of each whole LDAP request from the start of data,
    and the offset of the first byte that is not part of one."""
    def element(i, end):  # tag, content start and content end of the BER element at i
        if i + 2 > end:
            return None
        long_form = data[i + 1] & 0x80
        start = i + 2 + (data[i + 1] & 0x7F if long_form else 0)
        size = int.from_bytes(data[i + 2:start], "big") if long_form else data[i + 1]
        return (data[i], start, start + size) if start + size <= end else None
    found, i = [], 0
    while (message := element(i, len(data))) and message[0] == 0x30:
        msgid = element(message[1], message[2])
        op = msgid and msgid[0] == 0x02 and element(msgid[2], message[2])
        if not op or op[0] not in REQUESTS:
            break
        found.append((data[msgid[1]:msgid[2]], op[0]))
        i = message[2]
    return found, i


class ScriptedServer:
    """One connection on 127.0.0.1: a bind is answered with success, every search
    with one entry and success. Keeps every byte received, and what the client's
    descriptors 0, 1 and 2 are while it waits for its bind's answer; ends the
    connection at anything that is not an LDAP request."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(120)
        self.port = self.listener.getsockname()[1]
        self.received, self.standard, self.pid = b"", [], None
        self.started = threading.Event()  # set once pid is the client's
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        done = tlv(0x0A, b"\0") + tlv(0x04, b"") + tlv(0x04, b"")
        entry = tlv(0x64, tlv(0x04, b"cn=x") + tlv(0x30, tlv(0x30, tlv(0x04, b"cn") + tlv(
            0x31, tlv(0x04, b"x" * 64)))))
        answers = {0x60: [tlv(0x61, done)], 0x63: [entry, tlv(0x65, done)]}
        answered = 0
        try:
            with self.listener.accept()[0] as conn:
                while data := conn.recv(65536):
                    self.received += data
                    found, end = ldap_requests(self.received)
                    for msgid, op in found[answered:]:
                        if op == 0x60 and self.started.wait(60):
                            self.standard += [os.readlink(f) for f in (
                                "/proc/%d/fd/%d" % (self.pid, fd) for fd in (0, 1, 2))
                                if os.path.lexists(f)]
                        conn.sendall(b"".join(tlv(0x30, tlv(0x02, msgid) + answer)
                                              for answer in answers.get(op, [])))
                    answered = len(found)
                    if self.received[end:end + 1] not in (b"", b"0"):
                        break
        except OSError:
            pass


class UnwritableOutput(ServerTestCase):
    def launch(self, sink, args):
        """Standard output to /dev/full, or into head -1 (SIGPIPE as it comes, or ignored)."""
        if sink == "full":
            with open("/dev/full", "w") as full:
                proc = subprocess.run([BIN] + args, stdout=full, stderr=subprocess.PIPE,
                                      text=True, env=base_env(), timeout=120)
            return proc.returncode, proc.stderr
        ignore = (lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN)) if sink == "ignored" else None
        proc = subprocess.run(["bash", "-o", "pipefail", "-c", '"$0" "$@" | head -1 >/dev/null', BIN]
                              + args, stderr=subprocess.PIPE, text=True, env=base_env(),
                              timeout=120, preexec_fn=ignore)
        return proc.returncode, proc.stderr

    def test_output_that_cannot_be_written(self):
        people = ["-h", self.slapd, "-u", "", "-b", self.people, "cn", "mail"]  # far past a buffer
        one = ["-h", self.dc] + self.admin + ["-b", self.user_dn, "-s", "base", "cn"]  # fits one
        cases = [  # (standard output, switches, exit code): the message is said with UNWRITABLE
            ("full", people, UNWRITABLE), ("full", people + ["-list"], UNWRITABLE),
            ("full", people + ["-csv", ""], UNWRITABLE), ("full", people + ["-dn"], UNWRITABLE),
            ("full", people + ["-c"], UNWRITABLE), ("full", one, UNWRITABLE),
            ("full", one + ["-csv", ""], UNWRITABLE), ("full", one + ["-c", "-stats"], UNWRITABLE),
            ("full", ["-decutc", "0"], UNWRITABLE), ("full", ["-?"], UNWRITABLE),
            ("head", people, 128 + signal.SIGPIPE), ("ignored", people, 0),
        ]
        for sink, args, code in cases:
            with self.subTest(sink=sink, args=" ".join(args[-4:])):
                got, err = self.launch(sink, args)
                self.assertEqual(got, code, err)
                self.assertEqual(err.count(MESSAGE), 1 if code == UNWRITABLE else 0, err)
                self.assertNotIn("standard output", err.replace(MESSAGE, ""), err)

    def test_the_run_stops_at_the_failure(self):
        # A whole-domain search meets a continuation reference that cannot be
        # followed only at its end, and says so on standard error; a run that
        # stops at its first unwritable page never gets there.
        domain = ["-h", self.dc] + self.admin + ["-b", self.base, "-ps", "100", "cn"]
        warning = "WARN: Referral not followed"
        if warning not in run(domain, timeout=120).err:
            self.skipTest("the domain's continuation references can be followed here")
        code, err = self.launch("full", domain)
        self.assertEqual(code, UNWRITABLE, err)
        self.assertNotIn(warning, err)

    def test_a_closed_standard_descriptor_is_never_the_connection(self):
        cases = [  # (quelby's redirections, SIGPIPE ignored, exit code, standard error)
            (">&-", False, UNWRITABLE, BANNER + CLOSED), (">&-", True, UNWRITABLE, BANNER + CLOSED),
            ("<&-", False, 0, BANNER), (">/dev/full 2>&-", False, UNWRITABLE, ""),
        ]
        for redirections, ignored, code, err in cases:
            with self.subTest(redirections=redirections, ignored=ignored):
                server = ScriptedServer()
                self.addCleanup(server.listener.close)
                script = ('trap "" PIPE; ' if ignored else "") + 'exec "$@" ' + redirections
                proc = subprocess.Popen(
                    ["sh", "-c", script, "sh", BIN, "-h", "127.0.0.1", "-p", str(server.port),
                     "-simple", "-u", "cn=x", "-up", "y", "-b", "dc=x", "-t", "10"],
                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                    text=True, env=base_env())
                server.pid = proc.pid
                server.started.set()
                self.assertEqual((proc.communicate(timeout=120)[1], proc.returncode), (err, code))
                server.thread.join(120)  # the connection ends with the process
                self.assertFalse(server.thread.is_alive())
                found, end = ldap_requests(server.received)
                self.assertEqual(end, len(server.received), server.received[end:end + 200])
                self.assertIn(0x63, [op for _, op in found])
                self.assertEqual(len(server.standard), 3, server.standard)  # all open
                self.assertNotIn("socket", " ".join(server.standard), server.standard)


if __name__ == "__main__":
    unittest.main()
