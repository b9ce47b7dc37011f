// The layer that holds extended responses whole, over what TLS or a socket
// (or a SASL layer over it) hands it: however the bytes are cut, with "no
// data yet" in either form between the pieces, every byte goes up in order
// and the layer holds no more than it does for whole messages.
#include "platform/ldap_message_guard.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ldap_ber.h"
#include "platform/scripted_sockbuf.h"

namespace {

using Wait = ScriptedSockbuf::Wait;

// One BER element: tag, length, contents.
std::string Tlv(uint32_t tag, const std::string& contents) {
  plat::detail::BerWriter w;
  w.OctetString(contents, tag);
  return w.Take();
}

// A bind's answer, twenty entries of about 2 KB with an unsolicited extended
// response halfway (held until it is whole), and the search's end.
std::vector<std::string> Reply() {
  const auto message = [](int id, uint32_t op, const std::string& body) {
    return Tlv(0x30, Tlv(0x02, std::string(1, static_cast<char>(id))) + Tlv(op, body));
  };
  const std::string result = Tlv(0x0a, std::string(1, '\0')) + Tlv(0x04, "") + Tlv(0x04, "");
  std::vector<std::string> m{message(1, 0x61, result)};
  for (int i = 0; i < 20; ++i) {
    const std::string value = Tlv(0x31, Tlv(0x04, std::string(2000, static_cast<char>('a' + i))));
    m.push_back(message(2, 0x64, Tlv(0x04, "CN=e" + std::to_string(i) + ",DC=t") +
                                     Tlv(0x30, Tlv(0x30, Tlv(0x04, "description") + value))));
    if (i == 9) m.push_back(message(0, 0x78, result + Tlv(0x8a, "1.2.3.4")));
  }
  m.push_back(message(2, 0x65, result));
  return m;
}

size_t Held(Sockbuf* sb) { return plat::nat::MessageGuardHeld(sb); }

ScriptedSockbuf::Outcome Play(const std::function<void(ScriptedSockbuf&)>& script) {
  ScriptedSockbuf s;
  EXPECT_TRUE(plat::nat::PushMessageGuard(s.sb()));
  s.Tap();
  script(s);
  return s.ReadAll({2, 7, 16384, 1}, Held);
}

TEST(MessageGuard, BytesCutAnywhereGoUpInOrderAndHoldNoMoreThanWholeMessages) {
  const std::vector<std::string> reply = Reply();
  std::string stream;
  for (const std::string& m : reply) stream += m;
  const ScriptedSockbuf::Outcome whole = Play([&](ScriptedSockbuf& s) { s.Bytes(stream); });
  ASSERT_EQ(whole.bytes, stream);
  ASSERT_FALSE(whole.failed);

  struct Cut {
    std::string what;
    std::function<void(ScriptedSockbuf&, Wait)> play;
  };
  std::vector<Cut> cuts;
  for (size_t k = 1; k <= 6; ++k) {
    cuts.push_back({"each message's first " + std::to_string(k) + " bytes alone", [&, k](ScriptedSockbuf& s, Wait w) {
                      for (const std::string& m : reply) {
                        s.Bytes(m.substr(0, k));
                        s.NothingYet(w);
                        s.Bytes(m.substr(k));
                      }
                    }});
  }
  for (size_t n = 1; n <= 5; ++n) {
    cuts.push_back({"pieces of " + std::to_string(n), [&, n](ScriptedSockbuf& s, Wait w) {
                      for (size_t at = 0; at < stream.size(); at += n) {
                        s.Bytes(stream.substr(at, n));
                        s.NothingYet(w);
                      }
                    }});
  }
  cuts.push_back({"every read ending one byte into the next message", [&](ScriptedSockbuf& s, Wait w) {
                    s.Bytes(reply[0].substr(0, 1));
                    for (size_t i = 0; i < reply.size(); ++i) {
                      s.NothingYet(w);
                      s.Bytes(reply[i].substr(1) + (i + 1 < reply.size() ? reply[i + 1].substr(0, 1) : ""));
                    }
                  }});
  for (const Cut& c : cuts) {
    for (Wait w : {Wait::kTls, Wait::kSocket}) {
      SCOPED_TRACE(c.what + (w == Wait::kTls ? ", TLS" : ", socket"));
      const ScriptedSockbuf::Outcome o = Play([&](ScriptedSockbuf& s) { c.play(s, w); });
      EXPECT_TRUE(o.bytes == stream) << o.bytes.size() << " of " << stream.size() << " bytes";
      EXPECT_FALSE(o.failed);
      EXPECT_FALSE(o.stuck);
      EXPECT_LE(o.mostHeld, whole.mostHeld);
    }
  }
}

// Whatever the layer read and had not handed up when a security layer goes
// in under it is never handed up; with nothing pending, what comes next passes.
TEST(MessageGuard, NothingReadBeforeALayerGoesInUnderItIsHandedUpAfter) {
  const std::vector<std::string> reply = Reply();
  const std::string &bind = reply[0], &next = reply[1];
  const struct {
    std::string what, before;  // what the layers below have when the bind's answer is read
    size_t taken, pending;     // read of it before the layer goes in; not handed up then
  } cases[] = {{"the bind's answer alone", bind, bind.size(), 0},
               {"whole answers after it", bind + next + next, bind.size(), 2 * next.size()},
               {"the first byte of one", bind + next.substr(0, 1), bind.size(), 1},
               {"the first bytes of one", bind + next.substr(0, 12), bind.size(), 12},
               {"one handed up in part", bind + next.substr(0, 40), bind.size() + 30, 11}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedSockbuf s;
    ASSERT_TRUE(plat::nat::PushMessageGuard(s.sb()));
    s.Tap();
    s.Bytes(c.before);
    std::string got(c.taken, '\0');
    for (ber_slen_t at = 0, n = 0; at < static_cast<ber_slen_t>(c.taken); at += n) {
      ASSERT_GT(n = s.Read(&got[at], c.taken - at), 0);
    }
    EXPECT_EQ(got, c.before.substr(0, c.taken));
    ASSERT_TRUE(s.PushPassing(LBER_SBIOD_LEVEL_APPLICATION));
    EXPECT_EQ(plat::nat::MessageGuardPending(s.sb()), c.pending);
    s.Bytes(next.substr((c.before.size() - bind.size()) % next.size()));  // the rest of the last one, or one more
    const ScriptedSockbuf::Outcome o = s.ReadAll({16384}, Held);
    EXPECT_EQ(o.bytes, c.pending == 0 ? next : "");
    EXPECT_EQ(o.failed, c.pending != 0);
    if (o.failed) {
      EXPECT_EQ(errno, ECONNRESET);
    }
  }
}

}  // namespace
