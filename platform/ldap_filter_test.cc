#include "platform/ldap_filter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/ldap_client.h"

using plat::detail::EncodeFilter;
using plat::detail::StripRedundantParens;

TEST(StripRedundantParens, RemovesOnlyPairsAroundOneWholeFilter) {
  EXPECT_EQ(StripRedundantParens("((cn=x))"), "(cn=x)");
  EXPECT_EQ(StripRedundantParens("(((cn=x)))"), "(cn=x)");
  EXPECT_EQ(StripRedundantParens("((&(cn=x)(sn=y)))"), "(&(cn=x)(sn=y))");
  // Already one filter, or a pair that encloses two filters: unchanged.
  EXPECT_EQ(StripRedundantParens("(cn=x)"), "(cn=x)");
  EXPECT_EQ(StripRedundantParens("(&(cn=x)(sn=y))"), "(&(cn=x)(sn=y))");
  EXPECT_EQ(StripRedundantParens("((cn=x)(sn=y))"), "((cn=x)(sn=y))");
  EXPECT_EQ(StripRedundantParens("(cn=x)(sn=y)"), "(cn=x)(sn=y)");
  // Unbalanced texts are left for the library to refuse.
  EXPECT_EQ(StripRedundantParens("((cn=x)"), "((cn=x)");
  EXPECT_EQ(StripRedundantParens("((cn=x)))"), "((cn=x)))");
  // An escaped parenthesis inside a value does not count.
  EXPECT_EQ(StripRedundantParens("((cn=a\\)b))"), "(cn=a\\)b)");
  EXPECT_EQ(StripRedundantParens(""), "");
  EXPECT_EQ(StripRedundantParens("objectcategory=*"), "objectcategory=*");
}

TEST(EscapeFilterElement, EveryByteBecomesBackslashAndTwoHexDigits) {
  const char in[] = {0x00, 0x01, '(', static_cast<char>(0xff), 'a'};
  char out[16];
  ASSERT_EQ(plat::ldap_escape_filter_element(in, 5, out, sizeof out), plat::LDAP_SUCCESS);
  EXPECT_STREQ(out, "\\00\\01\\28\\ff\\61");
  // Size query and an exact-size buffer.
  EXPECT_EQ(plat::ldap_escape_filter_element(in, 5, nullptr, 0), 16u);
  char exact[16];
  EXPECT_EQ(plat::ldap_escape_filter_element(in, 5, exact, 16), plat::LDAP_SUCCESS);
  // Too small: refused, nothing written past the buffer.
  char small[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(plat::ldap_escape_filter_element(in, 5, small, 7), plat::LDAP_PARAM_ERROR);
  EXPECT_EQ(small[7], '#');
  // Nothing in: the empty text.
  char empty[1] = {'#'};
  EXPECT_EQ(plat::ldap_escape_filter_element(in, 0, empty, 1), plat::LDAP_SUCCESS);
  EXPECT_EQ(empty[0], '\0');
  EXPECT_EQ(plat::ldap_escape_filter_element(nullptr, 3, out, sizeof out), plat::LDAP_PARAM_ERROR);
}

namespace {
std::vector<unsigned char> Ber(const char* filter) {
  std::string out;
  EXPECT_TRUE(EncodeFilter(filter, &out)) << filter;
  return std::vector<unsigned char>(out.begin(), out.end());
}
bool Refused(const char* filter) {
  std::string out;
  return !EncodeFilter(filter, &out);
}
using Bytes = std::vector<unsigned char>;
}  // namespace

TEST(EncodeFilter, ItemsInTheirBerForm) {
  EXPECT_EQ(Ber("(objectClass=*)"),
            (Bytes{0x87, 0x0b, 'o', 'b', 'j', 'e', 'c', 't', 'C', 'l', 'a', 's', 's'}));
  EXPECT_EQ(Ber("(cn=ab)"), (Bytes{0xa3, 0x08, 0x04, 0x02, 'c', 'n', 0x04, 0x02, 'a', 'b'}));
  EXPECT_EQ(Ber("cn=ab"), Ber("(cn=ab)"));     // without parentheses
  EXPECT_EQ(Ber("((cn=ab))"), Ber("(cn=ab)"));  // redundant pair
  EXPECT_EQ(Ber("(n>=5)"), (Bytes{0xa5, 0x06, 0x04, 0x01, 'n', 0x04, 0x01, '5'}));
  EXPECT_EQ(Ber("(n<=5)"), (Bytes{0xa6, 0x06, 0x04, 0x01, 'n', 0x04, 0x01, '5'}));
  EXPECT_EQ(Ber("(n~=5)"), (Bytes{0xa8, 0x06, 0x04, 0x01, 'n', 0x04, 0x01, '5'}));
  // Escapes become the bytes they stand for.
  EXPECT_EQ(Ber("(g=\\00\\2a)"), (Bytes{0xa3, 0x07, 0x04, 0x01, 'g', 0x04, 0x02, 0x00, '*'}));
}

TEST(EncodeFilter, SubstringsAndCombinations) {
  // initial [0], any [1], final [2]
  EXPECT_EQ(Ber("(cn=a*b*c)"), (Bytes{0xa4, 0x0f, 0x04, 0x02, 'c', 'n', 0x30, 0x09, 0x80, 0x01, 'a',
                                      0x81, 0x01, 'b', 0x82, 0x01, 'c'}));
  EXPECT_EQ(Ber("(cn=*x)"), (Bytes{0xa4, 0x09, 0x04, 0x02, 'c', 'n', 0x30, 0x03, 0x82, 0x01, 'x'}));
  EXPECT_EQ(Ber("(&(a=1)(!(b=*)))"), (Bytes{0xa0, 0x0d, 0xa3, 0x06, 0x04, 0x01, 'a', 0x04, 0x01, '1',
                                            0xa2, 0x03, 0x87, 0x01, 'b'}));
  EXPECT_EQ(Ber("(|(a=*)(b=*))"), (Bytes{0xa1, 0x06, 0x87, 0x01, 'a', 0x87, 0x01, 'b'}));
  EXPECT_EQ(Ber("(a:1.2.3:=x)"), (Bytes{0xa9, 0x0d, 0x81, 0x05, '1', '.', '2', '.', '3', 0x82, 0x01,
                                        'a', 0x83, 0x01, 'x'}));
  EXPECT_EQ(Ber("(a:dn:=x)"), (Bytes{0xa9, 0x09, 0x82, 0x01, 'a', 0x83, 0x01, 'x', 0x84, 0x01, 0xff}));
}

TEST(EncodeFilter, RefusesMalformedFilters) {
  EXPECT_TRUE(Refused("(cn=x"));
  EXPECT_TRUE(Refused("(cn=x))"));
  EXPECT_TRUE(Refused("(=x)"));
  EXPECT_TRUE(Refused("(c n=x)"));
  EXPECT_TRUE(Refused("(&(cn=x)junk)"));
  EXPECT_TRUE(Refused("(!(a=1)(b=2))"));
  EXPECT_TRUE(Refused("(cn=x\\)"));  // a lone trailing backslash
  EXPECT_TRUE(Refused("()"));
  EXPECT_TRUE(Refused(""));
}

namespace {
// depth levels of "(&" around one item, closed again: depth + 1 levels in all.
std::string NestedAnd(size_t depth) {
  std::string s;
  for (size_t i = 0; i < depth; ++i) s += "(&";
  s += "(cn=x)";
  s.append(depth, ')');
  return s;
}
}  // namespace

TEST(FilterNesting, DepthCountsUnescapedParentheses) {
  using plat::detail::FilterNestingDepth;
  EXPECT_EQ(FilterNestingDepth(""), 0u);
  EXPECT_EQ(FilterNestingDepth("cn=x"), 0u);
  EXPECT_EQ(FilterNestingDepth("(cn=x)"), 1u);
  EXPECT_EQ(FilterNestingDepth("(&(cn=x)(!(sn=y)))"), 3u);
  EXPECT_EQ(FilterNestingDepth("(cn=\\(\\(\\()"), 1u);
  EXPECT_EQ(FilterNestingDepth(")))((("), 3u);
  EXPECT_EQ(FilterNestingDepth(NestedAnd(plat::detail::kMaxFilterNesting - 1)), plat::detail::kMaxFilterNesting);
}

TEST(FilterNesting, EncoderRefusesFiltersDeeperThanTheLimit) {
  std::string out;
  EXPECT_TRUE(EncodeFilter(NestedAnd(plat::detail::kMaxFilterNesting - 1), &out));
  EXPECT_FALSE(EncodeFilter(NestedAnd(plat::detail::kMaxFilterNesting), &out));
  // Redundant outer pairs do not count.
  EXPECT_TRUE(EncodeFilter("((((" + NestedAnd(plat::detail::kMaxFilterNesting - 1) + "))))", &out));
  // Deep enough to exhaust the stack of an encoder that recursed per level.
  EXPECT_FALSE(EncodeFilter(NestedAnd(50000), &out));
  std::string nots;
  for (int i = 0; i < 200000; ++i) nots += "(!";
  nots += "(cn=x)" + std::string(200000, ')');
  EXPECT_FALSE(EncodeFilter(nots, &out));
}

TEST(StripRedundantParens, TakesLinearTime) {
  const size_t levels = 200000;
  std::string f = std::string(levels, '(') + "cn=x" + std::string(levels, ')');
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(StripRedundantParens(f), "(cn=x)");
  std::string g = std::string(levels, '(') + "(cn=x)(sn=y)" + std::string(levels, ')');
  EXPECT_EQ(StripRedundantParens(g), "((cn=x)(sn=y))");
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 2.0);  // a quadratic walk takes minutes here
}
