#include "platform/ldap_ber.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ldap_client.h"

using namespace plat;

namespace {

std::vector<unsigned char> Encode(const char* fmt, auto... args) {
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  EXPECT_NE(ber, nullptr);
  EXPECT_NE(ber_printf(ber, fmt, args...), LBER_ERROR);
  berval* bv = nullptr;
  EXPECT_EQ(ber_flatten(ber, &bv), 0);
  ber_free(ber, 1);
  std::vector<unsigned char> out;
  if (bv != nullptr) {
    out.assign(reinterpret_cast<unsigned char*>(bv->bv_val),
               reinterpret_cast<unsigned char*>(bv->bv_val) + bv->bv_len);
  }
  ber_bvfree(bv);
  return out;
}

using Bytes = std::vector<unsigned char>;

}  // namespace

TEST(BerPrintf, ControlValuesOfTheSearchSetUp) {
  // Security-descriptor flags 15 and the phantom-root option.
  EXPECT_EQ(Encode("{i}", 15), (Bytes{0x30, 0x03, 0x02, 0x01, 0x0f}));
  EXPECT_EQ(Encode("{i}", 2), (Bytes{0x30, 0x03, 0x02, 0x01, 0x02}));
  EXPECT_EQ(Encode("{s}", "member"),
            (Bytes{0x30, 0x08, 0x04, 0x06, 'm', 'e', 'm', 'b', 'e', 'r'}));
}

TEST(BerPrintf, IntegersTakeTheirShortestForm) {
  EXPECT_EQ(Encode("i", 0), (Bytes{0x02, 0x01, 0x00}));
  EXPECT_EQ(Encode("i", 127), (Bytes{0x02, 0x01, 0x7f}));
  EXPECT_EQ(Encode("i", 128), (Bytes{0x02, 0x02, 0x00, 0x80}));
  EXPECT_EQ(Encode("i", 1000), (Bytes{0x02, 0x02, 0x03, 0xe8}));
  EXPECT_EQ(Encode("i", -1), (Bytes{0x02, 0x01, 0xff}));
  EXPECT_EQ(Encode("i", -129), (Bytes{0x02, 0x02, 0xff, 0x7f}));
  EXPECT_EQ(Encode("e", 3), (Bytes{0x0a, 0x01, 0x03}));
}

TEST(BerPrintf, PagedAndSortValues) {
  // Page size 1000 with an empty cookie; a cookie of two bytes.
  EXPECT_EQ(Encode("{io}", 1000, "", 0u),
            (Bytes{0x30, 0x06, 0x02, 0x02, 0x03, 0xe8, 0x04, 0x00}));
  EXPECT_EQ(Encode("{io}", 5, "\x01\x00", 2u),
            (Bytes{0x30, 0x07, 0x02, 0x01, 0x05, 0x04, 0x02, 0x01, 0x00}));
  // One reversed sort key: the boolean carries context tag 1, DER true is FF.
  EXPECT_EQ(Encode("{{stb}}", "cn", 0x81u, 1),
            (Bytes{0x30, 0x09, 0x30, 0x07, 0x04, 0x02, 'c', 'n', 0x81, 0x01, 0xff}));
  EXPECT_EQ(Encode("{{sb}}", "cn", 0),
            (Bytes{0x30, 0x09, 0x30, 0x07, 0x04, 0x02, 'c', 'n', 0x01, 0x01, 0x00}));
  EXPECT_EQ(Encode("{is}", 7, "x"), (Bytes{0x30, 0x06, 0x02, 0x01, 0x07, 0x04, 0x01, 'x'}));
}

TEST(BerPrintf, OtherLettersAndLongLengths) {
  berval bv{3, const_cast<char*>("abc")};
  EXPECT_EQ(Encode("O", &bv), (Bytes{0x04, 0x03, 'a', 'b', 'c'}));
  EXPECT_EQ(Encode("n"), (Bytes{0x05, 0x00}));
  EXPECT_EQ(Encode("[i]", 1), (Bytes{0x31, 0x03, 0x02, 0x01, 0x01}));
  const char* list[] = {"a", "bc", nullptr};
  EXPECT_EQ(Encode("{v}", list), (Bytes{0x30, 0x07, 0x04, 0x01, 'a', 0x04, 0x02, 'b', 'c'}));
  EXPECT_EQ(Encode("X", "\xa0", 3u), (Bytes{0x03, 0x02, 0x05, 0xa0}));
  // 200 bytes of content need the long length form 81 C8; 300 need 82 01 2C.
  std::string s200(200, 'z');
  Bytes b = Encode("s", s200.c_str());
  ASSERT_EQ(b.size(), 203u);
  EXPECT_EQ(b[0], 0x04);
  EXPECT_EQ(b[1], 0x81);
  EXPECT_EQ(b[2], 200);
  std::string s300(300, 'z');
  b = Encode("{s}", s300.c_str());
  ASSERT_EQ(b.size(), 308u);
  EXPECT_EQ((Bytes{b[0], b[1], b[2], b[3]}), (Bytes{0x30, 0x82, 0x01, 0x30}));
}

TEST(BerPrintf, BadFormatsAndUnbalancedBracketsFail) {
  BerElement* ber = ber_alloc_t(1);
  EXPECT_EQ(ber_printf(ber, "}"), LBER_ERROR);
  EXPECT_EQ(ber_printf(ber, "q"), LBER_ERROR);
  EXPECT_NE(ber_printf(ber, "{i", 1), LBER_ERROR);
  berval* bv = nullptr;
  EXPECT_EQ(ber_flatten(ber, &bv), LBER_ERROR);  // still open
  EXPECT_EQ(bv, nullptr);
  ber_free(ber, 1);
  EXPECT_EQ(ber_printf(nullptr, "{i}", 1), LBER_ERROR);
  ber_free(nullptr, 1);
  ber_bvfree(nullptr);
}

TEST(BerReader, ReadsWhatTheWriterWrote) {
  plat::detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(-5);
  w.OctetString(std::string(300, 'k'));
  w.Boolean(true);
  w.End();
  std::string bytes = w.Take();
  plat::detail::BerReader r(bytes.data(), bytes.size());
  plat::detail::BerReader seq(nullptr, 0);
  ASSERT_TRUE(r.Sequence(&seq));
  int64_t i = 0;
  std::string_view s;
  bool b = false;
  EXPECT_TRUE(seq.Integer(&i));
  EXPECT_EQ(i, -5);
  EXPECT_TRUE(seq.OctetString(&s));
  EXPECT_EQ(s.size(), 300u);
  EXPECT_TRUE(seq.Boolean(&b));
  EXPECT_TRUE(b);
  EXPECT_TRUE(seq.AtEnd());
  EXPECT_TRUE(r.AtEnd());
}

TEST(BerReader, RefusesTruncatedAndOversizedElements) {
  using plat::detail::BerReader;
  const unsigned char cut[] = {0x30, 0x05, 0x02, 0x01};  // says 5, holds 2
  BerReader a(cut, sizeof cut);
  BerReader inner(nullptr, 0);
  EXPECT_FALSE(a.Sequence(&inner));
  const unsigned char longForm[] = {0x04, 0x82, 0x01};  // length bytes cut off
  BerReader b(longForm, sizeof longForm);
  std::string_view s;
  EXPECT_FALSE(b.OctetString(&s));
  const unsigned char huge[] = {0x04, 0x84, 0xff, 0xff, 0xff, 0xff, 0x00};
  BerReader c(huge, sizeof huge);
  EXPECT_FALSE(c.OctetString(&s));
  const unsigned char indefinite[] = {0x30, 0x80, 0x00, 0x00};
  BerReader d(indefinite, sizeof indefinite);
  EXPECT_FALSE(d.Sequence(&inner));
  const unsigned char wrongTag[] = {0x04, 0x01, 0x05};
  BerReader e(wrongTag, sizeof wrongTag);
  int64_t v = 0;
  EXPECT_FALSE(e.Integer(&v));
  EXPECT_TRUE(e.OctetString(&s));  // a failed typed read consumes nothing
  const unsigned char nineBytes[] = {0x02, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  BerReader f(nineBytes, sizeof nineBytes);
  EXPECT_FALSE(f.Integer(&v));
}
