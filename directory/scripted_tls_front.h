// For tests: a TLS front for a scripted LDAP server. It takes TLS
// connections on a loopback port of its own, with the certificate and key
// given, and relays the clear bytes to and from the server's plain port, so
// that the scripted server's answers reach a client that speaks LDAPS. It
// can cut the answers into records where a reader may stumble, and relay
// plain TCP the same way. Tests that use it link GnuTLS.
#pragma once

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>

#include "directory/scripted_ldap_server.h"

// How what the server sends is cut into TLS records (into send() calls
// when tls is false; the front then relays plain TCP). headBytes > 0: the
// first headBytes of each LDAP message alone, a pause of about a
// millisecond (the client mostly reads in between), then the rest.
// recordBytes > 0: all of it in records of that size, back to back.
// Neither: one record for each chunk read from the server.
struct RecordCuts {
  size_t headBytes = 0;
  size_t recordBytes = 0;
  bool tls = true;
};

class ScriptedTlsFront {
 public:
  // dribbleMs > 0: all the front sends, its side of the handshake first,
  // goes out one byte at a time, dribbleMs apart (a server that answers, but
  // ever so slowly). It listens on listenAddress (a loopback address).
  ScriptedTlsFront(int backendPort, const std::string& certFile, const std::string& keyFile,
                   int dribbleMs = 0, RecordCuts cuts = {}, uint32_t listenAddress = INADDR_LOOPBACK)
      : backendPort_(backendPort), dribbleMs_(dribbleMs), cuts_(cuts) {
    if (gnutls_certificate_allocate_credentials(&cred_) != GNUTLS_E_SUCCESS ||
        gnutls_certificate_set_x509_key_file(cred_, certFile.c_str(), keyFile.c_str(),
                                             GNUTLS_X509_FMT_PEM) != GNUTLS_E_SUCCESS) {
      ADD_FAILURE() << "the TLS front cannot load " << certFile;
      return;
    }
    listen_ = ListenOnLoopback(&port_, listenAddress);
    if (listen_ < 0) return;
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedTlsFront() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) close(listen_);
    if (cred_ != nullptr) gnutls_certificate_free_credentials(cred_);
  }
  ScriptedTlsFront(const ScriptedTlsFront&) = delete;
  ScriptedTlsFront& operator=(const ScriptedTlsFront&) = delete;

  int port() const { return port_; }

 private:
  bool Readable(int fd) { return ReadableWithin5s(fd, stop_); }
  int ConnectBackend() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(backendPort_));
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
  }
  // The length of the LDAP message (0x30, a definite length) text starts
  // with; 0 while its header is incomplete. Other bytes count as one message.
  static size_t MessageSize(std::string_view text) {
    const auto at = [text](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.size() < 2) return 0;
    const size_t lengthBytes = at(1) & 0x80 ? at(1) & 0x7f : 0;
    if (at(0) != 0x30 || at(1) == 0x80 || lengthBytes > 4) return text.size();
    if (text.size() < 2 + lengthBytes) return 0;
    size_t length = lengthBytes == 0 ? at(1) : 0;
    for (size_t i = 0; i < lengthBytes; ++i) length = length << 8 | at(2 + i);
    return 2 + lengthBytes + length;
  }
  // One record to the client (one send() without TLS).
  static bool Put(gnutls_session_t session, int client, std::string_view piece) {
    const ssize_t n = session != nullptr ? gnutls_record_send(session, piece.data(), piece.size())
                                         : send(client, piece.data(), piece.size(), MSG_NOSIGNAL);
    return n == static_cast<ssize_t>(piece.size());
  }
  // Sends what the server sent, cut as asked; with head cuts, the start of
  // a message that is not whole yet stays in *unsent.
  bool SendCut(gnutls_session_t session, int client, std::string* unsent) {
    std::string_view rest = *unsent;
    for (size_t whole = 0; cuts_.headBytes > 0 && (whole = MessageSize(rest)) != 0 && whole <= rest.size();
         rest.remove_prefix(whole)) {
      const size_t head = std::min(cuts_.headBytes, whole);
      if (!Put(session, client, rest.substr(0, head))) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (head < whole && !Put(session, client, rest.substr(head, whole - head))) return false;
    }
    const size_t record = cuts_.recordBytes > 0 ? cuts_.recordBytes : rest.size();
    for (; cuts_.headBytes == 0 && !rest.empty(); rest.remove_prefix(std::min(record, rest.size()))) {
      if (!Put(session, client, rest.substr(0, record))) return false;
    }
    unsent->erase(0, unsent->size() - rest.size());
    return true;
  }
  void Relay(gnutls_session_t session, int client, int backend) {
    char buf[16384];
    std::string unsent;
    while (!stop_) {
      if (session == nullptr || gnutls_record_check_pending(session) == 0) {
        pollfd p[2] = {{client, POLLIN, 0}, {backend, POLLIN, 0}};
        if (poll(p, 2, 100) <= 0) continue;
        if (p[1].revents != 0) {
          ssize_t n = recv(backend, buf, sizeof buf, 0);
          if (n <= 0 || !SendCut(session, client, &unsent.append(buf, static_cast<size_t>(n)))) return;
        }
        if (p[0].revents == 0) continue;
      }
      ssize_t n = session != nullptr ? gnutls_record_recv(session, buf, sizeof buf) : recv(client, buf, sizeof buf, 0);
      if (n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED) continue;
      if (n <= 0 || send(backend, buf, static_cast<size_t>(n), MSG_NOSIGNAL) < 0) return;
    }
  }
  // Sends one byte, after a pause (cut short when the front stops).
  static ssize_t DribbleByte(gnutls_transport_ptr_t self, const void* data, size_t size) {
    auto* front = static_cast<ScriptedTlsFront*>(self);
    for (int waited = 0; waited < front->dribbleMs_ && !front->stop_; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return front->stop_ || size == 0 ? -1 : send(front->client_, data, 1, MSG_NOSIGNAL);
  }
  // Connections are taken one after another (a client may come back to
  // learn why it refused the certificate), each relayed to a new connection
  // to the server.
  void Serve() {
    while (!stop_ && listen_ >= 0) ServeOne();
  }
  void ServeOne() {
    if (!Readable(listen_)) return;
    int client = accept(listen_, nullptr, nullptr);
    if (client < 0) return;
    // When cutting, records sent at once leave at once (not joined while an
    // ACK is awaited), and a client that connects again (after an answer it
    // misread) is refused at once instead of waiting out a handshake.
    if (cuts_.headBytes + cuts_.recordBytes > 0) {
      const int one = 1;
      setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      close(listen_);
      listen_ = -1;
    }
    gnutls_session_t session = nullptr;
    int rc = GNUTLS_E_SUCCESS;
    if (cuts_.tls) {
      gnutls_init(&session, GNUTLS_SERVER);
      gnutls_set_default_priority(session);
      gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, cred_);
      gnutls_transport_set_int(session, client);
      gnutls_handshake_set_timeout(session, 5000);
      if (dribbleMs_ > 0) {
        client_ = client;
        gnutls_transport_set_push_function(session, DribbleByte);
        gnutls_transport_set_ptr2(session, reinterpret_cast<gnutls_transport_ptr_t>(static_cast<intptr_t>(client)),
                                  this);
      }
      do {
        rc = gnutls_handshake(session);
      } while (rc < 0 && gnutls_error_is_fatal(rc) == 0 && !stop_);
    }
    int backend = rc == GNUTLS_E_SUCCESS ? ConnectBackend() : -1;
    if (backend >= 0) {
      Relay(session, client, backend);
      close(backend);
    }
    gnutls_deinit(session);
    close(client);
  }

  int backendPort_;
  int dribbleMs_ = 0;
  RecordCuts cuts_;
  int client_ = -1;
  gnutls_certificate_credentials_t cred_ = nullptr;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
