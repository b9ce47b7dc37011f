"""A scripted LDAP server for whole-program tests: it answers what a test
scripts and keeps every byte it receives."""

import contextlib
import socket
import ssl
import threading

REQUESTS = {0x60, 0x42, 0x63, 0x66, 0x68, 0x4A, 0x6C, 0x6E, 0x50, 0x77}  # LDAP request tags


def tlv(tag, content):
    n = len(content)
    return bytes([tag]) + (bytes([n]) if n < 0x80 else b"\x82" + n.to_bytes(2, "big")) + content


def element(data, i, end):
    """Tag, content start and content end of the whole BER element at i, else None."""
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


def result(code=0):
    return tlv(0x0A, bytes([code])) + tlv(0x04, b"") + tlv(0x04, b"")


def entry(dn, attributes):
    """A search result entry; attributes: [(name, [values])]."""
    return tlv(0x64, tlv(0x04, dn.encode()) + tlv(0x30, b"".join(tlv(0x30, tlv(0x04, name.encode()) + tlv(
        0x31, b"".join(tlv(0x04, v.encode()) for v in values))) for name, values in attributes)))


def directory(op, content):
    """A bind succeeds; a search gets one entry and success."""
    return {0x60: [tlv(0x61, result())], 0x63: [entry("cn=x", [("cn", ["x" * 64])]), tlv(0x65, result())]}.get(op, [])


def listen_on_loopback(port):
    """A listening socket on port of a loopback address other than 127.0.0.1,
    the first of 127.0.0.2 to 127.0.0.254 where that port is free."""
    for last in range(2, 255):
        with contextlib.suppress(OSError):
            return socket.create_server(("127.0.0.%d" % last, port))
    raise OSError("port %d is taken on every loopback address tried" % port)


class ScriptedLdapServer:
    """Serves the connections it takes, one after another, until closed: each whole
    request gets the protocol operations answer(tag, content) gives. .received
    holds the bytes of each connection; one ends at bytes that are not LDAP.
    With address None it listens on a loopback address where port is free;
    .address and .port say where it listens. With tls = (certificate, key) it
    speaks LDAPS; a connection that fails on the way is passed over."""

    def __init__(self, address="127.0.0.1", port=0, answer=directory, tls=None):
        self.listener = socket.create_server((address, port)) if address else listen_on_loopback(port)
        self.address, self.port = self.listener.getsockname()[:2]
        self.answer, self.received = answer, []
        self.tls = tls and ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        if tls:
            self.tls.load_cert_chain(*tls)
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def close(self):
        """Stops taking connections; waits until the one it serves ends."""
        with contextlib.suppress(OSError):  # wakes an accept that waits
            self.listener.shutdown(socket.SHUT_RDWR)
        self.listener.close()
        self.thread.join(60)

    def _serve(self):
        with contextlib.suppress(OSError):
            while conn := self.listener.accept()[0]:
                self.received.append(b"")
                with contextlib.suppress(OSError), self.tls.wrap_socket(
                        conn, server_side=True) if self.tls else conn as conn:
                    answered = 0
                    while data := conn.recv(65536):
                        self.received[-1] += data
                        found, end = ldap_requests(self.received[-1])
                        conn.sendall(b"".join(tlv(0x30, tlv(0x02, msgid) + reply) for msgid, op, content
                                              in found[answered:] for reply in self.answer(op, content)))
                        answered = len(found)
                        if self.received[-1][end:end + 1] not in (b"", b"0"):
                            break
