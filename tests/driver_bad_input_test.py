"""Bad input on the command line: numeric switches, delimiters, DN lists,
missing base, and the switch-error paths of the settings phases."""

import unittest

from driver_testlib import DriverTestCase, run

# An address on which nothing listens, whatever port a switch picks (the test
# servers may be on 127.0.0.1).
NO_SERVER = ["-h", "127.0.0.254:9"]


class NumericSwitchTest(DriverTestCase):
    def query(self, *args):
        return run(["-q", "-b", "dc=x"] + list(args) + NO_SERVER)

    def test_page_size_must_be_positive(self):
        for value in ("0", "-5", "abc", "12x", "99999999999"):
            r = self.query("-ps", value)
            self.assertUsageError(r, "ERROR:\nERROR: Page size (-ps) must be ")
            self.assertIn("[%s]" % value, r.out)
        r = run(["-q", "-b", "dc=x", "-ps"] + NO_SERVER[:0])
        self.assertUsageError(r, "Page size (-ps) must be a positive number")
        self.assertReachedDirectory(self.query("-ps", "1"))

    def test_negative_limits_are_refused(self):
        for switch, label in (("-t", "Time limit (-t)"), ("-maxe", "Maximum entries (-maxe)"),
                              ("-p", "Port (-p)")):
            r = self.query(switch, "-1")
            self.assertUsageError(r, label + " must be 0 or more: [-1]")
            r = self.query(switch, "ten")
            self.assertUsageError(r, label + " must be a number: [ten]")
            self.assertReachedDirectory(self.query(switch, "0"))
            self.assertReachedDirectory(self.query(switch, "30"))

    def test_ports_out_of_range_are_refused(self):
        r = self.query("-p", "65536")
        self.assertUsageError(r, "Port (-p) must be at most 65535: [65536]")
        self.assertReachedDirectory(self.query("-p", "65535"))
        for host in ("127.0.0.1:abc", "127.0.0.1:-5", "127.0.0.1:9999999", "127.0.0.1: 9"):
            r = run(["-q", "-b", "dc=x", "-h", host])
            self.assertUsageError(r, "Port in host:port (-h) must be a number from 0 to 65535: [%s]" % host)
        for host in ("127.0.0.254:9", "127.0.0.254:"):
            self.assertReachedDirectory(run(["-q", "-b", "dc=x", "-h", host]))

    def test_error_block_layout(self):
        r = self.query("-t", "-3")
        self.assertEqual(r.out, "\nERROR:\nERROR: Time limit (-t) must be 0 or more: [-3]\nERROR:\n\n"
                                "Type Quelby /help or Quelby /? for usage assistance.\n\n")


class BaseTest(DriverTestCase):
    def test_missing_base(self):
        r = run(["-q", "-f", "(cn=x)", "cn"])
        self.assertEqual(r.out, "\nERROR:\nERROR: No BASE or special base specified\nERROR:\n\n"
                                "Type Quelby /help or Quelby /? for usage assistance.\n\n")
        self.assertEqual(r.code, 1)

    def test_empty_base_and_special_bases_are_accepted(self):
        self.assertReachedDirectory(run(["-q", "-b"] + NO_SERVER))
        for special in ("-schema", "-config", "-default", "-domain", "-root", "-null"):
            self.assertReachedDirectory(run(["-q", special] + NO_SERVER))


class CountAndDnListTest(DriverTestCase):
    def test_count_with_dn_lists_is_refused(self):
        for switch in ("excldn", "incldn"):
            r = run(["-q", "-c", "-b", "dc=x", "-" + switch, "ou=a"] + NO_SERVER)
            self.assertUsageError(r, "\nERROR:\nERROR: Can not combine -c and -%s\nERROR:\n\n" % switch)

    def debug_pieces(self, args, label):
        r = run(["-q", "-d", "-b", "dc=x"] + args + NO_SERVER)
        self.assertReachedDirectory(r)
        return [line[len(label):] for line in r.out.split("\n") if line.startswith(label)]

    def test_dn_list_pieces_lower_cased(self):
        self.assertEqual(self.debug_pieces(["-excldn", "OU=A;ou=B"], "DEBUG: Exclude DN: "),
                         ["ou=a", "ou=b"])
        self.assertEqual(self.debug_pieces(["-incldn", "OU=A|X", "-incldndelim", "|"],
                                           "DEBUG: Include DN: "), ["ou=a", "x"])

    def test_empty_texts_in_dn_lists_match_nothing(self):
        self.assertEqual(self.debug_pieces(["-excldn", ";ou=a;;ou=b;"], "DEBUG: Exclude DN: "),
                         ["ou=a", "ou=b"])
        self.assertEqual(self.debug_pieces(["-incldn", ";"], "DEBUG: Include DN: "), [])

    def test_empty_delimiter_makes_no_cut(self):
        self.assertEqual(self.debug_pieces(["-excldn", "ou=a;ou=b", "-excldndelim", ""],
                                           "DEBUG: Exclude DN: "), ["ou=a;ou=b"])
        self.assertEqual(self.debug_pieces(["-incldn", "ou=a", "-incldndelim"],
                                           "DEBUG: Include DN: "), ["ou=a"])

    def test_tab_delimiter_escape(self):
        self.assertEqual(self.debug_pieces(["-excldn", "ou=a\tou=b", "-excldndelim", "\\t"],
                                           "DEBUG: Exclude DN: "), ["ou=a", "ou=b"])


class ValueFilterTest(DriverTestCase):
    def tokens(self, args):
        r = run(["-q", "-d", "-b", "dc=x"] + args + NO_SERVER)
        self.assertReachedDirectory(r)
        return [line for line in r.out.split("\n") if line.startswith("     toks1[0]= ")]

    def test_items_and_delimiters(self):
        self.assertEqual(self.tokens(["-mvfilter", "ProxyAddresses=SMTP;a=b=c"]),
                         ["     toks1[0]= proxyaddresses     toks1[1]= smtp",
                          "     toks1[0]= a     toks1[1]= b=c"])
        self.assertEqual(self.tokens(["-mvfilter", "A=X", "-mvfiltercs"]),
                         ["     toks1[0]= A     toks1[1]= X"])
        self.assertEqual(self.tokens(["-mvfilter", "a=1|b=2", "-mvfilterdelim", "|"]),
                         ["     toks1[0]= a     toks1[1]= 1", "     toks1[0]= b     toks1[1]= 2"])

    def test_empty_delimiter_makes_no_cut(self):
        self.assertEqual(self.tokens(["-mvfilter", "a=1;b=2", "-mvfilterdelim", ""]),
                         ["     toks1[0]= a     toks1[1]= 1;b=2"])


class CredentialsTest(DriverTestCase):
    def test_star_password_is_prompted_without_echo(self):
        r = run(["-q", "-b", "dc=x", "-u", "me", "-up", "*"] + NO_SERVER, stdin="ab\bc\n")
        self.assertTrue(r.out.startswith("Enter Password: ..\b \b.\n"), r)
        self.assertNotIn("abc", r.out)
        self.assertReachedDirectory(r)

    def test_abandoned_prompt_goes_on(self):
        r = run(["-q", "-b", "dc=x", "-up", "*"] + NO_SERVER, stdin="\x1b")
        self.assertTrue(r.out.startswith("Enter Password: \n"), r)
        self.assertReachedDirectory(r)

    def test_numbers_are_checked_before_the_prompt(self):
        for args, message in ((["-ps", "0"], "Page size (-ps) must be a positive number: [0]"),
                              (["-t", "x"], "Time limit (-t) must be a number: [x]"),
                              (["-maxe", "-2"], "Maximum entries (-maxe) must be 0 or more: [-2]"),
                              (["-p", "70000"], "Port (-p) must be at most 65535: [70000]")):
            r = run(["-q", "-b", "dc=x", "-u", "me", "-up", "*"] + args + NO_SERVER, stdin="pw\n")
            self.assertUsageError(r, message)
            self.assertNotIn("Enter Password", r.out)
        r = run(["-q", "-b", "dc=x", "-u", "me", "-up", "*", "-h", "127.0.0.1:x"], stdin="pw\n")
        self.assertUsageError(r, "Port in host:port (-h) must be a number from 0 to 65535")
        self.assertNotIn("Enter Password", r.out)

    def test_other_passwords_are_literal(self):
        r = run(["-q", "-b", "dc=x", "-up", "**"] + NO_SERVER, stdin="x\n")
        self.assertNotIn("Enter Password", r.out)


class OtherSettingsTest(DriverTestCase):
    def test_ace_filter_slots(self):
        r = run(["-q", "-d", "-b", "dc=x", "-sddlfilter", ";inherited"] + NO_SERVER)
        self.assertIn("DEBUG: SDDL Filter strings: 1\nDEBUG:     0] \nDEBUG:     1] inherited\n"
                      "DEBUG:     2] \nDEBUG:     3] \nDEBUG:     4] \nDEBUG:     5] \n", r.out)
        r = run(["-q", "-d", "-b", "dc=x", "-sddlnotfilter", "a;b;c;d;e;f;g"] + NO_SERVER)
        self.assertIn("DEBUG: SDDL NOT Filter strings: 6\n", r.out)
        self.assertIn("DEBUG:     5] f;g\n", r.out)

    def test_stats_on_base_scope_warns(self):
        for args in (["-s", "Base", "-stats+only"], ["-asq", "member", "-stats"]):
            r = run(["-q", "-b", "dc=x"] + args + NO_SERVER)
            self.assertIn("WARN: STATS not available on BASE query.\n", r.out)
            self.assertReachedDirectory(r)
        r = run(["-q", "-b", "dc=x", "-s", "onelevel", "-stats"] + NO_SERVER)
        self.assertNotIn("WARN", r.out)

    def test_gc_overrides_port(self):
        r = run(["-q", "-b", "dc=x", "-gc", "-h", "127.0.0.254:5000"])
        self.assertTrue(r.out.startswith("Overriding Port parameter with GC Port"), r)
        r = run(["-q", "-b", "dc=x", "-gc", "-h", "127.0.0.254"])
        self.assertNotIn("Overriding", r.out)


if __name__ == "__main__":
    unittest.main()
