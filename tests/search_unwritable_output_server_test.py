"""Output that cannot be written ends the run with its own exit code; a pipe
closed by its reader ends it quietly; a standard descriptor closed at start is
never the connection to the server."""

import os
import signal
import subprocess
import threading
import unittest

from driver_testlib import BIN, base_env
from scripted_ldap import ScriptedLdapServer, default_answer, ldap_requests
from search_testlib import BANNER, ServerTestCase, run

MESSAGE = "ERROR: Couldn't write to standard output: No space left on device\n"
UNWRITABLE = 254
CLOSED = "ERROR: Couldn't write to standard output: Bad file descriptor\n"


class ScriptedServer(ScriptedLdapServer):
    """One connection on 127.0.0.1, answered as a directory would; on the bind it
    also keeps what the client's descriptors 0, 1 and 2 are while the client
    waits for the answer."""

    def __init__(self):
        self.standard, self.pid = [], None
        self.started = threading.Event()  # set once pid is the client's
        super().__init__(answer=self.answer_noting_descriptors)

    def answer_noting_descriptors(self, op, content):
        if op == 0x60 and self.started.wait(60):
            self.standard += [os.readlink(f) for f in ("/proc/%d/fd/%d" % (self.pid, fd) for fd in (0, 1, 2))
                              if os.path.lexists(f)]
        return default_answer(op, content)


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
                self.addCleanup(server.close)
                script = ('trap "" PIPE; ' if ignored else "") + 'exec "$@" ' + redirections
                proc = subprocess.Popen(
                    ["sh", "-c", script, "sh", BIN, "-h", "127.0.0.1", "-p", str(server.port),
                     "-simple", "-u", "cn=x", "-up", "y", "-b", "dc=x", "-t", "10"],
                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                    text=True, env=base_env())
                server.pid = proc.pid
                server.started.set()
                self.assertEqual((proc.communicate(timeout=120)[1], proc.returncode), (err, code))
                server.wait()  # the connection ends with the process
                self.assertEqual(len(server.received), 1)
                found, end = ldap_requests(server.received[0])
                self.assertEqual(end, len(server.received[0]), server.received[0][end:end + 200])
                self.assertIn(0x63, [op for _, op, _ in found])
                self.assertEqual(len(server.standard), 3, server.standard)  # all open
                self.assertNotIn("socket", " ".join(server.standard), server.standard)


if __name__ == "__main__":
    unittest.main()
