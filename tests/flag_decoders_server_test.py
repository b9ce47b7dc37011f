"""The flag and enumeration decoders end to end against the test DC: every
decoded line is the value as another client (ldapsearch) reads it, then the
names that a reference decoding built on Samba's published constants gives."""

import base64
import re
import subprocess
import unittest

from flag_names_test import OPENLDAP, SAMBA, openldap_oids, samba_constants
from search_testlib import ENV, ServerTestCase

# Bits that Samba publishes no constant for, with their documented values.
EXTRA = {
    "kGroupType": {"APP_BASIC": 16, "APP_QUERY": 32},
    "kSchemaSystemFlags": {"OPERATIONAL": 8},
}
INDEX_DEPENDENT = {"CONTAINER INDEX", "ANR", "TUPLE INDEX", "SUBTREE INDEX"}


def signed(word):
    return word - (1 << 32) if word & 0x80000000 else word


class Reference:
    """The names a value stands for, from Samba's constants."""

    def __init__(self):
        constants = samba_constants()
        self.bits = {}
        for table, names in SAMBA.items():
            rows = [(stem, constants[expr]) for stem, expr in names.items()]
            for stem, value in EXTRA.get(table, {}).items():
                rows.append((stem, value))
            self.bits[table] = sorted(rows, key=lambda r: r[1])  # names in order of their bits

    def flags(self, table, text, blank="", order=None):
        word = int(text) & 0xFFFFFFFF
        rows = self.bits[table]
        if order is not None:
            rows = sorted(rows, key=lambda r: order.index(r[0]))
        invalid = table == "kSearchFlags" and not word & 1
        names = []
        for stem, bit in rows:
            if word & bit == bit:
                prefix = "INVALID " if invalid and stem in INDEX_DEPENDENT else ""
                names.append("%s%s%s(%d)" % (prefix, stem, blank, bit))
                word &= ~bit
        if word:
            names.append("UNKNOWN_FLAGS%s(%d)" % (blank, signed(word)))
        return ";".join(names)

    def equal(self, table, text):
        for stem, value in self.bits[table]:
            if value == int(text):
                return stem if table == "kBehaviorVersions" else "%s(%d)" % (stem, value)
        return ""


def ldapsearch(base, scope, filt, *attrs):
    """Entries as another client reads them: DN -> {attribute: [values]}."""
    proc = subprocess.run(
        ["ldapsearch", "-LLL", "-o", "ldif-wrap=no", "-x", "-H", "ldap://" + ENV["QUELBY_TEST_DC_HOST"],
         "-D", ENV["QUELBY_TEST_ADMIN_DN"], "-w", ENV["QUELBY_TEST_ADMIN_PASSWORD"],
         "-E", "pr=1000/noprompt", "-b", base, "-s", scope, filt] + list(attrs),
        capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0, proc.stderr
    entries = {}
    text = "\n".join(line for line in proc.stdout.splitlines() if not line.startswith("#"))
    for block in text.split("\n\n"):
        lines = block.strip().splitlines()
        if not lines or not lines[0].startswith("dn:"):
            continue
        if lines[0].startswith("dn:: "):  # non-ASCII DNs come base64-encoded
            lines[0] = "dn:" + base64.b64decode(lines[0][5:]).decode("utf-8")
        values = {}
        for line in lines[1:]:
            name, _, value = line.partition(": ")
            values.setdefault(name.lower(), []).append(value)
        entries[lines[0][3:].strip()] = values
    return entries


def quelby_entries(out):
    """quelby's entries: DN -> {lower-cased attribute: [value lines]}."""
    entries = {}
    for block in re.split(r"\ndn:", "\n" + out)[1:]:
        lines = block.split("\n")
        values = {}
        for line in lines[1:]:
            m = re.match(r">([^:]+): (.*)$", line)
            if m:
                values.setdefault(m.group(1).lower(), []).append(m.group(2))
        entries[lines[0]] = values
    return entries


class FlagDecoders(ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.ref = Reference()
        cls.config = "CN=Configuration," + cls.base
        cls.schema = "CN=Schema," + cls.config

    def compare(self, base, scope, filt, decode, switches, attrs, minimum=1):
        """Runs quelby and ldapsearch over the same entries; decode maps a lower-cased
        attribute name and a raw value to the bracket text quelby must print."""
        want = ldapsearch(base, scope, filt, *attrs)
        self.assertGreaterEqual(len(want), minimum)
        where = ["-null"] if base == "" else ["-b", base]  # the RootDSE
        r = self.dc_run(*where, "-s", scope, "-f", filt, *switches, *attrs, timeout=300)
        self.assertOk(r)
        got = quelby_entries(r.out)
        self.assertEqual(sorted(got), sorted(want))
        checked = 0
        for dn, values in want.items():
            for name, raws in values.items():
                lines = ["%s [%s]" % (raw, decode(name, raw)) for raw in raws]
                self.assertEqual(got[dn].get(name), lines, (dn, name))
                checked += len(raws)
        self.assertGreater(checked, 0)
        return r

    def sam(self, name, raw):
        if name in ("useraccountcontrol", "msds-user-account-control-computed"):
            return self.ref.flags("kAccountControl", raw)
        if name == "samaccounttype":
            return self.ref.equal("kAccountType", raw)
        if name == "grouptype":
            # SECURITY before SYSTEM, as the table orders them.
            return self.ref.flags("kGroupType", raw, order=[
                "GLOBAL", "DOMAIN_LOCAL", "UNIVERSAL", "APP_BASIC", "APP_QUERY", "SECURITY", "SYSTEM"])
        if name == "pwdproperties":
            return self.ref.flags("kPasswordProperties", raw)
        if name == "ntmixeddomain":
            return {"0": "Native Mode", "1": "Mixed Mode"}.get(raw, "")
        if name == "instancetype":
            return self.ref.flags("kInstanceType", raw)
        if name == "msds-behavior-version":
            return self.ref.equal("kBehaviorVersions", raw)
        if name in ("lockoutduration", "lockoutobservationwindow", "forcelogoff", "maxpwdage", "minpwdage"):
            if raw == "-9223372036854775808":
                return "undefined"
            days = name in ("maxpwdage", "minpwdage")
            quotient = abs(int(raw)) // (864000000000 if days else 600000000)
            return "%s%d.00 %s" % ("-" if raw.startswith("-") else "", quotient,
                                   "day(s)" if days else "minutes(s)")
        raise AssertionError(name)

    def test_users_and_computer_account_words(self):
        attrs = ["userAccountControl", "msDS-User-Account-Control-Computed", "sAMAccountType"]
        dns = [ENV["QUELBY_TEST_DISABLED_USER_DN"], ENV["QUELBY_TEST_NOEXPIRE_USER_DN"],
               ENV["QUELBY_TEST_COMPUTER_DN"]]
        # The seeded accounts are what their names say.
        for dn, name in zip(dns, ["DISABLED(2)", "NO_EXPIRE(65536)", "WKST_ACCOUNT(4096)"]):
            r = self.compare(dn, "base", "(objectClass=*)", self.sam, ["-samdc"], attrs)
            self.assertIn(name, self.values(r.out, "userAccountControl")[0])
        # Without -samdc the values print as they came; -nolabel drops the label only.
        r = self.dc_run("-b", dns[0], "-s", "base", "userAccountControl")
        self.assertEqual(self.values(r.out, "userAccountControl"), ["514"])
        r = self.dc_run("-b", dns[0], "-s", "base", "-samdc", "-nolabel", "userAccountControl")
        self.assertOk(r)
        self.assertIn("\n514 [%s]\n" % self.sam("useraccountcontrol", "514"), r.out)

    def test_built_in_and_global_groups(self):
        self.compare(self.base, "sub",
                     "(|(cn=Administrators)(cn=Domain Users)(cn=Enterprise Admins)(cn=Domain Guests))",
                     self.sam, ["-samdc"], ["groupType", "sAMAccountType"], minimum=4)

    def test_domain_head(self):
        r = self.compare(self.base, "base", "(objectClass=*)", self.sam, ["-samdc", "-flagdc"],
                         ["lockoutDuration", "lockOutObservationWindow", "forceLogoff", "maxPwdAge",
                          "minPwdAge", "pwdProperties", "nTMixedDomain", "instanceType",
                          "msDS-Behavior-Version"])
        self.assertEqual(self.values(r.out, "forceLogoff"), ["-9223372036854775808 [undefined]"])

    def test_schema_objects(self):
        def decode(name, raw):
            if name == "searchflags":
                return self.ref.flags("kSearchFlags", raw)
            if name == "systemflags":
                return self.ref.flags("kSchemaSystemFlags", raw)
            if name == "objectclasscategory":
                return ["CLASS-88", "STRUCTURAL", "ABSTRACT", "AUXILIARY"][int(raw)]
            return SYNTAXES[raw]
        self.compare(self.schema, "one", "(|(objectClass=attributeSchema)(objectClass=classSchema))",
                     decode, ["-flagdc", "-schdc"],
                     ["searchFlags", "systemFlags", "attributeSyntax", "objectClassCategory"], minimum=1000)

    def test_partitions_and_extended_rights(self):
        def cross_ref(name, raw):
            return self.ref.flags("kCrossRefSystemFlags", raw)
        self.compare("CN=Partitions," + self.config, "one", "(objectClass=crossRef)", cross_ref,
                     ["-flagdc"], ["systemFlags"], minimum=3)

        def rights(name, raw):
            return self.ref.flags("kValidAccesses", raw, blank=" ")
        self.compare("CN=Extended-Rights," + self.config, "one", "(objectClass=controlAccessRight)",
                     rights, ["-flagdc"], ["validAccesses"], minimum=50)

    def test_objects_outside_schema_and_configuration(self):
        def decode(name, raw):
            if name == "systemflags":
                return self.ref.flags("kObjectSystemFlags", raw)
            return self.ref.flags("kInstanceType", raw)
        self.compare("CN=Builtin," + self.base, "sub", "(objectClass=*)", decode, ["-flagdc"],
                     ["systemFlags", "instanceType"], minimum=10)

    def test_rootdse(self):
        oids = openldap_oids()
        names = {oids[macro]: name for table in OPENLDAP.values() for name, macro in table.items()}
        # Controls and capabilities that OpenLDAP does not name, as documented.
        names.update({
            "1.2.840.113556.1.4.801": "LDAP_SERVER_SD_FLAGS_OID",
            "1.2.840.113556.1.4.1338": "LDAP_SERVER_VERIFY_NAME_OID",
            "1.2.840.113556.1.4.1504": "LDAP_SERVER_ASQ_OID",
            "1.2.840.113556.1.4.1341": "****UNKNOWN****",
            "1.2.840.113556.1.4.800": "LDAP_CAP_ACTIVE_DIRECTORY_OID",
            "1.2.840.113556.1.4.1670": "LDAP_CAP_ACTIVE_DIRECTORY_V51_OID",
            "1.2.840.113556.1.4.1791": "LDAP_CAP_ACTIVE_DIRECTORY_LDAP_INTEG_OID",
            "1.2.840.113556.1.4.1935": "LDAP_CAP_ACTIVE_DIRECTORY_V61_OID",
        })

        def decode(name, raw):
            if name.endswith("functionality"):
                # Samba's levels lie beyond the named ones: empty brackets.
                self.assertGreater(int(raw), 3)
                return ""
            return names.get(raw, "")
        r = self.compare("", "base", "(objectClass=*)", decode, ["-rootdsedc"],
                         ["supportedControl", "supportedCapabilities", "supportedExtension",
                          "domainControllerFunctionality", "domainFunctionality", "forestFunctionality"])
        # Each value on its own line; an OID without a name gets empty brackets.
        self.assertIn(">supportedControl: 1.2.840.113556.1.4.319 [LDAP_PAGED_RESULT_OID_STRING]\n", r.out)
        self.assertIn(">supportedControl: 1.2.840.113556.1.4.2064 []\n", r.out)
        # Without the switch nothing is decoded.
        r = self.dc_run("-null", "-s", "base", "forestFunctionality")
        self.assertEqual(self.values(r.out, "forestFunctionality"), ["4"])


# The directory syntaxes (the X.500 attribute-syntax OIDs of the directory's schema).
SYNTAXES = {
    "2.5.5.0": "UNDEFINED", "2.5.5.1": "OBJECT (DN)", "2.5.5.2": "STRING",
    "2.5.5.3": "STRING (CASE-SENSITIVE)", "2.5.5.4": "STRING (CASE-IGNORE TELETEX)",
    "2.5.5.5": "STRING (PRINTABLE/IA5)", "2.5.5.6": "STRING (NUMERIC)", "2.5.5.7": "OBJECT (DN-BINARY)",
    "2.5.5.8": "BOOLEAN", "2.5.5.9": "INTEGER/ENUMERATION", "2.5.5.10": "STRING (OCTET)",
    "2.5.5.11": "STRING (UTC/GENERALIZED TIME)", "2.5.5.12": "STRING (UNICODE)",
    "2.5.5.13": "OBJECT (PRESENTATION ADDRESS)", "2.5.5.14": "OBJECT (DN-STRING)",
    "2.5.5.15": "STRING (SECURITY DESCRIPTOR)", "2.5.5.16": "LARGEINTEGER", "2.5.5.17": "STRING (SID)",
}


if __name__ == "__main__":
    unittest.main()
