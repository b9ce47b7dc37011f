"""A scripted LDAP server for whole-program tests: it answers what a test
scripts, keeps every byte it receives, and reads LDAP messages with a small
BER reader of its own."""

import socket
import threading

REQUESTS = {0x60, 0x42, 0x63, 0x66, 0x68, 0x4A, 0x6C, 0x6E, 0x50, 0x77}  # LDAP request tags


def tlv(tag, content):
    n = len(content)
    return bytes([tag]) + (bytes([n]) if n < 0x80 else b"\x82" + n.to_bytes(2, "big")) + content


def element(data, i, end):
    """Tag, content start and content end of the BER element at i; None when it is not whole."""
    if i + 2 > end:
        return None
    long_form = data[i + 1] & 0x80
    start = i + 2 + (data[i + 1] & 0x7F if long_form else 0)
    size = int.from_bytes(data[i + 2:start], "big") if long_form else data[i + 1]
    return (data[i], start, start + size) if start + size <= end else None


def ldap_requests(data):
    """(message id, request tag, request content) of each whole LDAP request from the
    start of data, and the offset of the first byte that is not part of one."""
    found, i = [], 0
    while (message := element(data, i, len(data))) and message[0] == 0x30:
        msgid = element(data, message[1], message[2])
        op = msgid and msgid[0] == 0x02 and element(data, msgid[2], message[2])
        if not op or op[0] not in REQUESTS:
            break
        found.append((data[msgid[1]:msgid[2]], op[0], data[op[1]:op[2]]))
        i = message[2]
    return found, i


DONE = tlv(0x0A, b"\0") + tlv(0x04, b"") + tlv(0x04, b"")


def entry(dn, attributes):
    """A search result entry: attributes is a list of (name, [values])."""
    listed = b"".join(tlv(0x30, tlv(0x04, name.encode()) + tlv(0x31, b"".join(tlv(0x04, v.encode()) for v in values)))
                      for name, values in attributes)
    return tlv(0x64, tlv(0x04, dn.encode()) + tlv(0x30, listed))


def default_answer(op, content):
    """A bind succeeds; a search gets one entry and success; anything else no answer."""
    if op == 0x60:
        return [tlv(0x61, DONE)]
    if op == 0x63:
        return [entry("cn=x", [("cn", ["x" * 64])]), tlv(0x65, DONE)]
    return []


class ScriptedLdapServer:
    """Takes connections on an address and port (0: a free one), each in a thread
    of its own, and answers every whole request with answer(tag, content): the
    protocol operations to send back. Keeps the bytes received on each connection
    (.received, in the order the connections came); a connection ends at anything
    that is not an LDAP request."""

    def __init__(self, address="127.0.0.1", port=0, answer=default_answer, connections=1):
        self.listener = socket.create_server((address, port))
        self.listener.settimeout(120)
        self.port = self.listener.getsockname()[1]
        self.answer, self.received, self.threads = answer, [], []
        self.thread = threading.Thread(target=self._accept, args=(connections,), daemon=True)
        self.thread.start()

    def close(self):
        try:  # wakes an accept that waits
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()

    def wait(self, seconds=120):
        """Waits until every connection taken has ended."""
        self.thread.join(seconds)
        for t in list(self.threads):
            t.join(seconds)

    def _accept(self, connections):
        for _ in range(connections):
            try:
                conn = self.listener.accept()[0]
            except OSError:
                return
            self.received.append(b"")
            t = threading.Thread(target=self._serve, args=(conn, len(self.received) - 1), daemon=True)
            self.threads.append(t)
            t.start()

    def _serve(self, conn, index):
        answered = 0
        try:
            with conn:
                while data := conn.recv(65536):
                    self.received[index] += data
                    found, end = ldap_requests(self.received[index])
                    for msgid, op, content in found[answered:]:
                        conn.sendall(b"".join(tlv(0x30, tlv(0x02, msgid) + reply)
                                              for reply in self.answer(op, content)))
                    answered = len(found)
                    if self.received[index][end:end + 1] not in (b"", b"0"):
                        break
        except OSError:
            pass
