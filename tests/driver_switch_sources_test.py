"""Switches from the switch file (-ef) and from the environment (-e): what
they add to the run, their precedence, and their failures."""

import os
import stat
import unittest

from driver_testlib import DriverTestCase, base_env, run


def listing(out):
    """The -po listing: (switch name -> value, attribute list)."""
    head, _, rest = out.partition("Selected Switches\n")
    switches_part, _, attrs_part = rest.partition("\nSelected Attributes\n")
    switches = {}
    for line in switches_part.split("\n"):
        if line.startswith("    -"):
            name, _, value = line[5:].partition(" ")
            switches[name] = value
    attrs = []
    for line in ("\n" + attrs_part).split("\n\n\n")[0].split("\n"):
        if line.startswith("    "):
            attrs.append(line[4:])
    return switches, attrs


class SwitchFileTest(DriverTestCase):
    def po(self, args, **kw):
        r = run(["-q", "-po", "-?"] + args, **kw)
        self.assertEqual(r.code, 1, r)
        return listing(r.out)

    def test_switch_and_attribute_lines(self):
        self.write("q.cf", "-b dc=x\ncn sn\n\n/S  one level\n")
        switches, attrs = self.po(["-ef", "q.cf"], cwd=self.tmp)
        self.assertEqual(switches["b"], "dc=x")
        self.assertEqual(switches["s"], " one level")  # value after the first blank
        self.assertEqual(attrs, ["cn", "sn"])

    def test_listing_still_shows_a_password_hidden_from_the_process_list(self):
        switches, _ = self.po(["-up", "pw1", "-u", "me"])
        self.assertEqual((switches["up"], switches["u"]), ("pw1", "me"))

    def test_file_overrides_command_line(self):
        self.write("q.cf", "-b dc=b\n")
        switches, _ = self.po(["-b", "dc=a", "-ef", "q.cf"], cwd=self.tmp)
        self.assertEqual(switches["b"], "dc=b")

    def test_default_file_name_and_blank_pieces(self):
        self.write("quelby.cf", "cn  sn\n-nodn\n")
        switches, attrs = self.po(["-ef"], cwd=self.tmp)
        self.assertEqual(attrs, ["cn", "", "sn"])
        self.assertEqual(switches["nodn"], "")

    def test_crlf_lines_and_ctrl_z(self):
        self.write("q.cf", b"-b dc=crlf\r\nmail\r\n\x1a-f (cn=ignored)\n", mode="wb")
        switches, attrs = self.po(["-ef", "q.cf"], cwd=self.tmp)
        self.assertEqual(switches["b"], "dc=crlf")
        self.assertEqual(attrs, ["mail"])
        self.assertNotIn("f", switches)

    def test_file_name_keeps_its_case(self):
        self.write("Query.CF", "-b dc=case\n")
        switches, _ = self.po(["-ef", "Query.CF"], cwd=self.tmp)
        self.assertEqual(switches["b"], "dc=case")

    def test_value_given_to_flag_becomes_attribute(self):
        self.write("q.cf", "-nodn cn\n")
        switches, attrs = self.po(["-ef", "q.cf"], cwd=self.tmp)
        self.assertEqual(switches["nodn"], "")
        self.assertEqual(attrs, ["cn"])

    def test_unknown_switch_in_file_is_a_bad_argument(self):
        self.write("q.cf", "-bogus 1\n")
        r = run(["-q", "-ef", "q.cf", "-b", "x"], cwd=self.tmp)
        self.assertUsageError(r)
        self.assertEqual(r.err, "ERROR: Bad Command Line Arg(s)\nERROR:  bogus\n\n\n")

    def test_debug_echo(self):
        self.write("q.cf", "-b dc=x\ncn\n")
        r = run(["-d", "-q", "-?", "-ef", "q.cf"], cwd=self.tmp)
        self.assertTrue(r.out.startswith(
            "Opening file:q.cf\nApplying lines\n    -b dc=x\n        [b : dc=x]\n"
            "    cn\n        [cn]\n    \n"), r)

    def test_missing_file(self):
        r = run(["-q", "-ef", "nosuch.cf", "-b", "x"], cwd=self.tmp)
        self.assertEqual(r.code, 2, r)
        self.assertTrue(r.out.startswith("ERR: Couldn't open file [nosuch.cf]:(2) "), r)
        self.assertTrue(r.out.endswith("\nThe command did not complete successfully\n\n"), r)
        # A missing folder (or a file where a folder should be) is a path
        # not found; a missing file in a folder that is there is not.
        os.mkdir(os.path.join(self.tmp, "sub"))
        self.write("plain.cf", "-b x\n")
        for name, code in (("nodir/x.cf", 3), ("sub/nodir/x.cf", 3), ("plain.cf/x.cf", 3),
                           ("sub/nosuch.cf", 2), ("./nosuch.cf", 2)):
            r = run(["-q", "-ef", name, "-b", "x"], cwd=self.tmp)
            self.assertEqual(r.code, code, r)
            self.assertTrue(r.out.startswith("ERR: Couldn't open file [%s]:(%d) " % (name, code)), r)

    def test_text_beyond_the_limit_is_refused_before_any_line_applies(self):
        limit = 10485760
        too_large = "ERR: File %%s holds more than %d bytes of text\n" \
                    "\nThe command did not complete successfully\n\n" % limit
        zero = os.path.relpath("/dev/zero", self.tmp)  # a word with "/" first is a switch
        r = run(["-q", "-ef", zero, "-b", "x"], cwd=self.tmp, timeout=20)
        self.assertEqual((r.code, r.out), (255, too_large % zero))
        self.write("big.cf", b"-b dc=file\n" + b"c" * (limit - 11), mode="wb")
        switches, attrs = self.po(["-ef", "big.cf"], cwd=self.tmp)
        self.assertEqual((switches["b"], len(attrs[0])), ("dc=file", limit - 11))
        self.write("big.cf", b"-b dc=file\n" + b"c" * (limit - 10), mode="wb")
        r = run(["-q", "-po", "-?", "-ef", "big.cf"], cwd=self.tmp)
        self.assertEqual((r.code, r.out), (255, too_large % "big.cf"))
        # The text ends at a byte 26: what follows it does not count.
        self.write("ctrlz.cf", b"-b dc=z\n\x1a" + b"c" * (limit + 10), mode="wb")
        switches, _ = self.po(["-ef", "ctrlz.cf"], cwd=self.tmp)
        self.assertEqual(switches["b"], "dc=z")

    def test_unreadable_file(self):
        os.mkdir(os.path.join(self.tmp, "folder.cf"))
        r = run(["-q", "-ef", "folder.cf", "-b", "x"], cwd=self.tmp)
        self.assertEqual(r.code, 255, r)
        self.assertEqual(r.out, "ERR: Couldn't open file - folder.cf\n"
                                "\nThe command did not complete successfully\n\n")
        if os.geteuid() != 0:
            path = self.write("locked.cf", "-b x\n")
            os.chmod(path, 0)
            r = run(["-q", "-ef", "locked.cf", "-b", "x"], cwd=self.tmp)
            self.assertEqual(r.code, 255, r)
            self.assertIn("ERR: Couldn't open file - ", r.out)


class EnvironmentTest(DriverTestCase):
    def po(self, args, env, cwd=None):
        r = run(["-q", "-po", "-?"] + args, env=base_env(**env), cwd=cwd)
        self.assertEqual(r.code, 1, r)
        return listing(r.out)

    def test_switch_from_environment(self):
        switches, _ = self.po(["-e"], {"quelby-b": "dc=env"})
        self.assertEqual(switches["b"], "dc=env")

    def test_command_line_wins(self):
        switches, _ = self.po(["-e", "-b", "dc=cmd"], {"quelby-b": "dc=env"})
        self.assertEqual(switches["b"], "dc=cmd")

    def test_switch_file_wins_over_environment(self):
        self.write("q.cf", "-b dc=file\n")
        switches, _ = self.po(["-e", "-ef", "q.cf"], {"quelby-b": "dc=env"}, cwd=self.tmp)
        self.assertEqual(switches["b"], "dc=file")

    def test_without_e_nothing_is_read(self):
        switches, _ = self.po([], {"quelby-b": "dc=env"})
        self.assertNotIn("b", switches)

    def test_name_matched_without_case_and_props(self):
        switches, attrs = self.po(["-e"], {"QUELBY-B": "dc=up", "quelby-props": "cn sn",
                                           "Quelby-F": "(a=b=c)"})
        self.assertEqual(switches["b"], "dc=up")
        self.assertEqual(switches["f"], "(a=b=c)")
        self.assertEqual(sorted(attrs), ["cn", "sn"])

    def test_empty_marker_and_flag_values(self):
        switches, attrs = self.po(["-e"], {"quelby-nodn": "{~}", "quelby-rb": "{~}"})
        self.assertEqual(switches["nodn"], "")
        self.assertEqual(switches["rb"], "")
        self.assertEqual(attrs, [])
        switches, attrs = self.po(["-e"], {"quelby-nodn": "1"})
        self.assertEqual(switches["nodn"], "")
        self.assertEqual(attrs, ["1"])

    def test_custom_prefixes(self):
        env = {"myapp-b": "dc=dash", "my_b": "dc=under", "a-bb": "dc=ab", "quelby-b": "dc=default"}
        self.assertEqual(self.po(["-e", "MyApp"], env)[0]["b"], "dc=dash")
        self.assertEqual(self.po(["-e", "my_"], env)[0]["b"], "dc=under")
        self.assertEqual(self.po(["-e", "a-b"], env)[0]["b"], "dc=ab")

    def test_environment_switch_from_file_line(self):
        self.write("q.cf", "-e\n")
        switches, _ = self.po(["-ef", "q.cf"], {"quelby-rb": "cn=users"}, cwd=self.tmp)
        self.assertEqual(switches["rb"], "cn=users")

    def test_debug_echo(self):
        r = run(["-q", "-?", "-e", "-d"], env=base_env(**{"quelby-rb": "cn=x", "quelby-d": ""}))
        self.assertIn("ENVVAR: quelby-rb=cn=x\nChecking rb\n  Adding rb:cn=x\n", r.out)
        self.assertIn("ENVVAR: quelby-d=\nChecking d\n", r.out)
        self.assertNotIn("Adding d:", r.out)

    def test_bad_switch_from_environment(self):
        r = run(["-q", "-e", "-b", "x"], env=base_env(**{"quelby-zzz": "1"}))
        self.assertUsageError(r)
        self.assertIn("ERROR:  zzz\n", r.err)

    def test_base_from_environment_lets_run_go_on(self):
        r = run(["-q", "-e", "-h", "127.0.0.1:9"], env=base_env(**{"quelby-b": "dc=x"}))
        self.assertReachedDirectory(r)


if __name__ == "__main__":
    unittest.main()
