"""Running a command the way a member of the test domain sees the network: the
domain's name resolving to its DC, and its DNS answering SRV queries, as AD's
DNS does. The command runs in a private mount namespace (root and unshare
needed) whose /etc/hosts is a copy of the machine's with lines added after
the existing ones, so that the reverse lookup of an address still gives the
name listed first; /etc/resolv.conf may name a DnsResponder. The machine's
own files are never touched."""

import os
import shutil
import socket
import struct
import subprocess
import tempfile
import threading

# Mounts the copies given as arguments, then runs the rest of them.
_MOUNT_AND_RUN = (
    'mount --bind "$1" /etc/hosts || exit 125; '
    'if [ -n "$2" ]; then mount --bind "$2" /etc/resolv.conf || exit 125; fi; '
    'shift 2; exec "$@"')


def member_unavailable():
    """Why commands cannot run as a domain member here, or None."""
    if os.geteuid() != 0:
        return "running as a domain member needs root (a private mount namespace)"
    if shutil.which("unshare") is None:
        return "unshare is not installed"
    return None


def run_as_member(argv, env=None, hosts=(), nameserver=None, timeout=120, stdin=""):
    """Runs argv with the hosts lines added and, when nameserver (an IPv4
    address) is given, that server as the only DNS server. Returns the
    subprocess.CompletedProcess (text output)."""
    with tempfile.TemporaryDirectory() as tmp:
        hosts_copy = os.path.join(tmp, "hosts")
        with open("/etc/hosts") as f:
            text = f.read()
        if text and not text.endswith("\n"):
            text += "\n"
        with open(hosts_copy, "w") as f:
            f.write(text + "".join(line + "\n" for line in hosts))
        resolv_copy = ""
        if nameserver is not None:
            resolv_copy = os.path.join(tmp, "resolv.conf")
            with open(resolv_copy, "w") as f:
                f.write("nameserver %s\noptions timeout:2 attempts:1\n" % nameserver)
        return subprocess.run(
            ["unshare", "-m", "sh", "-c", _MOUNT_AND_RUN, "sh", hosts_copy, resolv_copy] + list(argv),
            env=env, capture_output=True, text=True, input=stdin, timeout=timeout, errors="replace")


class DnsResponder:
    """A DNS server on UDP port 53 of an address that knows only the SRV
    records it is given ({name: [(priority, weight, port, target), ...]},
    answered in that order) and says NXDOMAIN to every other question. The
    names it was asked about are in .asked. With srv None it answers nothing,
    as a DNS server that cannot be reached."""

    def __init__(self, address, srv):
        self.silent = srv is None
        self.srv = {name.lower().rstrip("."): records for name, records in (srv or {}).items()}
        self.asked = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((address, 53))
        self.sock.settimeout(0.1)
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def close(self):
        # A thread blocked in recvfrom would keep the port: it stops first.
        self.stop.set()
        self.thread.join()
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @staticmethod
    def _name(labels):
        out = b""
        for label in labels.rstrip(".").split("."):
            out += bytes([len(label)]) + label.encode()
        return out + b"\0"

    def _serve(self):
        while not self.stop.is_set():
            try:
                query, peer = self.sock.recvfrom(4096)
            except socket.timeout:
                continue
            except OSError:
                return
            reply = self._answer(query)
            if reply is not None and not self.silent:
                self.sock.sendto(reply, peer)

    def _answer(self, query):
        if len(query) < 12:
            return None
        pos, labels = 12, []
        while pos < len(query) and query[pos] != 0:
            n = query[pos]
            labels.append(query[pos + 1:pos + 1 + n].decode("ascii", "replace"))
            pos += 1 + n
        if pos + 5 > len(query):
            return None
        qtype, = struct.unpack("!H", query[pos + 1:pos + 3])
        question = query[12:pos + 5]
        name = ".".join(labels).lower()
        self.asked.append((name, qtype))
        records = self.srv.get(name, []) if qtype == 33 else []
        known = name in self.srv
        # Header: the query's id, a response with recursion, NXDOMAIN for an unknown name.
        flags = 0x8180 | (0 if known else 3)
        out = query[:2] + struct.pack("!HHHHH", flags, 1, len(records), 0, 0) + question
        for priority, weight, port, target in records:
            data = struct.pack("!HHH", priority, weight, port) + self._name(target)
            out += b"\xc0\x0c" + struct.pack("!HHIH", 33, 1, 60, len(data)) + data
        return out
