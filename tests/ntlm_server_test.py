"""The negotiated bind where Kerberos cannot be had (no Kerberos configuration): NTLM
in SPNEGO, as the platform sends it. A DC left at Samba's defaults (SASL binds signed
or sealed, NTLMv1 refused) takes every form of the user; on the wire the answer is an
NTLMv2 one, signing and sealing are negotiated and what follows the bind is sealed.
Over LDAPS, to a DC that allows SASL there, the NTLMv2 answer goes without a security
layer, bound to the TLS channel as RFC 5929 says."""

import contextlib
import hashlib
import os
import socket
import ssl
import struct
import threading
import unittest

from driver_testlib import base_env, run
from search_testlib import ENV, ServerTestCase

SIGN, SEAL = 0x10, 0x20


def relayed(target, quelby, tls=None, address="127.0.0.1"):
    """quelby(port)'s result and the bytes it sent on its last connection to the port
    of address, each passed on to target; with tls = (certificate, key, CA) its TLS is
    ended with that certificate and opened anew to target. (A server named by its
    address is reached anew under its name, on a second connection.)"""
    listener, sent, threads = socket.create_server((address, 0)), [], []

    def pump(source, sink, kept):
        with contextlib.suppress(OSError):
            while data := source.recv(65536):
                kept += data
                sink.sendall(data)
            sink.shutdown(socket.SHUT_WR)

    def relay(client):
        with contextlib.suppress(OSError):
            server = socket.create_connection(target, timeout=30)
            if tls:
                inward, outward = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH), ssl.create_default_context(
                    cafile=tls[2])
                inward.load_cert_chain(tls[0], tls[1])
                outward.check_hostname = False
                client, server = inward.wrap_socket(client, server_side=True), outward.wrap_socket(server)
            with client, server:
                back = threading.Thread(target=pump, args=(server, client, bytearray()))
                back.start()
                pump(client, server, sent[-1])
                back.join()

    def serve():
        with contextlib.suppress(OSError):
            while client := listener.accept()[0]:
                sent.append(bytearray())
                threads.append(threading.Thread(target=relay, args=(client,)))
                threads[-1].start()

    acceptor = threading.Thread(target=serve)
    acceptor.start()
    with listener:
        result = quelby(listener.getsockname()[1])
        listener.shutdown(socket.SHUT_RDWR)
    for thread in [acceptor] + threads:
        thread.join(30)
    return result, sent[-1]


def authenticate(sent):
    """The NTLMSSP AUTHENTICATE message in the bytes sent: its flags, its NT answer,
    and the offset where the message ends in sent."""
    i = bytes(sent).find(b"NTLMSSP\x00\x03\x00\x00\x00")
    assert i >= 0, "no NTLMSSP AUTHENTICATE message was sent"
    (nt_len,), (nt_at,), (flags,) = (struct.unpack_from(f, sent, i + at) for f, at in
                                     (("<H", 20), ("<I", 24), ("<I", 60)))
    return flags, bytes(sent[i + nt_at:i + nt_at + nt_len]), i + nt_at + nt_len


def av_pairs(nt_answer):
    """The target information of an NTLMv2 answer (16 bytes of proof, a 28-byte header)."""
    pairs, i = {}, 44
    while i + 4 <= len(nt_answer):
        kind, size = struct.unpack_from("<HH", nt_answer, i)
        if kind == 0:
            break
        pairs[kind] = nt_answer[i + 4:i + 4 + size]
        i += 4 + size
    return pairs


class NtlmWithoutKerberos(ServerTestCase):
    def quelby(self, host, user, password, *args):
        env = base_env(KRB5_CONFIG="/dev/null", LDAPTLS_CACERT=ENV["QUELBY_TEST_CA"])
        return run(["-h", host, "-u", user, "-up", password, "-b", self.user_dn, "-s", "base",
                    "sAMAccountName"] + list(args), env=env)

    def test_a_dc_at_samba_defaults_takes_ntlmv2_signed_and_sealed_from_every_form_of_the_user(self):
        dc_ip = ENV.get("QUELBY_TEST_DEFAULTS_DC_IP")
        if not dc_ip:
            self.skipTest("no DC at Samba's defaults (QUELBY_TEST_DEFAULTS_DC_IP)")
        user, password = ENV["QUELBY_TEST_USER"], ENV["QUELBY_TEST_USER_PASSWORD"]
        rows = [(ENV["QUELBY_TEST_DOMAIN"] + "\\" + user, password),
                (user + "@" + ENV["QUELBY_TEST_DNS_DOMAIN"], password),
                (user, password),
                (ENV["QUELBY_TEST_ADMIN_USER"], ENV["QUELBY_TEST_ADMIN_PASSWORD"])]
        for name, pw in rows:
            with self.subTest(name):
                r, sent = relayed((dc_ip, 389), lambda port: self.quelby("127.0.0.1:%d" % port, name, pw))
                self.assertEqual(r.code, 0, r)
                self.assertEqual(self.values(r.out, "sAMAccountName"), [user], r)
                flags, nt_answer, end = authenticate(sent)
                self.assertGreater(len(nt_answer), 24, "an NTLMv2 answer")
                self.assertEqual(flags & (SIGN | SEAL), SIGN | SEAL, hex(flags))
                self.assertTrue(sent[end:], "nothing after the bind")
                self.assertNotIn(b"sAMAccountName", sent[end:], "a search in clear after the bind")
        with self.subTest("a wrong password"):
            r = self.quelby(dc_ip, user, "not-the-password", "-exterr")
            self.assertEqual(r.code, 255, r)
            self.assertIn("Error 0x31 (49) - Invalid Credentials", r.err)
            self.assertIn("data 52e", r.err)

    def test_over_ldaps_the_ntlmv2_answer_is_bound_to_the_channel_without_a_security_layer(self):
        tls = os.path.join(ENV["QUELBY_TEST_STATE"], "dc", "private", "tls")
        cert, key = os.path.join(tls, "cert.pem"), os.path.join(tls, "key.pem")
        r, sent = relayed((ENV["QUELBY_TEST_IP"], 636), lambda port: self.quelby(
            "%s:%d" % (self.dc, port), ENV["QUELBY_TEST_USER"], ENV["QUELBY_TEST_USER_PASSWORD"], "-ssl"),
            (cert, key, ENV["QUELBY_TEST_CA"]), ENV["QUELBY_TEST_IP"])
        self.assertEqual(r.code, 0, r)
        self.assertEqual(self.values(r.out, "sAMAccountName"), [ENV["QUELBY_TEST_USER"]], r)
        flags, nt_answer, _ = authenticate(sent)
        self.assertGreater(len(nt_answer), 24, "an NTLMv2 answer")
        self.assertEqual(flags & (SIGN | SEAL), 0, hex(flags))
        # The server's certificate is signed with SHA-256: its hash names the channel.
        with open(cert) as f:
            endpoint = b"tls-server-end-point:" + hashlib.sha256(ssl.PEM_cert_to_DER_cert(f.read())).digest()
        bindings = struct.pack("<IIIII", 0, 0, 0, 0, len(endpoint)) + endpoint
        self.assertEqual(av_pairs(nt_answer).get(0x0A), hashlib.md5(bindings).digest())

if __name__ == "__main__":
    unittest.main()
