"""Shortcuts as the quelby executable runs them, without a server: what the
driver makes of the expanded switches (validation, tokens, refusals)."""

import unittest

from driver_testlib import DriverTestCase, run

# An address on which nothing listens, also on the global-catalog port that some
# shortcuts choose (the test servers may be on 127.0.0.1).
NO_SERVER = ["-h", "127.0.0.254:9"]
SID_544 = "\\01\\02\\00\\00\\00\\00\\00\\05\\20\\00\\00\\00\\20\\02\\00\\00"
GUID_TEXT = "01234567-89ab-cdef-0123-456789abcdef"
GUID_BYTES = "\\67\\45\\23\\01\\ab\\89\\ef\\cd\\01\\23\\45\\67\\89\\ab\\cd\\ef"


def listing(out):
    """The -po listing: (switch lines, attribute lines)."""
    head = out.split("Selected Switches\n", 1)[1]
    switches, rest = head.split("\nSelected Attributes\n", 1)
    attributes = rest.split("\n\n", 1)[0]
    return switches.split("\n"), [a.strip() for a in attributes.split("\n") if a.strip()]


class ShortcutRunTest(DriverTestCase):
    def test_flag_values_become_attributes_at_validation(self):
        r = run(["-q", "-po", "-?", "-sc", "listpropsetsl", "cn"])
        self.assertEqual(r.code, 1, r)
        switches, attributes = listing(r.out)
        self.assertIn("    -list ", switches)
        self.assertIn("    -sort displayName", switches)
        self.assertIn("    -f (validaccesses=48)", switches)
        self.assertEqual(attributes, ["cn", "displayName"])

    def test_sid_and_guid_tokens_are_converted(self):
        r = run(["-sc", "adsid:S-1-5-32-544"] + NO_SERVER)
        self.assertReachedDirectory(r)
        self.assertIn("Transformed Filter: (|(objectsid=%s)(sidhistory=%s))\n"
                      % (SID_544, SID_544), r.out)
        r = run(["-sc", "ADGUID:" + GUID_TEXT.upper(), "-af", "objectclass=user"] + NO_SERVER)
        self.assertReachedDirectory(r)
        self.assertIn("Transformed Filter: (&(|(objectguid=%s)(msExchMailboxGuid=%s))"
                      "(objectclass=user))\n" % (GUID_BYTES, GUID_BYTES), r.out)

    def test_adcsv_line_comes_first_and_csv_refuses_oao(self):
        r = run(["-adcsv", "N/A", "-csvdelim", "\\t", "-u", "me", "-sc", "modes"])
        m = "~~~ADCSV~~~"
        self.assertEqual(r.err, "")  # a CSV run prints no banner
        self.assertUsageError(r)
        self.assertTrue(r.out.startswith(
            m + "N/A" + m + "\t" + m + m + m + m + m + "me" + m + m + m + "\n"
            + "\nERROR: Can not use -oao or -soao with -csv.\n\n"), r)
        # With the csv argument the shortcut sets -csv itself and the run goes on.
        r = run(["-adcsv", "N/A", "-sc", "forestmodes:csv"] + NO_SERVER)
        self.assertReachedDirectory(r)


if __name__ == "__main__":
    unittest.main()
