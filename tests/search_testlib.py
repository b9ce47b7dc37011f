"""Running quelby against the loopback test servers (see scripts/servers)."""

import base64
import os
import re
import subprocess
import unittest

from driver_testlib import BANNER, run  # noqa: F401  (re-exported for the tests)

ENV = os.environ


def server_settings_present():
    return ENV.get("QUELBY_TEST_SERVERS") == "1" and bool(ENV.get("QUELBY_BIN"))


class ServerTestCase(unittest.TestCase):
    """Skips unless the test servers' settings (env.sh) are in the environment."""

    @classmethod
    def setUpClass(cls):
        if not server_settings_present():
            raise unittest.SkipTest("the test servers are not running (source STATEDIR/env.sh)")
        cls.dc = ENV["QUELBY_TEST_DC_HOST"]
        cls.base = ENV["QUELBY_TEST_BASE"]
        cls.ou = ENV["QUELBY_TEST_OU_DN"]
        cls.user_dn = ENV["QUELBY_TEST_USER_DN"]
        cls.admin = ["-u", ENV["QUELBY_TEST_ADMIN_USER"], "-up", ENV["QUELBY_TEST_ADMIN_PASSWORD"]]
        cls.slapd = ENV["QUELBY_TEST_SLAPD_HOST"] + ":" + ENV["QUELBY_TEST_SLAPD_PORT"]
        cls.people = ENV["QUELBY_TEST_SLAPD_PEOPLE_DN"]

    def dc_run(self, *args, timeout=120):
        return run(["-h", self.dc] + self.admin + list(args), timeout=timeout)

    def slapd_run(self, *args, timeout=120):
        # An empty -u binds anonymously.
        return run(["-h", self.slapd, "-u", ""] + list(args), timeout=timeout)

    def assertOk(self, r):
        self.assertEqual(r.code, 0, r)
        self.assertNotIn("Error 0x", r.err, r)

    def dns(self, out):
        return re.findall(r"^dn:(.*)$", out, re.M)

    def count(self, out):
        m = re.search(r"\n(\d+) Objects returned\n", out)
        self.assertIsNotNone(m, out[-500:])
        return int(m.group(1))

    def values(self, out, name):
        return re.findall(r"^>%s: (.*)$" % re.escape(name), out, re.M)

    def ldapsearch_dns(self, base, scope, filt):
        """The DNs another client (OpenLDAP's ldapsearch, simple bind) finds."""
        proc = subprocess.run(
            ["ldapsearch", "-LLL", "-o", "ldif-wrap=no", "-x", "-H", "ldap://" + self.dc,
             "-D", ENV["QUELBY_TEST_ADMIN_DN"], "-w", ENV["QUELBY_TEST_ADMIN_PASSWORD"],
             "-E", "pr=1000/noprompt", "-b", base, "-s", scope, filt, "1.1"],
            capture_output=True, text=True, timeout=120)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        found = []
        for line in proc.stdout.splitlines():
            if line.startswith("dn:: "):  # non-ASCII DNs come base64-encoded
                found.append(base64.b64decode(line[5:]).decode("utf-8"))
            elif line.startswith("dn: "):
                found.append(line[4:])
        return sorted(found)
