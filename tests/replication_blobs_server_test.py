"""Directory blobs stored on the real DC, read back and decoded. Samba holds
no retired signatures of its own and lets only the system write them, so the
test stores one through the DC's local database (as the system) and checks
quelby's lines against Python's own reading of the bytes."""

import base64
import datetime
import os
import struct
import subprocess
import unittest
import uuid

from search_testlib import ENV, ServerTestCase


def ldap_get(dn, attr):
    proc = subprocess.run(
        ["ldapsearch", "-LLL", "-o", "ldif-wrap=no", "-x", "-H", "ldap://" + ENV["QUELBY_TEST_DC_HOST"],
         "-D", ENV["QUELBY_TEST_ADMIN_DN"], "-w", ENV["QUELBY_TEST_ADMIN_PASSWORD"],
         "-b", dn, "-s", "base", "(objectClass=*)", attr],
        capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr
    return proc.stdout


def signature_blob(count, records):
    blob = struct.pack("<IIII", 1, 0, count, 0)
    for guid, seconds, usn in records:
        blob += guid.bytes_le + struct.pack("<qq", seconds, usn)
    return blob


class RetiredSignatures(ServerTestCase):
    RECORDS = [(uuid.UUID("01020304-0506-0708-090a-0b0c0d0e0f10"), 12625646706, 4711),
               (uuid.UUID("a1b2c3d4-0000-1111-2222-333344445555"), 13300000000, -3)]

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        state = ENV.get("QUELBY_TEST_STATE", "")
        cls.sam = os.path.join(state, "dc", "private", "sam.ldb")
        cls.conf = os.path.join(state, "dc", "etc", "smb.conf")
        if not (os.path.exists(cls.sam) and os.path.exists(cls.conf)):
            raise unittest.SkipTest("the DC's local database is not at hand")
        out = subprocess.run(
            ["ldapsearch", "-LLL", "-o", "ldif-wrap=no", "-x", "-H", "ldap://" + cls.dc,
             "-D", ENV["QUELBY_TEST_ADMIN_DN"], "-w", ENV["QUELBY_TEST_ADMIN_PASSWORD"],
             "-b", "CN=Configuration," + cls.base, "(objectClass=nTDSDSA)", "1.1"],
            capture_output=True, text=True, timeout=60).stdout
        cls.ntds = [line[4:] for line in out.splitlines() if line.startswith("dn: ")][0]

    def store(self, blob):
        ldif = ("dn: %s\nchangetype: modify\nreplace: retiredReplDSASignatures\n"
                "retiredReplDSASignatures:: %s\n" % (self.ntds, base64.b64encode(blob).decode()))
        proc = subprocess.run(["ldbmodify", "-H", self.sam, "--configfile=" + self.conf],
                              input=ldif, capture_output=True, text=True, timeout=60)
        self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
        # The DC returns the stored bytes as they are.
        self.assertIn(base64.b64encode(blob).decode(), ldap_get(self.ntds, "retiredReplDSASignatures"))

    def expected(self, time_form):
        lines = []
        for guid, seconds, usn in self.RECORDS:
            ticks = seconds * 10000000
            if time_form == "raw":
                text = str(ticks)
            else:
                moment = datetime.datetime(1601, 1, 1) + datetime.timedelta(seconds=seconds)
                text = moment.strftime("%Y/%m/%d-%H:%M:%S") + " Coordinated Universal Time"
            lines.append("DSA_SIG={%s} RETIRE_USN=%d RETIRE_TIME=%s" % (str(guid).upper(), usn, text))
        return lines

    def test_stored_signatures_decode_as_python_reads_them(self):
        self.store(signature_blob(2, self.RECORDS))
        r = self.dc_run("-b", self.ntds, "-s", "base", "retiredReplDSASignatures")
        self.assertOk(r)
        self.assertEqual(self.values(r.out, "retiredReplDSASignatures"), self.expected("raw"))
        r = self.dc_run("-b", self.ntds, "-s", "base", "-tdcs", "-utc", "retiredReplDSASignatures")
        self.assertOk(r)
        self.assertEqual(self.values(r.out, "retiredReplDSASignatures"), self.expected("date"))

    def test_a_count_beyond_the_stored_records_ends_in_a_warning(self):
        self.store(signature_blob(5, self.RECORDS))
        r = self.dc_run("-b", self.ntds, "-s", "base", "-nolabel", "retiredReplDSASignatures")
        self.assertOk(r)
        lines = [l for l in r.out.splitlines() if l.startswith(("DSA_SIG=", "WARN: "))]
        self.assertEqual(lines, self.expected("raw") +
                         ["WARN: Blob ends before its contents, can't decode the rest."])


class ConstructedRecords(ServerTestCase):
    def test_attributes_the_dc_does_not_construct_print_nothing(self):
        names = ["msDS-ReplAttributeMetaData;binary", "msDS-ReplValueMetaData;binary",
                 "msDS-NCReplCursors;binary", "msDS-ReplAllInboundNeighbors;binary",
                 "msDS-ReplPendingOps;binary", "msDS-ReplQueueStatistics;binary"]
        r = self.dc_run("-b", self.base, "-s", "base", *names)
        self.assertOk(r)
        self.assertEqual(self.dns(r.out), [self.base])
        self.assertNotIn("\n>msDS-", r.out)


if __name__ == "__main__":
    unittest.main()
