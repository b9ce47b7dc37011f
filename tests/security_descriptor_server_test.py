"""Security descriptors read from the test DC: our SDDL against Samba's own
decoding of the same values (compared by meaning: Samba orders rights its own
way and writes domain aliases), every layout switch, the ACE filters, and the
schema's defaultSecurityDescriptor values."""

import base64
import re
import subprocess
import unittest

from search_testlib import ENV, ServerTestCase, run

RIGHTS = {
    "GA": 0x10000000, "GR": 0x80000000, "GW": 0x40000000, "GX": 0x20000000,
    "RC": 0x20000, "SD": 0x10000, "WD": 0x40000, "WO": 0x80000,
    "RP": 0x10, "WP": 0x20, "CC": 0x1, "DC": 0x2, "LC": 0x4, "SW": 0x8,
    "LO": 0x80, "DT": 0x40, "CR": 0x100,
    "FA": 0x1F01FF, "FR": 0x120089, "FW": 0x120116, "FX": 0x1200A0,
    "KA": 0xF003F, "KR": 0x20019, "KW": 0x20006, "KX": 0x20019,
}
ACE_FLAGS = {"OI": 0x1, "CI": 0x2, "NP": 0x4, "IO": 0x8, "ID": 0x10, "SA": 0x40, "FA": 0x80}
ALIASES = {
    "AN": "S-1-5-7", "AO": "S-1-5-32-548", "AU": "S-1-5-11", "BA": "S-1-5-32-544",
    "BG": "S-1-5-32-546", "BO": "S-1-5-32-551", "BU": "S-1-5-32-545", "CG": "S-1-3-1",
    "CO": "S-1-3-0", "ED": "S-1-5-9", "IU": "S-1-5-4", "LS": "S-1-5-19", "NS": "S-1-5-20",
    "NU": "S-1-5-2", "PO": "S-1-5-32-550", "PS": "S-1-5-10", "PU": "S-1-5-32-547",
    "RC": "S-1-5-12", "RD": "S-1-5-32-555", "RE": "S-1-5-32-552", "RU": "S-1-5-32-554",
    "SO": "S-1-5-32-549", "SU": "S-1-5-6", "SY": "S-1-5-18", "WD": "S-1-1-0",
    "WR": "S-1-5-33", "CY": "S-1-5-32-569", "MU": "S-1-5-32-558", "LU": "S-1-5-32-559",
    "IS": "S-1-5-32-568", "ER": "S-1-5-32-573", "OW": "S-1-3-4",
    # domain-relative: the RID after the domain SID
    "LA": 500, "LG": 501, "DA": 512, "DU": 513, "DG": 514, "DC": 515, "DD": 516, "CA": 517,
    "SA": 518, "EA": 519, "PA": 520, "RO": 498, "CN": 522, "RS": 553, "AP": 525, "KA": 526,
    "EK": 527,
}
SDDL_RE = re.compile(r"^(?:O:(?P<o>[^()]*?))?(?:G:(?P<g>[^()]*?))?"
                     r"(?:D:(?P<df>[A-Z_]*)(?P<d>(?:\([^)]*\))*))?"
                     r"(?:S:(?P<sf>[A-Z_]*)(?P<s>(?:\([^)]*\))*))?$")


def ldap_tool_args():
    return ["-H", "ldap://" + ENV["QUELBY_TEST_DC_HOST"],
            "-U", "%s%%%s" % (ENV["QUELBY_TEST_ADMIN_USER"], ENV["QUELBY_TEST_ADMIN_PASSWORD"])]


def samba_values(dn, attr, scope="base", controls=()):
    """Samba's decoding of one attribute (ldbsearch writes descriptors as SDDL)."""
    proc = subprocess.run(["ldbsearch"] + ldap_tool_args() + ["-b", dn, "-s", scope] +
                          ["--controls=" + c for c in controls] + [attr],
                          capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr
    text = proc.stdout.replace("\n ", "")  # LDIF continuation lines
    return re.findall(r"^%s: (.*)$" % attr, text, re.M)


class Sddl:
    """An SDDL text reduced to its meaning."""

    def __init__(self, text, domain_sid):
        self.domain_sid = domain_sid
        m = SDDL_RE.match(text)
        assert m, "not SDDL: %r" % text
        self.owner = self.sid(m.group("o"))
        self.group = self.sid(m.group("g"))
        self.dacl = self.acl(m.group("df"), m.group("d"))
        self.sacl = self.acl(m.group("sf"), m.group("s"))

    def sid(self, text):
        if text is None:
            return None
        alias = ALIASES.get(text)
        if isinstance(alias, int):
            return "%s-%d" % (self.domain_sid, alias)
        return alias or text

    def acl(self, flags, aces):
        if flags is None:
            return None
        flag_set = set(re.findall(r"P|AR|AI|NO_ACCESS_CONTROL", flags))
        return flag_set, [self.ace(a) for a in re.findall(r"\(([^)]*)\)", aces)]

    def ace(self, text):
        kind, flags, rights, obj, inherited, trustee = text.split(";")
        flag_bits = sum(ACE_FLAGS[flags[i:i + 2]] for i in range(0, len(flags), 2))
        if rights.lower().startswith("0x"):
            mask = int(rights, 16)
        else:
            mask = 0
            for i in range(0, len(rights), 2):
                mask |= RIGHTS[rights[i:i + 2]]
        return kind, flag_bits, mask, obj.lower(), inherited.lower(), self.sid(trustee)

    def meaning(self):
        return self.owner, self.group, self.dacl, self.sacl


class SecurityDescriptors(ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.domain_sid = samba_values(cls.base, "objectSid")[0]
        cls.schema = "CN=Schema,CN=Configuration," + cls.base
        cls.objects = [cls.user_dn, cls.ou, cls.base, "CN=User," + cls.schema]

    def our_sddl(self, dn, *switches):
        r = self.dc_run("-b", dn, "-s", "base", "-sddc", "-rawsddl", *switches, "nTSecurityDescriptor")
        self.assertOk(r)
        lines = self.values(r.out, "nTSecurityDescriptor")
        sddl = [l[len("[SDDL] "):] for l in lines if l.startswith("[SDDL] ")]
        self.assertEqual(len(sddl), 1, r.out)
        return sddl[0], r.out

    def test_sddl_means_what_samba_decodes(self):
        for dn in self.objects:
            for switches, controls in (((), ()), (("-nosacl",), ("sd_flags:1:7",))):
                with self.subTest(dn=dn, switches=switches):
                    ours, _ = self.our_sddl(dn, *switches)
                    samba = samba_values(dn, "nTSecurityDescriptor", controls=controls)[0]
                    want = Sddl(samba, self.domain_sid).meaning()
                    got = Sddl(ours, self.domain_sid).meaning()
                    self.assertEqual(got, want)
                    self.assertEqual(got[3] is None, bool(switches))
                    self.assertTrue(got[2][1])

    def test_full_layout_reads_as_described(self):
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-sddc++", "-resolvesids",
                        "nTSecurityDescriptor")
        self.assertOk(r)
        lines = self.values(r.out, "nTSecurityDescriptor")
        domain = ENV["QUELBY_TEST_DOMAIN"]
        self.assertEqual(lines[:3], ["[OWNER] %s\\Domain Admins" % domain,
                                     "[GROUP] %s\\Domain Admins" % domain,
                                     "[DACL] (FLAGS:INHERIT)"])
        self.assertIn("[DACL] ALLOW;;[FC];;;%s\\Domain Admins" % domain, lines)
        self.assertIn("[DACL] OBJ ALLOW;;[CTL];User Change Password;;NT AUTHORITY\\SELF", lines)
        self.assertIn("[DACL] OBJ ALLOW;[CONT INHERIT][INHERITED];[READ PROP];Account Restrictions;"
                      "user;BUILTIN\\Pre-Windows 2000 Compatible Access", lines)
        self.assertIn("[SACL] (FLAGS:INHERIT)", lines)
        # As many ACE lines as Samba sees ACEs.
        samba = Sddl(samba_values(self.user_dn, "nTSecurityDescriptor")[0], self.domain_sid)
        self.assertEqual(len([l for l in lines if l.startswith("[DACL] ")]), len(samba.dacl[1]) + 1)
        self.assertEqual(len([l for l in lines if l.startswith("[SACL] ")]), len(samba.sacl[1]) + 1)

        # -sddc+: codes stay, GUIDs named; -sddc: one line per ACL.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-sddl+", "nTSecurityDescriptor")
        lines = self.values(r.out, "nTSecurityDescriptor")
        self.assertIn("[DACL] AI", lines)
        self.assertIn("[DACL] OA;;CR;User Change Password;;PS", lines)
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-sddc", "nTSecurityDescriptor")
        lines = self.values(r.out, "nTSecurityDescriptor")
        self.assertEqual([l.split(" ")[0] for l in lines], ["[OWNER]", "[GROUP]", "[DACL]", "[SACL]"])
        self.assertTrue(lines[2].startswith("[DACL]  AI(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;S-1-5-21-"),
                        lines[2])
        # The -sddl spellings are the same levels.
        for sddc, sddl in (("-sddc", "-sddl"), ("-sddc++", "-sddl++")):
            a = self.dc_run("-b", self.user_dn, "-s", "base", sddc, "nTSecurityDescriptor")
            b = self.dc_run("-b", self.user_dn, "-s", "base", sddl, "nTSecurityDescriptor")
            self.assertEqual(self.values(a.out, "nTSecurityDescriptor"),
                             self.values(b.out, "nTSecurityDescriptor"))
        # Without a decode switch: the header line.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "nTSecurityDescriptor")
        self.assertEqual(self.values(r.out, "nTSecurityDescriptor"), ["{Security Descriptor}"])

    def test_part_switches_and_size(self):
        def sections(*switches):
            r = self.dc_run("-b", self.ou, "-s", "base", "-sddc+", *switches, "nTSecurityDescriptor")
            self.assertOk(r)
            return r, [l.split(" ")[0] for l in self.values(r.out, "nTSecurityDescriptor")]

        _, all_ = sections()
        self.assertEqual(sorted(set(all_)), ["[DACL]", "[GROUP]", "[OWNER]", "[SACL]"])
        for switch, gone in (("-noowner", {"[OWNER]"}), ("-nogroup", {"[GROUP]"}),
                             ("-nodacl", {"[DACL]"}), ("-nosacl", {"[SACL]"}),
                             ("-sdna", {"[SACL]"}),
                             ("-onlydacl", {"[OWNER]", "[GROUP]", "[SACL]"})):
            with self.subTest(switch):
                _, got = sections(switch)
                self.assertEqual(set(got), set(all_) - gone)
        r, got = sections("-onlyaclflags")
        self.assertEqual(self.values(r.out, "nTSecurityDescriptor"), ["[DACL] AI", "[SACL] AI"])

        r = self.dc_run("-b", self.ou, "-s", "base", "-sdsize", "-sdsizenl", "nTSecurityDescriptor")
        size = int(self.values(r.out, "nTSecurityDescriptor")[0].split(" ")[1])
        ldif = subprocess.run(
            ["ldapsearch", "-LLL", "-o", "ldif-wrap=no", "-x", "-H", "ldap://" + self.dc,
             "-D", ENV["QUELBY_TEST_ADMIN_DN"], "-w", ENV["QUELBY_TEST_ADMIN_PASSWORD"],
             "-b", self.ou, "-s", "base", "nTSecurityDescriptor"],
            capture_output=True, text=True, timeout=60).stdout
        value = base64.b64decode(re.search(r"^nTSecurityDescriptor:: (.*)$", ldif, re.M).group(1))
        self.assertEqual(size, len(value))
        r = self.dc_run("-b", self.ou, "-s", "base", "-sdsize", "KB", "-nolabel", "nTSecurityDescriptor")
        self.assertIn("\n%.2fKB\n" % (len(value) / 1024.0), r.out)
        r = self.dc_run("-b", self.ou, "-s", "base", "-sdsize", "mb", "nTSecurityDescriptor")
        self.assertEqual(self.values(r.out, "nTSecurityDescriptor"),
                         ["[SIZE] %.2fMB" % (len(value) / 1048576.0)])

    def test_ace_filters_and_value_filters(self):
        domain = ENV["QUELBY_TEST_DOMAIN"]
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-sddc++", "-resolvesids",
                        "-sddlfilter", ";;;;;domain admins", "nTSecurityDescriptor")
        self.assertOk(r)
        self.assertEqual(self.values(r.out, "nTSecurityDescriptor"),
                         ["[DACL] ALLOW;;[FC];;;%s\\Domain Admins" % domain])
        # Inherited ACEs dropped; no flags, owner or group lines while filtering.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-sddc++", "-sddlnotfilter", ";inherited",
                        "nTSecurityDescriptor")
        lines = self.values(r.out, "nTSecurityDescriptor")
        self.assertTrue(lines)
        self.assertFalse([l for l in lines if "INHERITED" in l or "FLAGS" in l or "OWNER" in l])
        # "-" patterns: object ACEs only (an object GUID present), then ACEs without one.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-sddc+", "-sddlnotfilter", ";;;-",
                        "nTSecurityDescriptor")
        self.assertTrue(all(l.split(";")[3] == "" for l in self.values(r.out, "nTSecurityDescriptor")))
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-sddc+", "-sddlfilter", "oa;;;-",
                        "nTSecurityDescriptor")
        lines = [l[len("[DACL] "):].split(";") for l in self.values(r.out, "nTSecurityDescriptor")]
        self.assertTrue(lines)
        self.assertTrue(all(f[0] == "OA" and f[3] == "" for f in lines), lines)
        # A filter that no ACE passes prints nothing for the value.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-sddc", "-sddlfilter", "nosuchtype",
                        "nTSecurityDescriptor", "cn")
        self.assertNotIn("nTSecurityDescriptor", r.out)
        self.assertIn(">cn: Quelby Tester", r.out)
        # Value filter: only lines holding the pattern.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-sddc+", "-resolvesids", "-mvfilter",
                        "ntsecuritydescriptor=authority\\self", "nTSecurityDescriptor")
        lines = self.values(r.out, "nTSecurityDescriptor")
        self.assertGreater(len(lines), 3)
        self.assertTrue(all(l.endswith(";NT AUTHORITY\\SELF") for l in lines), lines)

    def test_owner_layouts(self):
        domain = ENV["QUELBY_TEST_DOMAIN"]
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-owneronly", "-resolvesids")
        self.assertOk(r)
        self.assertEqual(self.values(r.out, "_OBJECT_OWNER"), ["%s\\Domain Admins" % domain])
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-ownercsv")
        self.assertRegex(r.out, r'"%s";"%s-512"\n' % (re.escape(self.user_dn), self.domain_sid))
        # With the descriptor asked for and decoded, the owner line gives way to it.
        r = self.dc_run("-b", self.user_dn, "-s", "base", "-owner", "-sddc", "nTSecurityDescriptor")
        self.assertEqual(self.values(r.out, "_OBJECT_OWNER"), [])
        self.assertIn(">nTSecurityDescriptor: [OWNER] %s-512\n" % self.domain_sid, r.out)

    def test_default_security_descriptors(self):
        for cls_dn in ("CN=User," + self.schema, "CN=Organizational-Unit," + self.schema,
                       "CN=Group," + self.schema):
            with self.subTest(cls_dn):
                value = samba_values(cls_dn, "defaultSecurityDescriptor")[0]
                aces = re.findall(r"\([^)]*\)", value)
                self.assertGreater(len(aces), 2)
                # The decoder, at -sddc+ with the search in the schema.
                r = self.dc_run("-b", cls_dn, "-s", "base", "-sddc+", "defaultSecurityDescriptor")
                self.assertOk(r)
                lines = self.values(r.out, "defaultSecurityDescriptor")
                dacl = [l for l in lines if l.startswith("[DACL] ")]
                self.assertEqual(len(dacl), value.count("(", value.find("D:"),
                                                         value.find("S:") if "S:" in value else None) + 1)
                # With names: domain aliases name the directory's own domain.
                r = self.dc_run("-b", cls_dn, "-s", "base", "-sddc++", "-resolvesids",
                                "defaultSecurityDescriptor")
                lines = self.values(r.out, "defaultSecurityDescriptor")
                self.assertIn("[DACL] ALLOW;;[FC];;;%s\\Domain Admins" % ENV["QUELBY_TEST_DOMAIN"],
                              lines)
                self.assertFalse([l for l in lines if l.endswith(";DA")])
                # Below -sddc+ the value prints as it is.
                r = self.dc_run("-b", cls_dn, "-s", "base", "-sddc", "defaultSecurityDescriptor")
                self.assertEqual(self.values(r.out, "defaultSecurityDescriptor"), [value])
                # -decsddlacl: every ACE, words and names, one line each.
                r = run(["-q", "-decsddlacl", value, "-h", self.dc])
                self.assertEqual(r.code, 0, r)
                body = [l for l in r.out.split("\n") if l.startswith("[")]
                self.assertEqual(len(body) - 2, len(aces), r.out)
                self.assertIn("[DACL] ALLOW;;[FC];;;NT AUTHORITY\\SYSTEM", body)


if __name__ == "__main__":
    unittest.main()
