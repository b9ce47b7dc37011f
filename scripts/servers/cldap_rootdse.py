#!/usr/bin/env python3
"""Reads the RootDSE over connectionless LDAP (UDP) and prints what came back.

Usage: cldap_rootdse.py HOST [PORT] [ATTRIBUTE...]
Prints "attribute: value" lines of the RootDSE entry and exits 0 when the server
answered with an entry and a success result; exits 1 otherwise. Standard library only.
"""
import socket
import sys


def ber_len(n):
    if n < 0x80:
        return bytes([n])
    body = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def tlv(tag, body):
    return bytes([tag]) + ber_len(len(body)) + body


def integer(tag, n):
    return tlv(tag, n.to_bytes(max(1, (n.bit_length() + 8) // 8), "big", signed=True))


def search_request(message_id, attributes):
    req = (tlv(0x04, b"")                      # baseObject: the RootDSE
           + integer(0x0A, 0)                  # scope: baseObject
           + integer(0x0A, 0)                  # derefAliases: never
           + integer(0x02, 0)                  # sizeLimit
           + integer(0x02, 0)                  # timeLimit
           + tlv(0x01, b"\x00")                # typesOnly: false
           + tlv(0x87, b"objectClass")         # filter: (objectClass=*)
           + tlv(0x30, b"".join(tlv(0x04, a.encode()) for a in attributes)))
    return tlv(0x30, integer(0x02, message_id) + tlv(0x63, req))


def read_tlv(data, pos):
    """Returns (tag, body, next position)."""
    tag = data[pos]
    n = data[pos + 1]
    pos += 2
    if n & 0x80:
        count = n & 0x7F
        n = int.from_bytes(data[pos:pos + count], "big")
        pos += count
    if pos + n > len(data):
        raise ValueError("truncated reply")
    return tag, data[pos:pos + n], pos + n


def parse_reply(data, message_id):
    """Yields (kind, payload) for each LDAP message in the datagram."""
    pos = 0
    while pos < len(data):
        tag, msg, pos = read_tlv(data, pos)
        if tag != 0x30:
            raise ValueError("not an LDAP message")
        _, mid, p = read_tlv(msg, 0)
        if int.from_bytes(mid, "big") != message_id:
            raise ValueError("unexpected message id")
        op_tag, op, _ = read_tlv(msg, p)
        if op_tag == 0x64:  # searchResEntry
            _, dn, q = read_tlv(op, 0)
            _, attrs, _ = read_tlv(op, q)
            entry = []
            a = 0
            while a < len(attrs):
                _, pair, a = read_tlv(attrs, a)
                _, name, v = read_tlv(pair, 0)
                _, values, _ = read_tlv(pair, v)
                w = 0
                while w < len(values):
                    _, value, w = read_tlv(values, w)
                    entry.append((name.decode(), value))
            yield "entry", entry
        elif op_tag == 0x65:  # searchResDone
            _, code, _ = read_tlv(op, 0)
            yield "done", int.from_bytes(code, "big")
        else:
            yield "other", op_tag


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    host = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 389
    attributes = sys.argv[3:] or ["dnsHostName", "defaultNamingContext", "supportedCapabilities"]
    message_id = 7
    packet = search_request(message_id, attributes)
    got_entry = False
    result = None
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(2.0)
        for _ in range(3):  # UDP: retry a lost datagram
            s.sendto(packet, (host, port))
            try:
                data, _ = s.recvfrom(65536)
            except socket.timeout:
                continue
            try:
                for kind, payload in parse_reply(data, message_id):
                    if kind == "entry":
                        got_entry = True
                        for name, value in payload:
                            print("%s: %s" % (name, value.decode("utf-8", "replace")))
                    elif kind == "done":
                        result = payload
            except (ValueError, IndexError) as e:
                print("cldap: bad reply from %s:%d: %s" % (host, port, e), file=sys.stderr)
                return 1
            break
    if result is None:
        print("cldap: no reply from %s:%d over UDP" % (host, port), file=sys.stderr)
        return 1
    if not got_entry or result != 0:
        print("cldap: no RootDSE entry (result %s)" % result, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
