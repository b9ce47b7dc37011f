#include "platform/cldap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ldap_ber.h"

using namespace plat::detail;

namespace {

std::string Entry(int id, const std::string& dn,
                  const std::vector<std::pair<std::string, std::vector<std::string>>>& attrs) {
  BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x64);
  w.OctetString(dn);
  w.Begin(0x30);
  for (const auto& a : attrs) {
    w.Begin(0x30);
    w.OctetString(a.first);
    w.Begin(0x31);
    for (const auto& v : a.second) w.OctetString(v);
    w.End();
    w.End();
  }
  w.End();
  w.End();
  w.End();
  return w.Take();
}

std::string Done(int id, int code, const std::string& error) {
  BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x65);
  w.Integer(code, 0x0a);
  w.OctetString("");
  w.OctetString(error);
  w.End();
  w.End();
  return w.Take();
}

}  // namespace

TEST(CldapEncode, RootDseSearchRequest) {
  CldapSearch s;
  s.messageId = 7;
  s.filter = "(objectClass=*)";
  s.attrs = {"dnsHostName"};
  std::string d;
  ASSERT_TRUE(EncodeCldapSearch(s, &d));
  const unsigned char want[] = {
      0x30, 0x32, 0x02, 0x01, 0x07,              // message, ID 7
      0x63, 0x2d,                                // SearchRequest
      0x04, 0x00,                                // base ""
      0x0a, 0x01, 0x00, 0x0a, 0x01, 0x00,        // scope base, never deref
      0x02, 0x01, 0x00, 0x02, 0x01, 0x00,        // no size or time limit
      0x01, 0x01, 0x00,                          // attributes with values
      0x87, 0x0b, 'o', 'b', 'j', 'e', 'c', 't', 'C', 'l', 'a', 's', 's',
      0x30, 0x0d, 0x04, 0x0b, 'd', 'n', 's', 'H', 'o', 's', 't', 'N', 'a', 'm', 'e'};
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(want), sizeof want), d);
  s.filter = "(bad";
  EXPECT_FALSE(EncodeCldapSearch(s, &d));
}

TEST(CldapDecode, EntryAndDoneInOneDatagram) {
  std::string d = Entry(3, "", {{"dnsHostName", {"dc1.quelby.test"}}, {"supportedLDAPVersion", {"3", "2"}}}) +
                  Done(3, 0, "");
  CldapReply r;
  ASSERT_EQ(DecodeCldapDatagram(d.data(), d.size(), 3, &r), CldapDecode::kOk);
  EXPECT_TRUE(r.done);
  EXPECT_EQ(r.code, 0);
  ASSERT_EQ(r.entries.size(), 1u);
  ASSERT_EQ(r.entries[0].attributes.size(), 2u);
  EXPECT_EQ(r.entries[0].attributes[0].values[0], "dc1.quelby.test");
  EXPECT_EQ(r.entries[0].attributes[1].values, (std::vector<std::string>{"3", "2"}));
}

TEST(CldapDecode, EntryAndDoneInSeparateDatagrams) {
  std::string e = Entry(4, "cn=x", {{"a", {std::string("\0\1", 2)}}});
  std::string done = Done(4, 32, "no such object");
  CldapReply r;
  ASSERT_EQ(DecodeCldapDatagram(e.data(), e.size(), 4, &r), CldapDecode::kOk);
  EXPECT_FALSE(r.done);
  ASSERT_EQ(DecodeCldapDatagram(done.data(), done.size(), 4, &r), CldapDecode::kOk);
  EXPECT_TRUE(r.done);
  EXPECT_EQ(r.code, 32);
  EXPECT_EQ(r.error, "no such object");
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].attributes[0].values[0].size(), 2u);  // binary value kept whole
}

TEST(CldapDecode, RefusesTruncatedRepliesAndKeepsNothingOfThem) {
  std::string entry = Entry(5, "", {{"dnsHostName", {"dc1.quelby.test"}}});
  std::string d = entry + Done(5, 0, "");
  for (size_t cut = 1; cut < d.size(); ++cut) {
    if (cut == entry.size()) continue;  // the entry alone is a whole datagram
    CldapReply r;
    EXPECT_EQ(DecodeCldapDatagram(d.data(), cut, 5, &r), CldapDecode::kMalformed) << cut;
    EXPECT_TRUE(r.entries.empty()) << cut;
    EXPECT_FALSE(r.done) << cut;
  }
  // A value length that claims more than the datagram holds.
  std::string bad = Entry(5, "", {{"a", {"xyz"}}});
  bad[bad.size() - 4] = 0x7f;
  CldapReply r;
  EXPECT_EQ(DecodeCldapDatagram(bad.data(), bad.size(), 5, &r), CldapDecode::kMalformed);
  EXPECT_EQ(DecodeCldapDatagram("", 0, 5, &r), CldapDecode::kMalformed);
}

TEST(CldapDecode, IgnoresAnswersToOtherRequests) {
  std::string d = Entry(9, "", {{"a", {"b"}}}) + Done(9, 0, "");
  CldapReply r;
  EXPECT_EQ(DecodeCldapDatagram(d.data(), d.size(), 2, &r), CldapDecode::kForeign);
  EXPECT_TRUE(r.entries.empty());
  EXPECT_FALSE(r.done);
}
