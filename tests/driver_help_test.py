"""Help levels, usage hint, version banner, switch validation and the CSV
conflicts of the quelby executable."""

import os
import re
import shlex
import subprocess
import unittest

from driver_testlib import BANNER, BIN, USAGE_HINT, DriverTestCase, base_env, run

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


# Every switch name the program accepts, and every shortcut name.
SWITCHES = """q d help ? ?? ???? sc? meta? gc gcb bit dsq c dn nodn elapsed elapsedms
selapsed selapsedms tdc tdcs tdcgt tdcgts tdca tdcas rawsddl sddc sddl sddc+
sddl+ showdel udp stats stats+ statsonly stats+only extname exterr simple dloid
nr schema null root default domain config binenc samdc kerbenc nolabel noctl
utc nocsvheader po owner ownercsv owneronly sdna pr prnr nrss list soao ssl
flagdc schdc sl rootdse sitenamedc rootdsedc resolvesids resolvesidsldap alldc
sidbinout guidbinout sddc++ sddl++ noowner nogroup nodacl nosacl recmute csvnoq
mvfiltercs scexchnosys onlydacl onlysacl qlist onlydaclflag onlysaclflag
onlyaclflags sdsizenl h b rb f s t u up ps p sort rsort excl maxe excldn
excldndelim incldn incldndelim ff csvdelim csvmvdelim oao csv adcsv csvq e ef
sc af replacedn replacedndelim mvfilter mvnotfilter mvfilterdelim asq decutc
declocal encutc enclocal sddlfilter sddlnotfilter decsddlacl sdsize metasort
fullrootdse""".split()

SHORTCUTS = """modes forestmodes dcmodes masterncs domainncs domainncssl appparts
appparts+ apppartsl whoami adamsid adsid sguid s2kguid r2kguid findpropsetrg
propsetmembers propsetmembersl listpropsets listpropsetsl listpropsetscsv
listvwrites listvwritesl listvwritescsv listxrights listxrightsl listxrightscsv
adguid adamguid s sl scontains scontainsl cc ccl pas pasl indexed indexedl
cindexed cindexedl sindexed sindexedl confidential confidentiall copy copyl
constructed constructedl cat1 cat1l norepl norepll norepl+ norepll+ anr anrl
tuple tuplel sdump tombstone tombstonel linked linkedl ugcenabled ugcenabledl
usedugc dumpugcinfo fo kids u g c fsmo caua sdfilter sdfilterns explaces
exchaddresses exchmbxs exchme exchsmtpaddr exchprimarysmtp objmeta objsmeta
legacylvr legacylvrs legacygroupmembers replqueue ncrepl""".split()


def level_text(args):
    """The level's own text: the output without the index and the disclaimer."""
    out = run(["-q"] + args).out
    lines = out.split("\n")
    return "\n".join(lines[17:-7]) + "\n"


class HelpContentsTest(DriverTestCase):
    def test_name_lists_are_complete(self):
        self.assertEqual(len(set(SWITCHES)), 138)
        self.assertEqual(len(set(SHORTCUTS)), 90)

    def test_advanced_help_documents_every_switch(self):
        text = level_text(["-??"])
        documented = set()
        for line in text.split("\n"):
            for word in line.replace(",", " ").split():
                if word.startswith("-"):
                    documented.add(word[1:])
        missing = [s for s in SWITCHES if s not in documented]
        self.assertEqual(missing, [])
        for heading in ("[CONNECTION OPTIONS]", "[QUERY OPTIONS]", "[OUTPUT OPTIONS]",
                        "[AUTHENTICATION OPTIONS]", "[MISC OPTIONS]"):
            self.assertIn("\n           " + heading + "\n", "\n" + text)
        for note in ("   Multivalue Filter Notes:\n   ========================\n",
                     "   SDDL Filter Notes:\n   ==================\n",
                     "  Notes about STATS functionality\n", "\n  Notes:\n"):
            self.assertIn(note, text)
        for n in range(1, 9):
            self.assertIn("\n  Ex%d:\n" % n, text)
        # Defaults of the time limit, page size, delimiters and quote.
        for default in ("Default is 120.", "Default is 1000.", "Default is ,.",
                        "Default is ;.", 'Default is ".'):
            self.assertIn(default, text)
        self.assertTrue(270 <= text.count("\n") <= 300, text.count("\n"))

    def test_environment_examples_run_in_a_shell(self):
        block = level_text(["-??"]).split("\n   -e prefix")[1].split("\n   -ef file")[0]
        examples = re.findall(r"Ex: (.*)", block)
        self.assertEqual(len(examples), 3)
        for example in examples:
            command = example.replace(" quelby ", " %s " % shlex.quote(os.path.abspath(BIN)))
            out = subprocess.run(["sh", "-c", command + " -q -po -?"], env=base_env(),
                                 capture_output=True, text=True).stdout.split(INDEX_FIRST)[0]
            for word in shlex.split(example)[1].split("=", 1)[1].split():
                self.assertIn(" %s\n" % word, out, example)

    def test_shortcut_help_lists_every_shortcut(self):
        text = level_text(["-????"])
        self.assertTrue(text.startswith("\n   Quelby Shortcuts\n   ================\n"))
        listed = set()
        after_divider = text.split("   --------------Shortcuts--------------\n")[1]
        self.assertTrue(after_divider.startswith("   -af "))
        for line in after_divider.split("\n"):
            if line.startswith("   -sc "):
                form = line[7:].split(" ")[0]
                listed.add(form.split(":")[0].split("[")[0])
                if len(line) > 27 and len(line[:27].rstrip()) < 27:
                    self.assertEqual(line[26], " ", line)
                    self.assertNotEqual(line[27], " ", line)
        self.assertEqual([s for s in SHORTCUTS if s not in listed], [])
        for heading in ("QUICK OBJECT LOOKUP", "SCHEMA", "UNIVERSAL GROUP CACHING",
                        "FSMO", "EXCHANGE", "ADAM"):
            self.assertIn("\n\n   %s SHORTCUTS\n" % heading, text)
        self.assertIn("-po", text)
        self.assertTrue(200 <= text.count("\n") <= 236, text.count("\n"))

    def test_metadata_help_covers_every_attribute(self):
        text = level_text(["-meta?"])
        self.assertTrue(text.startswith("   MetaData Help\n   =============\n"))
        self.assertIn("   MetaData Attributes\n   -------------------\n", text)
        self.assertIn("   Sort Options\n   ------------\n", text)
        for attr in ("msDS-ReplQueueStatistics", "msDS-ReplPendingOps",
                     "msDS-ReplConnectionFailures", "msDS-ReplLinkFailures",
                     "msDS-ReplAllInboundNeighbors", "msDS-ReplAllOutboundNeighbors",
                     "msDS-TopQuotaUsage", "msDS-NCReplInboundNeighbors",
                     "msDS-NCReplOutboundNeighbors", "msDS-NCReplCursors",
                     "msDS-ReplAttributeMetaData", "msDS-ReplValueMetaData"):
            self.assertIn(attr, text)
        # The sort keys the metadata decoders know.
        for key in ("dsa", "date", "usnloc", "usnorig", "ver", "obj", "state",
                    "nc", "err", "owner"):
            self.assertRegex(text, r"-metasort options: .*\b%s\b" % key)
        self.assertIn(";binary", text)
        self.assertIn("\n  Ex1:\n", text)
        self.assertIn("\n  Ex2:\n", text)
        self.assertTrue(70 <= text.count("\n") <= 82, text.count("\n"))


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
