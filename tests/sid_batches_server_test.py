"""SID names looked up in batches against the lookups one by one: quelby's whole
output (standard output and exit code) must be the output of quelby_sids_one_by_one,
byte for byte, wherever the DC holds a SID in more than one way (well-known
principals, BUILTIN groups, foreign principals, deleted objects, sIDHistory)."""

import itertools
import os
import subprocess
import unittest

from driver_testlib import base_env
from search_testlib import ENV, ServerTestCase

ONE_BY_ONE_BIN = os.environ.get("QUELBY_ONE_BY_ONE_BIN", "")
MODES = ("-resolvesids", "-resolvesidsldap")


class SidBatchesTest(ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not ONE_BY_ONE_BIN or not ENV.get("QUELBY_TEST_SIDS_OU_DN"):
            raise unittest.SkipTest("no quelby_sids_one_by_one, or servers without OU=QSids")
        cls.sids_ou = ENV["QUELBY_TEST_SIDS_OU_DN"]

    def output(self, binary, args):
        proc = subprocess.run([binary, "-h", self.dc] + self.admin + args, capture_output=True,
                              env=base_env(), stdin=subprocess.DEVNULL, timeout=300)
        return proc.returncode, proc.stdout

    def test_outputs_with_batches_are_those_of_the_lookups_one_by_one(self):
        fsp = "CN=ForeignSecurityPrincipals," + self.base
        qsids = ["-b", self.sids_ou]
        # Switches, then what each mode must name somewhere in the output (so that
        # names were looked up at all).
        cases = [
            (["-b", fsp, "objectSid"], ["NT AUTHORITY\\Authenticated Users"] * 2),
            (["-sc", "whoami"], ["QUELBY\\Domain Admins", "CN=Domain Admins,CN=Users,"]),
            (qsids + ["-f", "(objectClass=user)", "objectSid", "sIDHistory"],
             ["QUELBY\\qsidtwice", "CN=QSid Twice,"]),
            (["-b", "CN=Deleted Objects," + self.base, "-showdel", "objectSid"], ["", ""]),
            (["-owneronly"] + qsids, ["QUELBY\\qsidholder", "CN=QSid Holder,"]),
        ]
        for level in ("-sddc", "-sddc+", "-sddc++"):
            cases.append((qsids + ["-s", "base", level, "nTSecurityDescriptor"],
                          ["QUELBY\\qsidholder", "CN=QSid Holder,"]))
            cases.append((qsids + ["-ps", "2", level, "nTSecurityDescriptor", "objectSid"],
                          ["QUELBY\\qsidtwice", "CN=QSid Twice,"]))
        for args, names in cases:
            for mode, name in zip(MODES, names):
                with self.subTest(args=args, mode=mode):
                    code, out = self.output(ENV["QUELBY_BIN"], args + [mode])
                    alone_code, alone_out = self.output(ONE_BY_ONE_BIN, args + [mode])
                    self.assertEqual(code, 0, out[-2000:])
                    self.assertTrue(name.encode() in out, "%s not named" % name)
                    self.assertEqual((code, out.decode(errors="replace")),
                                     (alone_code, alone_out.decode(errors="replace")))

    def test_a_sid_held_in_one_history_alone_is_named_after_its_holder(self):
        holder = ENV["QUELBY_TEST_DOMAIN"] + "\\qsidhistory"
        ou = ["-b", self.sids_ou, "-s", "base", "nTSecurityDescriptor"]
        cases = [(["-b", ENV["QUELBY_TEST_SIDS_HISTORY_DN"], "-s", "base", "sIDHistory"], ">sIDHistory: %s\n"),
                 (ou + ["-sddc"], "(A;;RP;;;%s)"), (ou + ["-sddc+"], "[DACL] A;;RP;;;%s\n"),
                 (ou + ["-sddc++"], "[DACL] ALLOW;;[READ PROP];;;%s\n")]
        for (args, line), mode, binary in itertools.product(cases, MODES, (ENV["QUELBY_BIN"], ONE_BY_ONE_BIN)):
            with self.subTest(args=args, mode=mode, binary=binary):
                out = self.output(binary, args + [mode])[1]
                self.assertTrue((line % holder).encode() in out, "%s not named" % holder)
                self.assertFalse(ENV["QUELBY_TEST_SIDS_HISTORY_ONLY_SID"].encode() in out, "printed as a SID")


if __name__ == "__main__":
    unittest.main()
