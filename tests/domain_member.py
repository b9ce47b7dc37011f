"""Running a command the way a member of the test domain sees the network: the
domain's name resolving to its DC, and its DNS answering SRV queries, as AD's
DNS does. The command runs in a private mount namespace (root and unshare
needed) whose /etc/hosts is a copy of the machine's with lines added after the
existing ones, so that the reverse lookup of an address still gives the name
listed first; /etc/resolv.conf may name a DnsResponder. The machine's own
files are never touched."""

import os
import re
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import unittest

from driver_testlib import base_env
from search_testlib import ENV, ServerTestCase

# Mounts the copies given as arguments, then runs the rest of them.
_MOUNT_AND_RUN = ('mount --bind "$1" /etc/hosts || exit 125; '
                  'if [ -n "$2" ]; then mount --bind "$2" /etc/resolv.conf || exit 125; fi; shift 2; exec "$@"')


def member_unavailable():
    """Why commands cannot run as a domain member here, or None."""
    if os.geteuid() != 0:
        return "running as a domain member needs root (a private mount namespace)"
    return None if shutil.which("unshare") else "unshare is not installed"


class MemberTestCase(ServerTestCase):
    """A server test that runs commands as a domain member: skipped where it cannot."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if member_unavailable():
            raise unittest.SkipTest(member_unavailable())
        cls.ip, cls.domain = ENV["QUELBY_TEST_IP"], ENV["QUELBY_TEST_DNS_DOMAIN"]

    def chase_through(self, server, reason):
        """Searches for the test user from the domain's base on the DC, bound sealed by
        NTLM, whose references name the domain, which leads to server (closed after).
        The user is found and a reference is left out for reason (a pattern); returns
        the subprocess.CompletedProcess."""
        proc = run_as_member([ENV["QUELBY_BIN"], "-h", self.dc, "-b", self.base, "-f", "(cn=Quelby Tester)", "cn"]
                             + self.admin, env=base_env(KRB5_CONFIG="/dev/null"),
                             hosts=["%s %s" % (server.address, self.domain)])
        server.close()
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertIn(self.user_dn, proc.stdout)
        self.assertRegex(proc.stderr, r"(?m)^WARN: Referral not followed \(Protocol Error; %s\b.*\), "
                         r"(its|the rest of its) entries are left out: ldap://%s/" % (reason, re.escape(self.domain)))
        return proc


def run_as_member(argv, env=None, hosts=(), nameserver=None, timeout=120):
    """Runs argv with the hosts lines added and, when nameserver (an IPv4
    address) is given, that server as the only DNS server. Returns the
    subprocess.CompletedProcess (text output)."""
    with tempfile.TemporaryDirectory() as tmp:
        with open("/etc/hosts") as f:
            text = f.read().rstrip("\n") + "\n"
        copies = [os.path.join(tmp, "hosts"), ""]
        with open(copies[0], "w") as f:
            f.write(text + "".join(line + "\n" for line in hosts))
        if nameserver is not None:
            copies[1] = os.path.join(tmp, "resolv.conf")
            with open(copies[1], "w") as f:
                f.write("nameserver %s\noptions timeout:2 attempts:1\n" % nameserver)
        return subprocess.run(["unshare", "-m", "sh", "-c", _MOUNT_AND_RUN, "sh"] + copies + list(argv),
                              env=env, capture_output=True, text=True, input="", timeout=timeout,
                              errors="replace")


class DnsResponder:
    """A DNS server on UDP port 53 of an address that knows only the SRV
    records it is given ({name: [(priority, weight, port, target), ...]},
    answered in that order) and says NXDOMAIN to every other question; the
    questions asked, (name, type), are in .asked. With srv None it answers
    nothing, as a DNS server that cannot be reached."""

    def __init__(self, address, srv):
        self.srv = None if srv is None else {name.lower(): records for name, records in srv.items()}
        self.asked = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((address, 53))
        self.sock.settimeout(0.1)
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        # A thread blocked in recvfrom would keep the port: it stops first.
        self.stop.set()
        self.thread.join()
        self.sock.close()

    def _serve(self):
        while not self.stop.is_set():
            try:
                query, peer = self.sock.recvfrom(4096)
            except socket.timeout:
                continue
            reply = self._answer(query)
            if reply is not None and self.srv is not None:
                self.sock.sendto(reply, peer)

    def _answer(self, query):
        pos, labels = 12, []
        while pos < len(query) and query[pos] != 0:
            labels.append(query[pos + 1:pos + 1 + query[pos]].decode("ascii", "replace"))
            pos += 1 + query[pos]
        if len(query) < 12 or pos + 5 > len(query):
            return None
        qtype, = struct.unpack("!H", query[pos + 1:pos + 3])
        name = ".".join(labels).lower()
        self.asked.append((name, qtype))
        known = self.srv is not None and name in self.srv
        records = self.srv[name] if known and qtype == 33 else []
        # The query's id, a response with recursion, NXDOMAIN for an unknown name.
        out = query[:2] + struct.pack("!HHHHH", 0x8180 | (0 if known else 3), 1, len(records), 0, 0)
        out += query[12:pos + 5]
        for priority, weight, port, target in records:
            data = struct.pack("!HHH", priority, weight, port)
            data += b"".join(bytes([len(l)]) + l.encode() for l in target.split(".")) + b"\0"
            out += b"\xc0\x0c" + struct.pack("!HHIH", 33, 1, 60, len(data)) + data
        return out
