// For tests: a TLS front for a scripted LDAP server. It takes one TLS
// connection on a loopback port of its own, with the certificate and key
// given, and relays the clear bytes to and from the server's plain port, so
// that the scripted server's answers reach a client that speaks LDAPS.
// Tests that use it link GnuTLS.
#pragma once

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "directory/scripted_ldap_server.h"

class ScriptedTlsFront {
 public:
  // dribbleMs > 0: all the front sends, its side of the handshake first,
  // goes out one byte at a time, dribbleMs apart (a server that answers, but
  // ever so slowly).
  ScriptedTlsFront(int backendPort, const std::string& certFile, const std::string& keyFile,
                   int dribbleMs = 0)
      : backendPort_(backendPort), dribbleMs_(dribbleMs) {
    if (gnutls_certificate_allocate_credentials(&cred_) != GNUTLS_E_SUCCESS ||
        gnutls_certificate_set_x509_key_file(cred_, certFile.c_str(), keyFile.c_str(),
                                             GNUTLS_X509_FMT_PEM) != GNUTLS_E_SUCCESS) {
      ADD_FAILURE() << "the TLS front cannot load " << certFile;
      return;
    }
    listen_ = ListenOnLoopback(&port_);
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
  void Relay(gnutls_session_t session, int client, int backend) {
    char buf[16384];
    while (!stop_) {
      if (gnutls_record_check_pending(session) == 0) {
        pollfd p[2] = {{client, POLLIN, 0}, {backend, POLLIN, 0}};
        if (poll(p, 2, 100) <= 0) continue;
        if (p[1].revents != 0) {
          ssize_t n = recv(backend, buf, sizeof buf, 0);
          if (n <= 0 || gnutls_record_send(session, buf, static_cast<size_t>(n)) < 0) return;
        }
        if (p[0].revents == 0) continue;
      }
      ssize_t n = gnutls_record_recv(session, buf, sizeof buf);
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
  void Serve() {
    if (!Readable(listen_)) return;
    int client = accept(listen_, nullptr, nullptr);
    if (client < 0) return;
    gnutls_session_t session = nullptr;
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
    int rc = 0;
    do {
      rc = gnutls_handshake(session);
    } while (rc < 0 && gnutls_error_is_fatal(rc) == 0 && !stop_);
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
  int client_ = -1;
  gnutls_certificate_credentials_t cred_ = nullptr;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
