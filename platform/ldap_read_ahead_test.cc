// The read-ahead layer over a socket pair: messages cut into pieces and sent
// over time come back whole and in order, the last one without waiting for
// data that never comes, and a closed peer ends the read.
#include "platform/ldap_read_ahead.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One LDAP-like message: SEQUENCE { INTEGER id, OCTET STRING text }. ber_get_next
// takes the SEQUENCE header, so a read scans only its contents. Like every LDAP
// message, its contents are longer than the most liblber reads ahead for a header.
std::string Message(int id, std::string text) {
  text.insert(0, "message: ");
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  ber_printf(ber, "{io}", id, text.data(), static_cast<ber_len_t>(text.size()));
  berval* flat = nullptr;
  ber_flatten(ber, &flat);
  std::string out(flat->bv_val, flat->bv_len);
  ber_bvfree(flat);
  ber_free(ber, 1);
  return out;
}

class ReadAheadPair : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
    sb_ = ber_sockbuf_alloc();
    ASSERT_EQ(ber_sockbuf_add_io(sb_, &ber_sockbuf_io_tcp, LBER_SBIOD_LEVEL_PROVIDER, &fds_[0]), 0);
    ASSERT_TRUE(plat::nat::PushReadAhead(sb_));
  }
  void TearDown() override {
    if (writer_.joinable()) writer_.join();
    ber_sockbuf_free(sb_);  // closes fds_[0]
    if (fds_[1] >= 0) close(fds_[1]);
  }

  // The next message's id and text; id -1 when the read failed. Like libldap,
  // it calls ber_get_next again while a message is incomplete.
  std::pair<int, std::string> Next() {
    BerElement* ber = ber_alloc_t(0);
    ber_len_t len = 0;
    std::pair<int, std::string> got{-1, ""};
    ber_tag_t tag;
    do {
      errno = 0;
      tag = ber_get_next(sb_, &len, ber);
    } while (tag == LBER_DEFAULT && (errno == EWOULDBLOCK || errno == EAGAIN));
    if (tag != LBER_DEFAULT) {
      ber_int_t id = 0;
      berval text{};
      if (ber_scanf(ber, "im", &id, &text) != LBER_ERROR) {
        got = {id, std::string(text.bv_val, text.bv_len).substr(9)};
      }
    }
    ber_free(ber, 1);
    return got;
  }

  int fds_[2] = {-1, -1};
  Sockbuf* sb_ = nullptr;
  std::thread writer_;
};

TEST_F(ReadAheadPair, PiecesSentOverTimeComeBackWholeAndInOrder) {
  std::string stream;
  for (int i = 0; i < 2000; ++i) stream += Message(i, std::string(i % 300, 'a' + i % 26));
  writer_ = std::thread([this, stream] {
    // Odd-sized pieces that cut headers and bodies, with pauses between some.
    for (size_t at = 0, n = 1; at < stream.size(); at += n, n = n * 7 % 4093 + 1) {
      size_t len = std::min(n, stream.size() - at);
      ASSERT_EQ(write(fds_[1], stream.data() + at, len), static_cast<ssize_t>(len));
      if (n % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  for (int i = 0; i < 2000; ++i) {
    auto [id, text] = Next();
    ASSERT_EQ(id, i);
    ASSERT_EQ(text, std::string(i % 300, 'a' + i % 26));
  }
}

TEST_F(ReadAheadPair, OneReadTakesManyMessagesAndSaysTheRestIsReady) {
  std::string stream;
  for (int i = 0; i < 50; ++i) stream += Message(i, "entry");
  ASSERT_EQ(write(fds_[1], stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
  EXPECT_EQ(Next().first, 0);
  // The other 49 are in the layer's buffer: readable without asking the socket.
  EXPECT_EQ(ber_sockbuf_ctrl(sb_, LBER_SB_OPT_DATA_READY, nullptr), 1);
  for (int i = 1; i < 50; ++i) EXPECT_EQ(Next().first, i);
  EXPECT_EQ(ber_sockbuf_ctrl(sb_, LBER_SB_OPT_DATA_READY, nullptr), 0);
}

TEST_F(ReadAheadPair, TheLastMessageIsNotHeldBackWaitingForMore) {
  // A short last message (a page's end) followed by silence: it must come
  // back at once, not after a time-out. The quickest of five counts, so that
  // the delays of a busy machine do not.
  Clock::duration quickest = Clock::duration::max();
  for (int id = 0; id < 5; ++id) {
    std::string last = Message(id, "done");
    ASSERT_EQ(write(fds_[1], last.data(), last.size()), static_cast<ssize_t>(last.size()));
    auto start = Clock::now();
    EXPECT_EQ(Next().first, id);
    quickest = std::min(quickest, Clock::now() - start);
  }
  EXPECT_LT(quickest, std::chrono::milliseconds(100));
}

TEST_F(ReadAheadPair, APeerThatClosesMidMessageEndsTheRead) {
  std::string m = Message(1, std::string(1000, 'x'));
  ASSERT_EQ(write(fds_[1], m.data(), 300), 300);
  close(fds_[1]);
  fds_[1] = -1;
  EXPECT_EQ(Next().first, -1);
}

}  // namespace
