"""Output that cannot be written ends the run with its own exit code; a pipe
closed by its reader ends it quietly; a standard output closed at start is
never the connection to the server."""

import signal
import subprocess
import unittest

from driver_testlib import BIN, base_env
from scripted_ldap import ScriptedLdapServer, ldap_requests
from search_testlib import BANNER, ServerTestCase, run

MESSAGE = "ERROR: Couldn't write to standard output: No space left on device\n"
UNWRITABLE = 254
CLOSED = "ERROR: Couldn't write to standard output: Bad file descriptor\n"


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

    def test_a_closed_standard_output_is_never_the_connection(self):
        for ignored in (False, True):  # SIGPIPE as it comes, or ignored
            with self.subTest(ignored=ignored):
                server = ScriptedLdapServer()
                self.addCleanup(server.close)
                script = ('trap "" PIPE; ' if ignored else "") + 'exec "$@" >&-'
                proc = subprocess.run(["sh", "-c", script, "sh", BIN, "-h", "127.0.0.1", "-p", str(server.port),
                                       "-simple", "-u", "cn=x", "-up", "y", "-b", "dc=x", "-t", "10"],
                                      stdin=subprocess.DEVNULL, capture_output=True, text=True, env=base_env(),
                                      timeout=120)
                self.assertEqual((proc.stderr, proc.returncode), (BANNER + CLOSED, UNWRITABLE))
                server.close()  # the connection ended with the process
                found, end = ldap_requests(server.received[0])
                self.assertEqual(end, len(server.received[0]), server.received[0][end:end + 200])
                self.assertIn(0x63, [op for _, op, _ in found])


if __name__ == "__main__":
    unittest.main()
