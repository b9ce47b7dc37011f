"""Running the quelby executable for the whole-program tests of the driver."""

import os
import subprocess
import tempfile
import unittest

BIN = os.environ.get("QUELBY_BIN", "")
USAGE_HINT = "Type Quelby /help or Quelby /? for usage assistance.\n\n"
BANNER = "\nQuelby V01.36.00cpp February 2007\n\n"
# What a run prints once it has passed every check before the connection.
DIRECTORY_PHASE = "Terminating program.\n"


class Result:
    def __init__(self, proc):
        self.out = proc.stdout
        self.err = proc.stderr
        self.code = proc.returncode

    def __repr__(self):
        return "code=%r\nstdout=%r\nstderr=%r" % (self.code, self.out, self.err)


def base_env(**extra):
    """A clean environment: no quelby- variables leak in from outside."""
    env = {k: v for k, v in os.environ.items()
           if not k.lower().startswith("quelby")}
    env.update(extra)
    return env


def run(args, env=None, cwd=None, stdin=None, timeout=30):
    proc = subprocess.run([BIN] + list(args), capture_output=True, text=True,
                          env=env if env is not None else base_env(),
                          cwd=cwd, input=stdin if stdin is not None else "",
                          timeout=timeout, errors="replace")
    return Result(proc)


class DriverTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not BIN or not os.path.exists(BIN):
            raise unittest.SkipTest("QUELBY_BIN does not name the quelby executable")

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory()
        self.tmp = self._tmp.name

    def tearDown(self):
        self._tmp.cleanup()

    def write(self, name, content, mode="w"):
        path = os.path.join(self.tmp, name)
        with open(path, mode) as f:
            f.write(content)
        return path

    def assertUsageError(self, r, message=None):
        """Ended as a switch error: exit code 1, the usage hint last."""
        self.assertEqual(r.code, 1, r)
        self.assertTrue(r.out.endswith(USAGE_HINT), r)
        if message is not None:
            self.assertIn(message, r.out, r)

    def assertReachedDirectory(self, r):
        """Every check passed: the run went on to the directory phases."""
        self.assertEqual(r.code, 255, r)
        self.assertTrue(r.err.endswith(DIRECTORY_PHASE), r)
        self.assertNotIn(USAGE_HINT, r.out, r)
