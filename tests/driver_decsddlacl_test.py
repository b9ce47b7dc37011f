"""The -decsddlacl mode: an ACL given in SDDL rendered at the -sddc++ level
without a directory."""

import unittest

from driver_testlib import DriverTestCase, run

NO_SACL = "[SACL] Not specified in SD or insufficient rights\n"


class DecodeAclModeTest(DriverTestCase):
    def decode(self, value, *extra):
        r = run(["-q", "-decsddlacl", value] + list(extra))
        self.assertEqual(r.code, 0, r)
        return r.out

    def test_edge_cases(self):
        cases = [
            ("bare ACEs are read as a DACL", "(A;;GA;;;BA)(D;CIID;RPWP;;;WD)",
             "[DACL] (FLAGS:)\n[DACL] ALLOW;;[FC];;;BUILTIN\\Administrators\n"
             "[DACL] DENY;[CONT INHERIT][INHERITED];[READ PROP][WRT PROP];;;Everyone\n" + NO_SACL),
            ("a lower-case tag is found and not prefixed", "d:PAI(A;;RPWPCRCCDCLCLORCWOWDSDDTSW;;;SY)",
             "[DACL] (FLAGS:PROTECTED INHERIT)\n[DACL] ALLOW;;[FC];;;NT AUTHORITY\\SYSTEM\n" + NO_SACL),
            ("a SACL alone gets an empty DACL in front", "S:AI(AU;SAFA;WP;;;WD)",
             "[SACL] (FLAGS:INHERIT)\n[SACL] AUDIT;[SUCCESS][FAILURE];[WRT PROP];;;Everyone\n"),
            ("GUIDs stay without a directory; unknown SIDs stay as text",
             "D:(OA;;CR;00299570-246d-11d0-a768-00aa006e0529;;S-1-5-21-1-2-3-4444)",
             "[DACL] (FLAGS:)\n[DACL] OBJ ALLOW;;[CTL];00299570-246d-11d0-a768-00aa006e0529;;"
             "S-1-5-21-1-2-3-4444\n" + NO_SACL),
            ("a hex mask: its coded bits as words, the rest in hex", "(A;;0x100014;;;AU)",
             "[DACL] (FLAGS:)\n[DACL] ALLOW;;[LIST CHILDREN][READ PROP][0x100000];;;"
             "NT AUTHORITY\\Authenticated Users\n" + NO_SACL),
            ("an ACL without ACEs prints its empty line", "D:P", NO_SACL),
        ]
        for name, value, body in cases:
            with self.subTest(name):
                self.assertEqual(self.decode(value), body + "\n")

    def test_later_switches_change_nothing(self):
        # The part and filter switches are read after this mode has ended the run.
        plain = self.decode("(A;;GA;;;BA)")
        self.assertEqual(self.decode("(A;;GA;;;BA)", "-nodacl", "-sddlfilter", "D"), plain)


if __name__ == "__main__":
    unittest.main()
