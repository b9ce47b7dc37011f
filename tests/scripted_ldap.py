"""A scripted LDAP server for whole-program tests: it answers what a test
scripts and keeps every byte it receives."""

import contextlib
import select
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


class Relay:
    """Takes connections on address:port (address None: a loopback address where port is
    free) until closed, each served by ._relay(connection, i) on a thread of its own;
    .after gets one item a connection, None until ._relay says otherwise."""

    def __init__(self, address, port):
        self.listener = socket.create_server((address, port)) if address else listen_on_loopback(port)
        self.address, self.port = self.listener.getsockname()[:2]
        self.after = []
        self.threads = [threading.Thread(target=self._serve, daemon=True)]
        self.threads[0].start()

    def close(self):
        with contextlib.suppress(OSError):
            self.listener.shutdown(socket.SHUT_RDWR)
        self.listener.close()
        for thread in list(self.threads):
            thread.join(60)

    def _serve(self):
        with contextlib.suppress(OSError):
            while conn := self.listener.accept()[0]:
                self.after.append(None)
                self.threads.append(threading.Thread(target=self._relay, args=(conn, len(self.after) - 1), daemon=True))
                self.threads[-1].start()


class EarlyBindSuccess(Relay):
    """A relay to target (None: a server of its own) that ends a SASL bind early: each
    connection's requests pass on one by one until the bind request at(content) picks,
    which gets bindResponse success with no server credentials; then nothing passes on,
    and a search gets the planted entry. .after has, for each connection, what came
    after that answer (None: no such answer); .ended the binds so answered."""

    def __init__(self, address, port, target, at, planted):
        self.target, self.at, self.planted, self.ended = target, at, planted, []
        super().__init__(address, port)

    def _relay(self, client, i):
        def answer(requests):
            client.sendall(b"".join(tlv(0x30, tlv(0x02, msgid) + reply) for msgid, op, _ in requests
                                    if op == 0x63 for reply in (entry(*self.planted), tlv(0x65, result()))))
        with contextlib.ExitStack() as stack, contextlib.suppress(OSError):
            stack.enter_context(client)
            upstream = self.target and stack.enter_context(socket.create_connection(self.target, timeout=30))
            pending, answered = b"", 0
            while ready := select.select([s for s in (client, upstream) if s], [], [], 60)[0]:
                source = upstream if upstream in ready else client
                if not (data := source.recv(65536)):
                    break
                if source is upstream:
                    client.sendall(data)
                    continue
                if self.after[i] is None:
                    pending, data = pending + data, b""
                # What is not LDAP (a signed or sealed session) passes as it is.
                while self.after[i] is None and (message := element(pending, 0, len(pending))
                                                 if pending[:1] == b"0" else pending and (0, 0, len(pending))):
                    message, pending = pending[:message[2]], pending[message[2]:]
                    found = ldap_requests(message)[0]
                    if found and found[0][1] == 0x60 and self.at(found[0][2]):
                        client.sendall(tlv(0x30, tlv(0x02, found[0][0]) + tlv(0x61, result())))
                        self.ended.append(found[0][2])
                        upstream, self.after[i], data = None, b"", pending
                    elif upstream:
                        upstream.sendall(message)
                    else:
                        answer(found)
                if self.after[i] is not None:
                    self.after[i] += data
                    found = ldap_requests(self.after[i])[0]
                    answer(found[answered:])
                    answered = len(found)


class ClearAfterBindSuccess(Relay):
    """A relay to target that passes every byte both ways with one change: to the write
    that carries a connection's first bindResponse success from the server it appends,
    in clear, a planted entry and a search done for each of the next four message ids
    (only their first cut bytes when cut is given). .after has, for each connection, what
    the client sent after that answer (None: no such answer)."""

    def __init__(self, address, port, target, cut=None):
        self.target, self.cut = target, cut
        super().__init__(address, port)

    def planted(self, msgid):
        answers = b"".join(tlv(0x30, tlv(0x02, bytes([m])) + op) for m in range(msgid + 1, msgid + 5)
                           for op in (entry("CN=INJECTED", [("cn", ["INJECTED"])]), tlv(0x65, result())))
        return answers[:self.cut]

    def _relay(self, client, i):
        with contextlib.ExitStack() as stack, contextlib.suppress(OSError):
            stack.enter_context(client)
            upstream = stack.enter_context(socket.create_connection(self.target, timeout=30))
            held = b""  # from the server, a message not whole yet
            while ready := select.select([client, upstream], [], [], 60)[0]:
                source = upstream if upstream in ready else client
                if not (data := source.recv(65536)):
                    break
                if source is client:
                    if self.after[i] is not None:
                        self.after[i] += data
                    upstream.sendall(data)
                    continue
                if self.after[i] is not None:
                    client.sendall(data)
                    continue
                held, out = held + data, b""
                while self.after[i] is None and (message := element(held, 0, len(held))):
                    whole, held = held[:message[2]], held[message[2]:]
                    msgid = element(whole, message[1], message[2])
                    op = element(whole, msgid[2], message[2])
                    out += whole
                    if op[0] == 0x61 and whole[op[1]:op[1] + 3] == b"\x0a\x01\x00":
                        out += self.planted(int.from_bytes(whole[msgid[1]:msgid[2]], "big")) + held
                        self.after[i], held = b"", b""
                client.sendall(out)
