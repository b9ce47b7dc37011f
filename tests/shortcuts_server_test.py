"""Shortcuts end to end against the test DC: each returns what the equivalent
hand-written query returns (checked with quelby and with another client)."""

import re
import unittest

from search_testlib import ENV, ServerTestCase
from search_values_server_test import ldbsearch

BIT = "1.2.840.113556.1.4.803"


def escaped(hex_bytes):
    return "".join("\\" + hex_bytes[i:i + 2] for i in range(0, len(hex_bytes), 2))


def sid_bytes(text):
    parts = text.split("-")
    subs = [int(p) for p in parts[3:]]
    out = bytes([int(parts[1]), len(subs)]) + int(parts[2]).to_bytes(6, "big")
    for s in subs:
        out += s.to_bytes(4, "little")
    return out.hex()


def guid_bytes(text):
    g = text.replace("-", "")
    return (bytes.fromhex(g[0:8])[::-1] + bytes.fromhex(g[8:12])[::-1]
            + bytes.fromhex(g[12:16])[::-1] + bytes.fromhex(g[16:])).hex()


class Shortcuts(ServerTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.config = "CN=Configuration," + cls.base
        cls.schema = "CN=Schema," + cls.config

    def entries(self, out):
        """The entries as printed: from the first DN line to the closing count."""
        lines = out.split("\n")
        start = next((i for i, l in enumerate(lines) if l.startswith("dn:")), None)
        self.assertIsNotNone(start, out[-800:])
        return "\n".join(lines[start:])

    def same(self, shortcut, hand, want_dns=None, some=True):
        """The shortcut prints what the hand-written query prints; returns the output."""
        r = self.dc_run(*shortcut)
        self.assertOk(r)
        h = self.dc_run(*hand)
        self.assertOk(h)
        if some:
            self.assertGreater(self.count(r.out), 0, r.out[-800:])
        self.assertEqual(self.entries(r.out), self.entries(h.out))
        if want_dns is not None:
            self.assertEqual(sorted(self.dns(r.out)), want_dns)
        return r.out

    # Partitions and functional levels.
    def test_modes_and_masterncs(self):
        out = self.same(["-sc", "modes", "cn"],
                        ["-b", "", "-s", "base", "-rootdsedc", "-flagdc", "-oao", "<NOT SET>",
                         "domainControllerFunctionality", "domainFunctionality",
                         "forestFunctionality"], [""])
        self.assertNotIn(">cn:", out)
        sites = "CN=Sites," + self.config
        out = self.same(["-sc", "masterncs"],
                        ["-b", sites, "-f", "(objectcategory=ntdsdsa)", "-flagdc", "-oao",
                         "<NOT SET>", "msDS-hasMasterNCs"],
                        self.ldapsearch_dns(sites, "sub", "(objectCategory=nTDSDSA)"))
        masters = self.values(out, "msDS-hasMasterNCs")
        for nc in (self.base, self.config, self.schema):
            self.assertIn(nc, masters)

    def test_domainncs(self):
        partitions = "CN=Partitions," + self.config
        out = self.same(["-sc", "domainncs"],
                        ["-b", partitions, "-f", "(systemflags:%s:=2)" % BIT, "-oao", "<NOT SET>",
                         "nETBIOSName", "nCName", "dNSRoot"],
                        self.ldapsearch_dns(partitions, "sub", "(systemFlags:%s:=2)" % BIT))
        self.assertIn(self.base, self.values(out, "nCName"))

    # Identity, SID and GUID lookups.
    def test_whoami_and_adsid(self):
        out = self.same(["-sc", "whoami"],
                        ["-b", "", "-s", "base", "-rootdsedc", "-flagdc", "-oao", "<NOT SET>",
                         "msDS-PrincipalName", "tokenGroups"])
        # The bound administrator's token holds Domain Admins.
        self.assertTrue(any(v.endswith("-512") for v in self.values(out, "tokenGroups")), out)
        sid = ldbsearch(self.user_dn, "objectSid")["objectSid"]
        self.same(["-sc", "adsid:" + sid],
                  ["-gc", "-b", "", "-f", "(|(objectsid=%s)(sidhistory=%s))"
                   % ((escaped(sid_bytes(sid)),) * 2)], [self.user_dn])

    # Property sets, validated writes and extended rights.
    def test_extended_rights_lists(self):
        rights = "CN=Extended-Rights," + self.config
        self.same(["-sc", "listxrights"],
                  ["-b", rights, "-s", "one", "-f", "(validaccesses=256)", "-sort", "displayname",
                   "-flagdc"],
                  self.ldapsearch_dns(rights, "one", "(validAccesses=256)"))
        out = self.same(["-sc", "findpropsetrg:Public Information"],
                        ["-b", rights, "-s", "one", "-f", "(displayname=Public Information)",
                         "rightsGuid"])
        self.assertEqual(self.values(out, "rightsGuid"), ["e48d0154-bcf8-11d1-8702-00c04fb96050"])
        r = self.dc_run("-sc", "listpropsetsl")
        self.assertOk(r)
        names = [l for l in r.out.split("\n") if l and not l[0].isspace()]
        self.assertIn("Public Information", names)
        self.assertIn("Personal Information", names)

    # Object GUID lookups.
    def test_adguid(self):
        guid = ldbsearch(self.user_dn, "objectGUID")["objectGUID"]
        self.same(["-sc", "adguid:" + guid],
                  ["-gc", "-b", "", "-f", "(objectguid=%s)" % escaped(guid_bytes(guid))],
                  [self.user_dn])
        self.same(["-sc", "adguid:" + guid.upper(), "-b", self.ou, "cn"],
                  ["-gc", "-b", self.ou, "-f", "(objectguid=%s)" % escaped(guid_bytes(guid)),
                   "cn"], [self.user_dn])
        # Every partition below the null base, with the phantom-root control.
        self.same(["-sc", "adamguid:" + guid],
                  ["-b", "", "-pr", "-f", "(objectguid=%s)" % escaped(guid_bytes(guid))],
                  [self.user_dn])

    # Schema queries.
    def test_schema_queries(self):
        self.same(["-sc", "s:user"],
                  ["-schema", "-s", "one", "-f", "(|(ldapdisplayname=user)(name=user))", "-schdc",
                   "-flagdc"], ["CN=User," + self.schema])
        self.same(["-sc", "indexed", "-dn"],
                  ["-schema", "-s", "one", "-f", "(searchFlags:%s:=1)" % BIT, "-dn"],
                  self.ldapsearch_dns(self.schema, "one", "(searchFlags:%s:=1)" % BIT))
        r = self.dc_run("-sc", "sl:msds-a*")
        self.assertOk(r)
        names = [l for l in r.out.split("\n") if l.lower().startswith("msds-a")]
        self.assertGreater(len(names), 3)
        self.assertEqual(names, sorted(names, key=str.lower))

    def test_schema_dump(self):
        out = self.same(["-sc", "sdump:class"],
                        ["-schema", "-s", "one", "-f", "(objectcategory=classSchema)", "-sort",
                         "name", "-oao", "<NOT SET>", "-replacedn", "_schema;_config",
                         "adminDescription", "adminDisplayName", "attributeID",
                         "attributeSecurityGUID", "attributeSyntax", "auxiliaryClass", "cn",
                         "defaultHidingValue", "defaultObjectCategory",
                         "defaultSecurityDescriptor", "description", "extendedCharsAllowed",
                         "governsID", "isDefunct", "isMemberOfPartialAttributeSet",
                         "isSingleValued", "lDAPDisplayName", "linkID", "mAPIID", "mayContain",
                         "mustContain", "objectClass", "objectClassCategory", "oMSyntax",
                         "possSuperiors", "rangeLower", "rangeUpper", "rDNAttID",
                         "schemaIDGUID", "searchFlags", "showInAdvancedViewOnly", "subClassOf",
                         "systemAuxiliaryClass", "systemFlags", "systemMayContain",
                         "systemMustContain", "systemOnly", "systemPossSuperiors"])
        self.assertEqual(self.count(out),
                         len(self.ldapsearch_dns(self.schema, "one", "(objectClass=classSchema)")))
        self.assertIn("dn:CN=User,<SCHEMA>\n", out)
        self.assertNotIn(self.schema, self.entries(out), "schema DN not replaced")

    # Tombstone and linked attributes.
    def test_tombstone_and_linked(self):
        self.same(["-sc", "tombstone", "-dn"],
                  ["-schema", "-s", "one", "-f", "(searchFlags:%s:=8)" % BIT, "-dn"],
                  self.ldapsearch_dns(self.schema, "one", "(searchFlags:%s:=8)" % BIT))
        fwd = "(&(linkid=*)(!(linkid:%s:=1)))" % BIT
        out = self.same(["-sc", "linked:fwd", "-dn"],
                        ["-schema", "-s", "one", "-f", fwd, "-sort", "linkid", "-dn"],
                        self.ldapsearch_dns(self.schema, "one", fwd))
        self.assertIn("CN=Member," + self.schema, self.dns(out))

    # Universal group caching: not in use on the test DC, so empty like the hand-written query.
    def test_universal_group_caching(self):
        sites = "CN=Sites," + self.config
        ugc = "(&(objectCategory=nTDSSiteSettings)(options:%s:=32))" % BIT
        self.assertEqual(self.ldapsearch_dns(sites, "sub", ugc), [])
        for shortcut, hand in ((["-sc", "ugcenabled"], ["-b", sites, "-f", ugc, "-dn"]),
                               (["-sc", "usedugc"], ["-default", "-f", "(msDS-Site-Affinity=*)",
                                                     "msDS-Site-Affinity"])):
            r = self.dc_run(*shortcut)
            self.assertOk(r)
            self.assertEqual(self.count(r.out), 0)
            self.assertEqual(self.count(self.dc_run(*hand).out), 0)

    # Quick object lookups.
    def test_quick_lookups(self):
        self.same(["-sc", "u:" + ENV["QUELBY_TEST_USER"], "cn"],
                  ["-gc", "-b", "", "-f", "(&(samaccounttype=805306368)(samaccountname=%s))"
                   % ENV["QUELBY_TEST_USER"], "cn"], [self.user_dn])
        self.same(["-sc", "g:QG-Alpha"],
                  ["-gc", "-b", "", "-f", "(&(objectcategory=group)(name=QG-Alpha))"],
                  ["CN=QG-Alpha," + self.ou])
        self.same(["-sc", "kids:" + self.ou, "-dn"], ["-b", self.ou, "-s", "one", "-dn"],
                  self.ldapsearch_dns(self.ou, "one", "(objectClass=*)"))
        self.same(["-sc", "c:QWS0*", "-b", self.ou, "-dn"],
                  ["-b", self.ou, "-f", "(objectcategory=computer)", "-dn"],
                  [ENV["QUELBY_TEST_COMPUTER_DN"]])

    # Role holders.
    def test_fsmo_prints_the_five_role_holders(self):
        ntds = "CN=NTDS Settings,CN=%s,CN=Servers,CN=Default-First-Site-Name,CN=Sites,%s" % (
            ENV["QUELBY_TEST_DC_SHORT"].upper(), self.config)
        out = self.same(["-sc", "fsmo"],
                        ["-b", "", "-pr", "-f", "(fSMORoleOwner=*)", "fSMORoleOwner"])
        holders = dict(zip(self.dns(out), self.values(out, "fSMORoleOwner")))
        roles = [self.base, "CN=RID Manager$,CN=System," + self.base,
                 "CN=Infrastructure," + self.base, "CN=Partitions," + self.config, self.schema]
        for role in roles:
            self.assertIn(role, holders)
            self.assertEqual(holders[role].lower(), ntds.lower())
        self.same(["-sc", "fsmo:PDC"],
                  ["-default", "-s", "base", "-f", "(fSMORoleOwner=*)", "fSMORoleOwner"],
                  [self.base])
        self.same(["-sc", "fsmo:forest"],
                  ["-config", "-pr", "-f", "(fSMORoleOwner=*)", "fSMORoleOwner"],
                  sorted(["CN=Partitions," + self.config, self.schema]))

    def test_computed_user_attributes(self):
        self.same(["-sc", "caua", "-b", self.user_dn, "-s", "base", "cn"],
                  ["-b", self.user_dn, "-s", "base", "cn", "*", "ms-DS-UserAccountAutoLocked",
                   "ms-DS-UserEncryptedTextPasswordAllowed", "ms-DS-UserPasswordNotRequired",
                   "msDS-User-Account-Control-Computed", "msDS-UserAccountDisabled",
                   "msDS-UserDontExpirePassword", "msDS-UserPasswordExpired"], [self.user_dn])

    # Security descriptors.
    def test_descriptor_shortcuts(self):
        self.same(["-sc", "sdfilter", "-b", self.user_dn, "-s", "base"],
                  ["-b", self.user_dn, "-s", "base", "-f", "*", "-sddl++", "-resolvesids",
                   "ntsecuritydescriptor"], [self.user_dn])
        self.same(["-sc", "explaces", "-b", self.ou, "-s", "one", "-f", "(objectclass=group)"],
                  ["-b", self.ou, "-s", "one", "-f", "(objectclass=group)", "-recmute",
                   "-nogroup", "-noowner", "-nosacl", "-sddl++", "-resolvesids",
                   "-sddlnotfilter", ";inherited", "ntsecuritydescriptor"], some=False)

    # Exchange: no organisation on the test DC, so nothing is found.
    def test_exchange_shortcuts_find_nothing(self):
        for sc in ("exchmbxs", "exchaddresses", "exchme:users", "exchprimarysmtp"):
            r = self.dc_run("-sc", sc)
            self.assertOk(r)
            self.assertEqual(self.count(r.out), 0, sc)
            self.assertEqual(self.dns(r.out), [], sc)
            self.assertTrue(r.out.endswith("\n\n0 Objects returned\n"), r)
        hand = self.dc_run("-gc", "-b", "", "-f", "(&(mailnickname=*)(homemdb=*))")
        self.assertTrue(hand.out.endswith("\n\n0 Objects returned\n"), hand)

    # Replication and metadata.
    def test_metadata_shortcuts(self):
        self.same(["-sc", "objmeta:" + self.user_dn],
                  ["-b", self.user_dn, "-s", "base", "msDS-ReplAttributeMetaData;binary",
                   "msDS-ReplValueMetaData;binary"], [self.user_dn])
        group = "CN=QG-Alpha," + self.ou
        self.same(["-sc", "legacylvr:" + group],
                  ["-b", group, "-s", "base", "-mvfilterdelim", "*", "-mvfilter",
                   "msDS-ReplValueMetaData;binary=legacy", "msDS-ReplValueMetaData;binary"],
                  [group])
        self.same(["-sc", "ncrepl", "-b", self.base],
                  ["-b", self.base, "-s", "base", "-oao", "<NOT SET>", "msDS-NCReplCursors;binary",
                   "msDS-NCReplInboundNeighbors;binary", "msDS-NCReplOutboundNeighbors;binary"],
                  [self.base])


if __name__ == "__main__":
    unittest.main()
