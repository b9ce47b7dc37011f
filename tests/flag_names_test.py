"""The decoders' flag values and OIDs checked against sources that are not
ours: Samba's published constants (imported with the system's Python, where
Samba's modules live) and OpenLDAP's <ldap.h>. Every row named here must be in
the decoder tables with the same value, and its "(n)" must be that value."""

import json
import os
import re
import subprocess
import unittest

SOURCE = os.path.join(os.environ.get("QUELBY_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..")),
                      "values", "flag_decoders.cc")

# Our name (without its number) -> Samba's constant, table by table.
SAMBA = {
    "kAccountControl": {
        "SCRIPT": "dsdb.UF_SCRIPT",
        "DISABLED": "dsdb.UF_ACCOUNTDISABLE",
        "HOMEDIR_REQ": "dsdb.UF_HOMEDIR_REQUIRED",
        "LOCKED": "dsdb.UF_LOCKOUT",
        "PWD_NOT_REQ": "dsdb.UF_PASSWD_NOTREQD",
        "PASSWD_NO_CHG": "dsdb.UF_PASSWD_CANT_CHANGE",
        "ENC_TXT_PWD": "dsdb.UF_ENCRYPTED_TEXT_PASSWORD_ALLOWED",
        "LOCAL_USER": "dsdb.UF_TEMP_DUPLICATE_ACCOUNT",
        "NORMAL_USER": "dsdb.UF_NORMAL_ACCOUNT",
        "TRUST_ACCT": "dsdb.UF_INTERDOMAIN_TRUST_ACCOUNT",
        "WKST_ACCOUNT": "dsdb.UF_WORKSTATION_TRUST_ACCOUNT",
        "DC": "dsdb.UF_SERVER_TRUST_ACCOUNT",
        "NO_EXPIRE": "dsdb.UF_DONT_EXPIRE_PASSWD",
        "MNS_LOGON_ACCT": "dsdb.UF_MNS_LOGON_ACCOUNT",
        "SMARTCARD_REQ": "dsdb.UF_SMARTCARD_REQUIRED",
        "TRUST_DELEG": "dsdb.UF_TRUSTED_FOR_DELEGATION",
        "NOT_DELEG": "dsdb.UF_NOT_DELEGATED",
        "DES_ONLY": "dsdb.UF_USE_DES_KEY_ONLY",
        "NO_PREAUTH": "dsdb.UF_DONT_REQUIRE_PREAUTH",
        "EXPIRED": "dsdb.UF_PASSWORD_EXPIRED",
        "TRUSTED_TO_AUTH_FOR_DELEG": "dsdb.UF_TRUSTED_TO_AUTHENTICATE_FOR_DELEGATION",
    },
    "kAccountType": {
        "GROUP": "dsdb.ATYPE_SECURITY_GLOBAL_GROUP",
        "NON-SEC_GROUP": "dsdb.ATYPE_DISTRIBUTION_GLOBAL_GROUP",
        "ALIAS": "dsdb.ATYPE_SECURITY_LOCAL_GROUP",
        "NON-SEC ALIAS": "dsdb.ATYPE_DISTRIBUTION_LOCAL_GROUP",
        "USER": "dsdb.ATYPE_NORMAL_ACCOUNT",
        "COMPUTER": "dsdb.ATYPE_WORKSTATION_TRUST",
        "TRUST": "dsdb.ATYPE_INTERDOMAIN_TRUST",
    },
    # Samba publishes whole group types; the single bits are their differences.
    "kGroupType": {
        "GLOBAL": "dsdb.GTYPE_DISTRIBUTION_GLOBAL_GROUP",
        "DOMAIN_LOCAL": "dsdb.GTYPE_DISTRIBUTION_DOMAIN_LOCAL_GROUP",
        "UNIVERSAL": "dsdb.GTYPE_DISTRIBUTION_UNIVERSAL_GROUP",
        "SECURITY": "dsdb.GTYPE_SECURITY_GLOBAL_GROUP & ~dsdb.GTYPE_DISTRIBUTION_GLOBAL_GROUP",
        "SYSTEM": "dsdb.GTYPE_SECURITY_BUILTIN_LOCAL_GROUP & ~dsdb.GTYPE_SECURITY_DOMAIN_LOCAL_GROUP",
    },
    "kPasswordProperties": {
        "DOMAIN_PASSWORD_COMPLEX": "samr.DOMAIN_PASSWORD_COMPLEX",
        "DOMAIN_PASSWORD_NO_ANON_CHANGE": "samr.DOMAIN_PASSWORD_NO_ANON_CHANGE",
        "DOMAIN_PASSWORD_NO_CLEAR_CHANGE": "samr.DOMAIN_PASSWORD_NO_CLEAR_CHANGE",
        "DOMAIN_LOCKOUT_ADMINS": "samr.DOMAIN_PASSWORD_LOCKOUT_ADMINS",
        "DOMAIN_PASSWORD_STORE_CLEARTEXT": "samr.DOMAIN_PASSWORD_STORE_CLEARTEXT",
        "DOMAIN_REFUSE_PASSWORD_CHANGE": "samr.DOMAIN_REFUSE_PASSWORD_CHANGE",
    },
    "kSearchFlags": {
        "INDEX": "dsdb.SEARCH_FLAG_ATTINDEX",
        "CONTAINER INDEX": "dsdb.SEARCH_FLAG_PDNTATTINDEX",
        "ANR": "dsdb.SEARCH_FLAG_ANR",
        "PRESERVE TOMBSTONE": "dsdb.SEARCH_FLAG_PRESERVEONDELETE",
        "COPY VALUE": "dsdb.SEARCH_FLAG_COPY",
        "TUPLE INDEX": "dsdb.SEARCH_FLAG_TUPLEINDEX",
        "SUBTREE INDEX": "dsdb.SEARCH_FLAG_SUBTREEATTRINDEX",
        "CONFIDENTIAL": "dsdb.SEARCH_FLAG_CONFIDENTIAL",
    },
    "kSchemaSystemFlags": {
        "NOT REPLICATED": "dsdb.DS_FLAG_ATTR_NOT_REPLICATED",
        "PAS-ATTR": "dsdb.DS_FLAG_ATTR_REQ_PARTIAL_SET_MEMBER",
        "CONSTRUCTED": "dsdb.DS_FLAG_ATTR_IS_CONSTRUCTED",
        "CAT-1": "dsdb.SYSTEM_FLAG_SCHEMA_BASE_OBJECT",
        "IS-RDN": "dsdb.SYSTEM_FLAG_ATTR_IS_RDN",
        "NO-RENAME": "dsdb.SYSTEM_FLAG_DOMAIN_DISALLOW_RENAME",
    },
    "kValidAccesses": {
        "SELF": "security.SEC_ADS_SELF_WRITE",
        "READ_PROP": "security.SEC_ADS_READ_PROP",
        "WRITE_PROP": "security.SEC_ADS_WRITE_PROP",
        "CONTROL_ACCESS": "security.SEC_ADS_CONTROL_ACCESS",
    },
    "kCrossRefSystemFlags": {
        "XREF_NC_NTDS": "dsdb.SYSTEM_FLAG_CR_NTDS_NC",
        "XREF_NC_Domain": "dsdb.SYSTEM_FLAG_CR_NTDS_DOMAIN",
        "XREF_NC_NOT_GC_REPLICATED": "dsdb.SYSTEM_FLAG_CR_NTDS_NOT_GC_REPLICATED",
        "NO_MOVE_TO_DEL_OBJS": "dsdb.SYSTEM_FLAG_DISALLOW_MOVE_ON_DELETE",
        "CAN_MOVE_RESTRICTED": "dsdb.SYSTEM_FLAG_CONFIG_ALLOW_LIMITED_MOVE",
        "CAN_MOVE_UNRESTRICTED": "dsdb.SYSTEM_FLAG_CONFIG_ALLOW_MOVE",
        "CAN_RENAME": "dsdb.SYSTEM_FLAG_CONFIG_ALLOW_RENAME",
        "NO_DELETE": "dsdb.SYSTEM_FLAG_DISALLOW_DELETE",
    },
    "kObjectSystemFlags": {
        "NO_MOVE_TO_DEL_OBJS": "dsdb.SYSTEM_FLAG_DISALLOW_MOVE_ON_DELETE",
        "NO_MOVE": "dsdb.SYSTEM_FLAG_DOMAIN_DISALLOW_MOVE",
        "NO_RENAME": "dsdb.SYSTEM_FLAG_DOMAIN_DISALLOW_RENAME",
        "NO_DELETE": "dsdb.SYSTEM_FLAG_DISALLOW_DELETE",
    },
    "kInstanceType": {
        "NC_HEAD": "dsdb.INSTANCE_TYPE_IS_NC_HEAD",
        "NOT_INSTANTIATED": "dsdb.INSTANCE_TYPE_UNINSTANT",
        "WRITABLE": "dsdb.INSTANCE_TYPE_WRITE",
        "NC_ABOVE_HELD": "dsdb.INSTANCE_TYPE_NC_ABOVE",
        "NC_UNDER_CONSTRUCTION": "dsdb.INSTANCE_TYPE_NC_COMING",
        "NC_BEING_REMOVED": "dsdb.INSTANCE_TYPE_NC_GOING",
    },
    "kBehaviorVersions": {
        "Windows 2000 Mode": "dsdb.DS_DOMAIN_FUNCTION_2000",
        "Windows Server 2003 Interim Mode": "dsdb.DS_DOMAIN_FUNCTION_2003_MIXED",
        "Windows Server 2003 Mode": "dsdb.DS_DOMAIN_FUNCTION_2003",
        "Windows Longhorn Mode": "dsdb.DS_DOMAIN_FUNCTION_2008",
    },
}

# Our OID name -> OpenLDAP's macro of the same OID.
OPENLDAP = {
    "kSupportedControls": {
        "LDAP_PAGED_RESULT_OID_STRING": "LDAP_CONTROL_PAGEDRESULTS",
        "LDAP_SERVER_SORT_OID": "LDAP_CONTROL_SORTREQUEST",
        "LDAP_SERVER_RESP_SORT_OID": "LDAP_CONTROL_SORTRESPONSE",
        "LDAP_SERVER_NOTIFICATION_OID": "LDAP_CONTROL_X_SERVER_NOTIFICATION",
        "LDAP_SERVER_SHOW_DELETED_OID": "LDAP_CONTROL_X_SHOW_DELETED",
        "LDAP_SERVER_LAZY_COMMIT_OID": "LDAP_CONTROL_X_LAZY_COMMIT",
        "LDAP_SERVER_DIRSYNC_OID": "LDAP_CONTROL_X_DIRSYNC",
        "LDAP_SERVER_EXTENDED_DN_OID": "LDAP_CONTROL_X_EXTENDED_DN",
        "LDAP_SERVER_TREE_DELETE_OID": "LDAP_CONTROL_X_TREE_DELETE",
        "LDAP_SERVER_DOMAIN_SCOPE_OID": "LDAP_CONTROL_X_DOMAIN_SCOPE",
        "LDAP_SERVER_SEARCH_OPTIONS_OID": "LDAP_CONTROL_X_SEARCH_OPTIONS",
        "LDAP_SERVER_PERMISSIVE_MODIFY_OID": "LDAP_CONTROL_X_PERMISSIVE_MODIFY",
        "LDAP_SERVER_RANGE_OPTION_OID": "LDAP_CONTROL_X_INCREMENTAL_VALUES",
        "LDAP_CONTROL_VLVREQUEST": "LDAP_CONTROL_VLVREQUEST",
        "LDAP_CONTROL_VLVRESPONSE": "LDAP_CONTROL_VLVRESPONSE",
    },
    "kSupportedExtensions": {
        "LDAP_SERVER_START_TLS_OID": "LDAP_EXOP_START_TLS",
        "LDAP_TTL_REFRESH_OID": "LDAP_EXOP_REFRESH",
        "LDAP_SERVER_WHO_AM_I_OID": "LDAP_EXOP_WHO_AM_I",
    },
}


def table_rows():
    """Array name -> list of (value, name text) as the decoder tables hold them."""
    with open(SOURCE) as f:
        text = f.read()
    tables = {}
    for m in re.finditer(r"constexpr \w+ (k\w+)\[\] = \{(.*?)\n\};", text, re.S):
        rows = re.findall(r'\{\s*(0x[0-9A-Fa-f]+|\d+|"[^"]*"),\s*"([^"]*)"', m.group(2))
        tables[m.group(1)] = [(v.strip('"') if v.startswith('"') else int(v, 0), n) for v, n in rows]
    return tables


def samba_constants():
    expressions = {e for table in SAMBA.values() for e in table.values()}
    program = ("import json, sys\nimport samba.dsdb as dsdb\n"
               "from samba.dcerpc import samr, security\n"
               "print(json.dumps({e: eval(e) & 0xFFFFFFFF for e in json.load(sys.stdin)}))\n")
    proc = subprocess.run(["/usr/bin/python3", "-c", program], input=json.dumps(sorted(expressions)),
                          capture_output=True, text=True, timeout=60)
    if proc.returncode != 0:
        raise AssertionError("Samba's Python modules are needed (scripts/setup.sh installs them):\n"
                             + proc.stderr)
    return json.loads(proc.stdout)


def openldap_oids():
    with open("/usr/include/ldap.h") as f:
        return dict(re.findall(r'#define\s+(LDAP_\w+)\s+"([0-9.]+)"', f.read()))


class FlagNames(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tables = table_rows()

    def rows(self, table):
        self.assertIn(table, self.tables)
        return self.tables[table]

    def test_bits_and_values_match_samba(self):
        constants = samba_constants()
        for table, names in SAMBA.items():
            rows = self.rows(table)
            by_stem = {}
            for value, name in rows:
                m = re.fullmatch(r"(.*?) ?\((\d+)\)", name)
                if m:
                    # The number written in the name is the row's value.
                    self.assertEqual(int(m.group(2)), value, (table, name))
                    by_stem[m.group(1)] = value
                else:
                    by_stem[name] = value
            for stem, expression in names.items():
                with self.subTest(table=table, name=stem):
                    self.assertIn(stem, by_stem)
                    self.assertEqual(by_stem[stem], constants[expression], expression)

    def test_oids_match_openldap(self):
        oids = openldap_oids()
        for table, names in OPENLDAP.items():
            by_name = {name: oid for oid, name in self.rows(table)}
            for name, macro in names.items():
                with self.subTest(table=table, name=name):
                    self.assertEqual(by_name.get(name), oids[macro], macro)

    def test_every_table_is_read(self):
        # The parser above sees the rows of every table it checks, and more.
        counts = {t: len(r) for t, r in self.tables.items()}
        self.assertEqual(counts["kAccountControl"], 21)
        self.assertEqual(counts["kSupportedControls"], 25)
        self.assertEqual(counts["kSyntaxes"], 18)
        self.assertEqual(counts["kPackageDeployment"], 18)


if __name__ == "__main__":
    unittest.main()
