"""Help levels, usage hint, version banner, switch validation and the CSV
conflicts of the quelby executable."""

import unittest

from driver_testlib import BANNER, USAGE_HINT, DriverTestCase, run

INDEX_FIRST = "-help         Basic help.\n"
BASIC_FIRST = "           [CONNECTION OPTIONS]\n   -h host:port  Host and port to use. If not specified uses port 389 on\n"
DISCLAIMER_START = "\n\n \n \n \n"


class HelpLevelsTest(DriverTestCase):
    def test_no_argument_prints_banner_and_basic_help(self):
        r = run([])
        self.assertEqual(r.code, 1, r)
        self.assertEqual(r.err, BANNER)
        self.assertTrue(r.out.startswith(INDEX_FIRST), r)
        self.assertIn("Usage:\n Quelby [switches] [-b basedn] [-f filter] [attr list]\n", r.out)
        self.assertIn("  Switches: (designated by - or /)\n\n" + BASIC_FIRST, r.out)
        self.assertIn("           [QUERY OPTIONS]\n", r.out)
        self.assertIn("           [OUTPUT OPTIONS]\n", r.out)
        self.assertIn(DISCLAIMER_START, r.out)
        self.assertNotIn("--------------Advanced--------------", r.out)
        self.assertNotIn(USAGE_HINT, r.out)

    def test_index_has_seventeen_lines(self):
        r = run(["-q", "-?"])
        lines = r.out.split("\n")
        self.assertEqual(lines[16], "", r)
        self.assertEqual(lines[15], "  Switches: (designated by - or /)")
        self.assertEqual(lines[17], BASIC_FIRST.split("\n")[0])

    def test_each_level_prints_its_own_text(self):
        basic = run(["-q", "-help"]).out
        self.assertEqual(run(["-q", "-?"]).out, basic)
        self.assertEqual(run(["-q", "/HELP"]).out, basic)
        advanced = run(["-q", "-??"])
        self.assertEqual(advanced.code, 1)
        self.assertIn("--------------Advanced--------------", advanced.out)
        self.assertIn("[AUTHENTICATION OPTIONS]", advanced.out)
        self.assertIn("[MISC OPTIONS]", advanced.out)
        self.assertIn("Multivalue Filter Notes:", advanced.out)
        self.assertIn("  Ex8:", advanced.out)
        shortcuts = run(["-q", "-????"])
        self.assertIn("   Quelby Shortcuts\n   ================\n", shortcuts.out)
        self.assertIn("   FSMO SHORTCUTS\n", shortcuts.out)
        self.assertEqual(run(["-q", "-sc?"]).out, shortcuts.out)
        meta = run(["-q", "-meta?"])
        self.assertIn("   MetaData Help\n   =============\n", meta.out)
        self.assertIn("msDS-ReplAttributeMetaData", meta.out)
        basic_only = "characters outside US ASCII are passed"
        self.assertIn(basic_only, basic)
        for r in (advanced, shortcuts, meta):
            self.assertEqual(r.code, 1)
            self.assertTrue(r.out.startswith(INDEX_FIRST))
            self.assertTrue(r.out.endswith(basic[basic.index(DISCLAIMER_START):]))
            self.assertNotIn(basic_only, r.out)

    def test_first_help_test_wins(self):
        self.assertEqual(run(["-q", "-help", "-??"]).out, run(["-q", "-?"]).out)
        self.assertEqual(run(["-q", "-??", "-meta?"]).out, run(["-q", "-??"]).out)

    def test_help_with_base_and_filter_searches_nothing(self):
        r = run(["-?", "-b", "dc=x", "-f", "(cn=x)", "cn"])
        self.assertEqual(r.code, 1)
        self.assertEqual(r.err, BANNER)
        self.assertTrue(r.out.startswith(INDEX_FIRST))

    def test_quiet_help_prints_no_banner(self):
        r = run(["-q", "-?"])
        self.assertEqual((r.code, r.err), (1, ""))

    def test_unknown_shortcut_gives_shortcut_help(self):
        r = run(["-q", "-sc", "nosuchshortcut", "-b", "dc=x"])
        self.assertEqual(r.code, 1)
        self.assertEqual(r.out, run(["-q", "-????"]).out)

    def test_po_listing_comes_before_help(self):
        r = run(["-q", "-po", "-?", "-b", "dc=x", "cn", "mail"])
        self.assertEqual(r.code, 1)
        self.assertTrue(r.out.startswith(
            "Selected Switches\n    -? \n    -b dc=x\n    -po \n    -q \n\n"
            "Selected Attributes\n    cn\n    mail\n\n\n" + INDEX_FIRST), r)


class BannerAndValidationTest(DriverTestCase):
    def test_bad_switches_reported_in_name_order(self):
        r = run(["-zz", "x", "-aa", "-b", "dc=x"])
        self.assertEqual(r.code, 1)
        self.assertEqual(r.err, BANNER + "ERROR: Bad Command Line Arg(s)\nERROR:  aa\nERROR:  zz\n\n\n")
        self.assertEqual(r.out, USAGE_HINT)

    def test_quiet_bad_switch_has_no_banner(self):
        r = run(["-q", "-nosuch", "-b", "dc=x"])
        self.assertEqual(r.err, "ERROR: Bad Command Line Arg(s)\nERROR:  nosuch\n\n\n")
        self.assertEqual((r.code, r.out), (1, USAGE_HINT))

    def test_prnr_is_accepted(self):
        r = run(["-q", "-prnr", "-?"])
        self.assertEqual((r.code, r.err), (1, ""))

    def test_quiet_layouts_suppress_banner(self):
        for layout in (["-dsq"], ["-list"], ["-qlist"], ["-csv", "x"], ["-q"]):
            r = run(layout + ["-?"])
            self.assertEqual(r.err, "", layout)
        self.assertEqual(run(["-nolabel", "-?"]).err, BANNER)

    def test_ownercsv_keeps_banner(self):
        r = run(["-ownercsv", "-b", "dc=x", "-h", "127.0.0.1:9"])
        self.assertTrue(r.err.startswith(BANNER), r)


class ListingTest(DriverTestCase):
    def test_sort_key_defaults_to_first_attribute_in_list_mode(self):
        r = run(["-q", "-po", "-list", "-b", "x", "cn", "mail", "-sort", "-h", "127.0.0.1:9"])
        self.assertIn("    -sort cn\n", r.out)
        r = run(["-q", "-po", "-qlist", "-b", "x", "cn", "-rsort", "-h", "127.0.0.1:9"])
        self.assertIn("    -rsort cn\n", r.out)
        r = run(["-q", "-po", "-b", "x", "cn", "mail", "-sort", "-h", "127.0.0.1:9"])
        self.assertIn("    -sort \n", r.out)
        r = run(["-q", "-po", "-list", "-b", "x", "-sort", "-h", "127.0.0.1:9"])
        self.assertIn("    -sort \n", r.out)

    def test_po_lists_switches_and_attributes_then_runs(self):
        r = run(["-q", "-po", "-b", "dc=x", "cn", "mail", "-h", "127.0.0.1:9"])
        self.assertTrue(r.out.startswith(
            "Selected Switches\n    -b dc=x\n    -h 127.0.0.1:9\n    -po \n    -q \n\n"
            "Selected Attributes\n    cn\n    mail\n\n\n"), r)
        self.assertReachedDirectory(r)


class CsvConflictTest(DriverTestCase):
    def test_csv_with_dn_is_refused(self):
        r = run(["-csv", "", "-dn", "-b", "dc=x"])
        self.assertEqual(r.out, "\nERROR: Can not use -dn with -csv.\n\n" + USAGE_HINT)
        self.assertEqual((r.code, r.err), (1, ""))

    def test_csv_with_oao_or_soao_is_refused(self):
        for extra in (["-oao", "x"], ["-soao"]):
            r = run(["-csv", "-b", "dc=x"] + extra)
            self.assertEqual(r.out, "\nERROR: Can not use -oao or -soao with -csv.\n\n" + USAGE_HINT)
            self.assertEqual(r.code, 1)

    def test_csv_star_attribute_is_refused(self):
        r = run(["-csv", "-b", "dc=x", "cn", "*"])
        self.assertUsageError(r, "\nERROR: Can not use * for attribute with -csv.\n\n")

    def test_csv_header(self):
        r = run(["-csv", "-b", "dc=x", "-h", "127.0.0.1:9"])
        self.assertTrue(r.out.startswith('"dn","name"\n'), r)
        r = run(["-csv", "-b", "dc=x", "-csvdelim", "\\t", "-owner", "cn", "mail", "-h", "127.0.0.1:9"])
        self.assertTrue(r.out.startswith('"dn"\t"_OBJECT_OWNER"\t"cn"\t"mail"\n'), r)
        r = run(["-csv", "-b", "dc=x", "-csvq", "'", "-csvnoq", "-nodn", "cn", "-h", "127.0.0.1:9"])
        self.assertTrue(r.out.startswith("cn\n"), r)
        r = run(["-csv", "-b", "dc=x", "-nodn", "-nocsvheader", "cn", "-h", "127.0.0.1:9"])
        self.assertEqual(r.out, "")
        self.assertEqual(r.code, 255)


if __name__ == "__main__":
    unittest.main()
