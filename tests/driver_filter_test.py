"""Filter building as the quelby executable does it: the default filter, the
filter file, the -bit rewriting and every -binenc token kind, with the
failing tokens and their exit codes."""

import os
import unittest

from driver_testlib import DriverTestCase, run

# Every run ends at the directory phase against a port where nothing listens.
NO_SERVER = ["-h", "127.0.0.1:9"]
SID_544 = "\\01\\02\\00\\00\\00\\00\\00\\05\\20\\00\\00\\00\\20\\02\\00\\00"
GUID_TEXT = "01234567-89ab-cdef-0123-456789abcdef"
GUID_BYTES = "\\67\\45\\23\\01\\ab\\89\\ef\\cd\\01\\23\\45\\67\\89\\ab\\cd\\ef"


def transformed(out):
    return [line[len("Transformed Filter: "):] for line in out.split("\n")
            if line.startswith("Transformed Filter: ")]


class BitwiseTest(DriverTestCase):
    def test_operators_become_matching_rule_oids(self):
        r = run(["-q", "-b", "dc=x", "-bit", "-f",
                 "(&(objectClass=user)(userAccountControl:AND:=2)(memberOf:INCHAIN:=cn=g)"
                 "(flags:OR:=5)(m:NEST:=cn=h)(a:AND:=1))"] + NO_SERVER)
        self.assertReachedDirectory(r)
        self.assertEqual(transformed(r.out), [
            "(&(objectClass=user)(userAccountControl:1.2.840.113556.1.4.803:=2)"
            "(memberOf:1.2.840.113556.1.4.1941:=cn=g)(flags:1.2.840.113556.1.4.804:=5)"
            "(m:1.2.840.113556.1.4.1941:=cn=h)(a:1.2.840.113556.1.4.803:=1))"])

    def test_lower_case_operator_is_kept_and_line_printed_anyway(self):
        r = run(["-q", "-b", "dc=x", "-bit", "-f", "(uac:and:=2)"] + NO_SERVER)
        self.assertEqual(transformed(r.out), ["(uac:and:=2)"])

    def test_default_filter_with_bit(self):
        for args in ([], ["-f", "*"], ["-f", "*anything"], ["-f", ""]):
            r = run(["-q", "-b", "dc=x", "-bit"] + args + NO_SERVER)
            self.assertEqual(transformed(r.out), ["objectclass=*"], args)
        r = run(["-q", "-b", "dc=x", "-bit", "-f", "(cn=*)"] + NO_SERVER)
        self.assertEqual(transformed(r.out), ["(cn=*)"])

    def test_quiet_layouts_print_no_transformed_line(self):
        for layout in (["-csv", "x"], ["-list"], ["-qlist"], ["-dsq"]):
            r = run(["-b", "dc=x", "-bit", "-f", "(a:AND:=1)"] + layout + NO_SERVER)
            self.assertEqual(transformed(r.out), [], layout)
            self.assertReachedDirectory(r)


class BinaryEncodingTest(DriverTestCase):
    def binenc(self, filter_text, *extra):
        r = run(["-q", "-b", "dc=x", "-binenc", "-f", filter_text] + list(extra) + NO_SERVER)
        return r

    def test_sid_token(self):
        for token in ("{{SID:S-1-5-32-544}}", "{{sid:s-1-5-32-544}}", "{{SID=S-1-5-32-544}}"):
            r = self.binenc("(objectSid=%s)" % token)
            self.assertReachedDirectory(r)
            self.assertEqual([t.lower() for t in transformed(r.out)],
                             ["(objectsid=%s)" % SID_544], token)

    def test_guid_token(self):
        r = self.binenc("(objectGUID={{GUID:%s}})" % GUID_TEXT.upper())
        self.assertReachedDirectory(r)
        self.assertEqual([t.lower() for t in transformed(r.out)], ["(objectguid=%s)" % GUID_BYTES])

    def test_bin_token(self):
        r = self.binenc("(x={{BIN:0A 1b f}})")
        self.assertEqual([t.lower() for t in transformed(r.out)], ["(x=\\0a\\1b)"])
        r = self.binenc("(x={{BIN:}})")
        self.assertEqual(transformed(r.out), ["(x=)"])

    def test_time_tokens(self):
        r = self.binenc("(pwdLastSet>={{UTC:2007/02/01}})")
        self.assertEqual(transformed(r.out), ["(pwdLastSet>=128147616000000000)"])
        r = run(["-q", "-b", "dc=x", "-binenc", "-f", "(t<={{LOCAL:2007/02/01-01:00:00}})"] + NO_SERVER,
                env=dict(os.environ, TZ="Europe/Berlin"))
        self.assertEqual(transformed(r.out), ["(t<=128147616000000000)"])

    def test_tokens_converted_in_order_and_repeated(self):
        r = self.binenc("(|(a={{BIN:01}})(b={{UTC:1601/01/01}})(c={{BIN:01}}))")
        self.assertEqual(transformed(r.out), ["(|(a=\\01)(b=0)(c=\\01))"])

    def test_bit_and_binenc_print_two_lines(self):
        r = run(["-q", "-b", "dc=x", "-bit", "-binenc", "-f", "(&(u:AND:=2)(v={{BIN:ff}}))"] + NO_SERVER)
        self.assertEqual([t.lower() for t in transformed(r.out)],
                         ["(&(u:1.2.840.113556.1.4.803:=2)(v={{bin:ff}}))",
                          "(&(u:1.2.840.113556.1.4.803:=2)(v=\\ff))"])

    def test_unknown_kind_is_reported_and_run_goes_on(self):
        r = self.binenc("(&(a={{XYZ:1}})(b={{BIN:01}}))")
        self.assertIn("ERROR: Invalid binary encode option - {{XYZ:1}}\n", r.out)
        self.assertEqual(transformed(r.out), ["(&(a={{XYZ:1}})(b={{BIN:01}}))"])
        self.assertReachedDirectory(r)

    def test_unterminated_token_stays(self):
        r = self.binenc("(cn={{SID:S-1-5-32-544)")
        self.assertEqual(transformed(r.out), ["(cn={{SID:S-1-5-32-544)"])
        self.assertNotIn("ERROR", r.out)
        r = self.binenc("(a=}}{{BIN:01)")
        self.assertEqual(transformed(r.out), ["(a=}}{{BIN:01)"])

    def test_debug_lines(self):
        r = run(["-q", "-d", "-b", "dc=x", "-binenc", "-f", "(a={{BIN:0 1}})"] + NO_SERVER)
        self.assertIn("DEBUG: Binary encode translation...\nDEBUG: Filter= (a={{BIN:0 1}})\n"
                      "DEBUG: ToReplace={{BIN:0 1}}\nDEBUG: Hex String=0 1\n", r.out)
        self.assertIn("debug: filter= (a=\\01)\n", r.out.lower())


class FailingTokenTest(DriverTestCase):
    def binenc(self, filter_text):
        return run(["-q", "-b", "dc=x", "-binenc", "-f", filter_text] + NO_SERVER)

    def test_bad_sid(self):
        r = self.binenc("(objectSid={{SID:S-1-x}})")
        self.assertTrue(r.out.startswith("ERROR (ConvertStringSidToSid): (1337) "), r)
        self.assertEqual(r.code, 255)  # 1337 does not fit in 8 bits
        self.assertNotIn("Terminating program.", r.err)

    def test_bad_guid(self):
        # The GUID written with its own braces loses the closing one.
        r = self.binenc("(objectGUID={{GUID:{%s}}})" % GUID_TEXT)
        self.assertTrue(r.out.startswith("ERROR (CLSIDFromString): ("), r)
        self.assertEqual(r.code, 255)

    def test_bad_time(self):
        r = self.binenc("(t={{UTC:2007/13/01}})")
        self.assertEqual(r.out, "ERROR: Couldn't convert [2007/13/01-00:00:00] to FILETIME.\n"
                                "ERROR: Time conversion failed, exiting...\n")
        self.assertEqual((r.code, r.err), (255, ""))

    def test_bad_hex(self):
        r = self.binenc("(x={{BIN:0g}})")
        self.assertIn("ERROR: Couldn't convert [0g] to binary", r.out)
        self.assertEqual(r.code, 255)
        self.assertNotIn("Terminating program.", r.err)


class FilterFileTest(DriverTestCase):
    def bit(self, args):
        return run(["-q", "-b", "dc=x", "-bit"] + args + NO_SERVER, cwd=self.tmp)

    def test_first_line_is_the_filter(self):
        self.write("f.txt", "(cn=jo*)\n(cn=x)\n")
        self.assertEqual(transformed(self.bit(["-ff", "f.txt"]).out), ["(cn=jo*)"])
        self.write("crlf.txt", b"  (cn=jo*)\r\n(cn=x)\r\n", mode="wb")
        self.assertEqual(transformed(self.bit(["-ff", "crlf.txt"]).out), ["  (cn=jo*)"])
        self.write("empty.txt", "")
        self.assertEqual(transformed(self.bit(["-ff", "empty.txt"]).out), ["objectclass=*"])
        self.write("nul.txt", b"(cn=a)\x00junk\n", mode="wb")
        self.assertEqual(transformed(self.bit(["-ff", "nul.txt"]).out), ["(cn=a)"])

    def test_f_wins_and_file_is_not_looked_at(self):
        r = self.bit(["-f", "(cn=given)", "-ff", "nosuch.txt"])
        self.assertEqual(transformed(r.out), ["(cn=given)"])
        self.assertReachedDirectory(r)

    def test_debug_echo(self):
        self.write("f.txt", "(cn=file)\n")
        r = run(["-q", "-d", "-b", "dc=x", "-ff", "f.txt"] + NO_SERVER, cwd=self.tmp)
        self.assertIn("DEBUG: File Filter: (cn=file)\n", r.out)

    def test_missing_file(self):
        r = self.bit(["-ff", "nosuch.txt"])
        self.assertTrue(r.out.startswith("ERR: Couldn't open file [nosuch.txt]:(2) "), r)
        self.assertTrue(r.out.endswith("\nThe command did not complete successfully\n\n"))
        self.assertEqual(r.code, 2)
        r = self.bit(["-ff"])
        self.assertTrue(r.out.startswith("ERR: Couldn't open file []:("), r)
        self.assertNotEqual(r.code, 0)

    def test_deeply_nested_filter_is_refused_before_any_encoding(self):
        # Over UDP the connectionless encoder would otherwise take it.
        self.write("deep.txt", "(&" * 50000 + "(cn=x)" + ")" * 50000 + "\n")
        r = run(["-q", "-b", "dc=x", "-udp", "-ff", "deep.txt"] + NO_SERVER, cwd=self.tmp)
        self.assertEqual(r.out, "ERROR: The filter is nested 50001 levels deep; "
                                "at most 500 levels are allowed.\n", r)
        self.assertEqual((r.code, r.err), (0x57, ""))

    def test_unreadable_file(self):
        os.mkdir(os.path.join(self.tmp, "folder"))
        r = self.bit(["-ff", "folder"])
        self.assertEqual(r.out, "ERR: Couldn't open file - folder\n"
                                "\nThe command did not complete successfully\n\n")
        self.assertEqual(r.code, 255)


if __name__ == "__main__":
    unittest.main()
