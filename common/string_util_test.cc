#include "common/string_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::string>;

TEST(CaseMapping, OnlyAsciiLettersChange) {
  EXPECT_EQ(StrToLower("CN=Users,DC=X"), "cn=users,dc=x");
  EXPECT_EQ(StrToUpper("overall_1"), "OVERALL_1");
  // Bytes 128-255 (here UTF-8 of "É" and a lone 0xC9) keep their value.
  EXPECT_EQ(StrToLower("\xC3\x89\xC9Z"), "\xC3\x89\xC9z");
  EXPECT_EQ(StrToUpper("\xE9\xFFz"), "\xE9\xFFZ");
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::string lower = StrToLower(all);
  ASSERT_EQ(lower.size(), 256u);
  for (int c = 0; c < 256; ++c) {
    char expected = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : static_cast<char>(c);
    EXPECT_EQ(lower[static_cast<size_t>(c)], expected) << c;
  }
}

TEST(CaseInsensitiveLess, OrderingRules) {
  EXPECT_TRUE(CaseInsensitiveLess("abc", "ABD"));
  EXPECT_FALSE(CaseInsensitiveLess("ABD", "abc"));
  EXPECT_FALSE(CaseInsensitiveLess("ab", "AB"));
  EXPECT_FALSE(CaseInsensitiveLess("AB", "ab"));
  EXPECT_TRUE(CaseInsensitiveLess("ab", "abc"));
  EXPECT_FALSE(CaseInsensitiveLess("abc", "ab"));
  EXPECT_TRUE(CaseInsensitiveLess("z", "\xE9"));  // unsigned byte order
  EXPECT_TRUE(CaseInsensitiveLess("", "a"));
  EXPECT_FALSE(CaseInsensitiveLess("", ""));
  Fields v = {"b", "\xE9", "A", "a", "C", "ab"};
  std::stable_sort(v.begin(), v.end(), CaseInsensitiveLess);
  EXPECT_EQ(v, (Fields{"A", "a", "ab", "b", "C", "\xE9"}));
}

TEST(SplitString, Fields) {
  Fields out;
  EXPECT_EQ(SplitString("a;b;", ";", &out, 65535), 2);
  EXPECT_EQ(out, (Fields{"a", "b"}));
  out.clear();
  EXPECT_EQ(SplitString(";a", ";", &out, 65535), 2);
  EXPECT_EQ(out, (Fields{"", "a"}));
  out.clear();
  EXPECT_EQ(SplitString("a;;b", ";", &out, 65535), 3);
  EXPECT_EQ(out, (Fields{"a", "", "b"}));
  out.clear();
  EXPECT_EQ(SplitString("a;b;c", ";", &out, 1), 2);
  EXPECT_EQ(out, (Fields{"a", "b;c"}));
  out.clear();
  EXPECT_EQ(SplitString("a;b", ";", &out, 0), 1);
  EXPECT_EQ(out, (Fields{"a;b"}));
  out.clear();
  EXPECT_EQ(SplitString("a<>b<>>c", "<>", &out, 65535), 3);
  EXPECT_EQ(out, (Fields{"a", "b", ">c"}));
  // Appends to what the list holds and counts it; an empty text gives 0.
  out = {"old"};
  EXPECT_EQ(SplitString("", ";", &out, 65535), 0);
  EXPECT_EQ(SplitString("x;y", ";", &out, 65535), 3);
  EXPECT_EQ(out, (Fields{"old", "x", "y"}));
}

TEST(SplitString, EmptyDelimiterMakesNoCut) {
  Fields out;
  EXPECT_EQ(SplitString("abc", "", &out, 65535), 1);
  EXPECT_EQ(out, (Fields{"abc"}));
  out.clear();
  EXPECT_EQ(SplitStringMax("abc", "", &out, 3), 1);
  EXPECT_EQ(out, (Fields{"abc", "", ""}));
}

TEST(SplitStringMax, ExactFieldCount) {
  Fields out;
  EXPECT_EQ(SplitStringMax("", ";", &out, 6), 0);
  EXPECT_EQ(out, Fields(6));
  out.clear();
  EXPECT_EQ(SplitStringMax("x;y", ";", &out, 6), 2);
  EXPECT_EQ(out, (Fields{"x", "y", "", "", "", ""}));
  out.clear();
  EXPECT_EQ(SplitStringMax("k=v=w", "=", &out, 2), 2);
  EXPECT_EQ(out, (Fields{"k", "v=w"}));
  out.clear();
  EXPECT_EQ(SplitStringMax("a;b;c;d;e;f;g", ";", &out, 6), 6);
  EXPECT_EQ(out, (Fields{"a", "b", "c", "d", "e", "f;g"}));
  // A list that held elements already: the surplus joins the last field.
  out = {"p", "q"};
  EXPECT_EQ(SplitStringMax("r;s", ";", &out, 2), 2);
  EXPECT_EQ(out, (Fields{"p", "q;r;s"}));
  // An empty text adds nothing; a list already holding enough stays as it is.
  out = {"p", "q", "r"};
  EXPECT_EQ(SplitStringMax("", "=", &out, 2), 0);
  EXPECT_EQ(out, (Fields{"p", "q", "r"}));
  out = {"p"};
  EXPECT_EQ(SplitStringMax("", "=", &out, 2), 0);
  EXPECT_EQ(out, (Fields{"p", ""}));
  out.clear();
  EXPECT_EQ(SplitStringMax("a:b", ":", &out, 0), 1);  // treated as one field
  EXPECT_EQ(out, (Fields{"a:b"}));
}

TEST(SplitFixedWidth, Pieces) {
  Fields out;
  EXPECT_EQ(SplitFixedWidth("abcdefg", 3, &out), 3);
  EXPECT_EQ(out, (Fields{"abc", "def", "g"}));
  out.clear();
  EXPECT_EQ(SplitFixedWidth("RPWPC", 2, &out), 3);
  EXPECT_EQ(out, (Fields{"RP", "WP", "C"}));
  out.clear();
  EXPECT_EQ(SplitFixedWidth("RP", 2, &out), 1);
  out.clear();
  EXPECT_EQ(SplitFixedWidth("", 2, &out), 0);
  EXPECT_EQ(SplitFixedWidth("abc", 0, &out), 1);
  EXPECT_EQ(SplitFixedWidth("abc", -4, &out), 2);
  EXPECT_EQ(out, (Fields{"abc", "abc"}));
}

TEST(ReplaceFirst, CaseAndEdges) {
  EXPECT_EQ(ReplaceFirst("Ab ab", "AB", "x", true), "x ab");
  EXPECT_EQ(ReplaceFirst("Ab ab", "ab", "x", false), "Ab x");
  EXPECT_EQ(ReplaceFirst("Ab ab", "AB", "x", false), "Ab ab");
  EXPECT_EQ(ReplaceFirst("DC=X,dc=y", "dc=", "DN:", true), "DN:X,dc=y");
  EXPECT_EQ(ReplaceFirst("abc", "", "x", false), "xabc");
  EXPECT_EQ(ReplaceFirst("", "", "x", false), "");
  EXPECT_EQ(ReplaceFirst("abc", "abcd", "x", false), "abc");
}

TEST(ReplaceAll, EveryOccurrence) {
  struct Case {
    const char* text;
    const char* from;
    const char* to;
    bool ignoreCase;
    const char* want;
  };
  const Case cases[] = {
      {"a b c", " ", "", false, "abc"},
      {"\r\r\n\n", "\r\n", "", false, ""},
      {"aXbxc", "x", "-", true, "a-b-c"},
      {"OU=A,ou=B,Ou=C", "OU=", "o=", true, "o=A,o=B,o=C"},
      {"a,b,c", ",", ";", false, "a;b;c"},
      {"a\\tb\\tc", "\\t", "\t", false, "a\tb\tc"},
      {"none", "x", "y", false, "none"},
      // Each pass searches again from the start, so occurrences that a
      // replacement forms with its neighbours are replaced too.
      {"aaaa", "aa", "a", false, "a"},
      {"AAbb", "ab", "", true, ""},
      {"aab", "ab", "ba", false, "baa"},
      {"aab", "ab", "bba", false, "bbbbaa"},
      // Under ignoreCase the replacement enters the search copy unlowered.
      {"aabb", "ab", "A", true, "aAb"},
      {"aXbxc", "x", "X", true, "aXbXc"},
      // An empty from changes nothing.
      {"abc", "", "x", false, "abc"},
      {"", "", "x", true, ""},
      // A to that contains from would never end: each original occurrence
      // is replaced once.
      {"say \"hi\"", "\"", "\"\"", false, "say \"\"hi\"\""},
      {"aXa", "x", "xX", true, "axXa"},
      {"abab", "ab", "ab", false, "abab"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.from, c.to, c.ignoreCase), c.want)
        << c.text << " / " << c.from << " / " << c.to;
  }
}

TEST(ReplaceAll, GrowthWithoutEndIsBounded) {
  // Every pass doubles the text before the single b: past the work bound,
  // each original occurrence is replaced once.
  std::string text(40, 'a');
  text += 'b';
  std::string out = ReplaceAll(text, "ab", "bbaa", false);
  EXPECT_EQ(out, std::string(39, 'a') + "bbaa");
}

TEST(BytesToHex, Digits) {
  const BYTE bytes[] = {0x0A, 0xFF, 0x00, 0x7B};
  EXPECT_EQ(BytesToHex(bytes, 2), "0aff");
  EXPECT_EQ(BytesToHex(bytes, 4), "0aff007b");
  EXPECT_EQ(BytesToHex(bytes, 0), "");
  EXPECT_EQ(BytesToHex(bytes, -3), "");
  EXPECT_EQ(BytesToHex(nullptr, 4), "");
}

TEST(NumberTexts, Formats) {
  EXPECT_EQ(FormatHexNumber(31, "010"), "0x000000001F");
  EXPECT_EQ(FormatHexNumber(31, "08"), "0x0000001F");
  EXPECT_EQ(FormatHexNumber(0, "010"), "0x0000000000");
  EXPECT_EQ(FormatHexNumber(0xABCDEF12, ""), "0xABCDEF12");
  EXPECT_EQ(FormatHexNumber(255, "%s%n"), "0xFF");  // no stray conversions
  EXPECT_EQ(IntToString(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(IntToString(0), "0");
  EXPECT_EQ(UIntToString(4294967295u, 10), "4294967295");
  EXPECT_EQ(UIntToString(255, 16), "ff");
  EXPECT_EQ(UIntToString(5, 2), "101");
  EXPECT_EQ(Int64ToString(INT64_MIN, 10), "-9223372036854775808");
  EXPECT_EQ(Int64ToString(INT64_MAX, 10), "9223372036854775807");
  EXPECT_EQ(Int64ToString(-1, 16), "ffffffffffffffff");
  EXPECT_EQ(Int64ToString(35, 36), "z");
  EXPECT_EQ(Int64ToString(0xFFFFFFFFu, 0x7FFFFFFFu, 10), "9223372036854775807");
  EXPECT_EQ(Int64ToString(0u, 0x80000000u, 10), "-9223372036854775808");
  EXPECT_EQ(Int64ToString(1u, 1u, 10), "4294967297");
}

TEST(CommaFields, Indexing) {
  EXPECT_EQ(GetCommaField("a,,B", 0), "a");
  EXPECT_EQ(GetCommaField("a,,B", 1), "");
  EXPECT_EQ(GetCommaField("a,,B", 2), "B");
  EXPECT_EQ(GetLowerCommaField("a,,B", 2), "b");
  EXPECT_EQ(GetCommaField("a,,B", 3), "");
  EXPECT_EQ(GetCommaField("a,,B", -1), "");
  EXPECT_EQ(GetCommaField("", 0), "");
  EXPECT_EQ(GetCommaField("x,y,", 1), "y");
  EXPECT_EQ(GetCommaField("x,y,", 2), "");
  EXPECT_EQ(GetLowerCommaField("CN=X,OU=Y", 1), "ou=y");
}

TEST(ValueCleanups, NewlinesAndControlCharacters) {
  EXPECT_EQ(EscapeNewlines("x\ny\nz"), "x\\0Ay\nz");
  EXPECT_EQ(EscapeNewlines("a\\\nb\nc\n"), "a\\0Ab\\0Ac\n");
  EXPECT_EQ(EscapeNewlines("plain"), "plain");
  EXPECT_EQ(ScrubControlChars(std::string("a\tb\rc\x7F\xA0\x01", 8)), "a b c \xA0 ");
  EXPECT_EQ(ScrubControlChars(std::string("\0x", 2)), " x");
  std::string high;
  for (int c = 128; c < 256; ++c) high.push_back(static_cast<char>(c));
  EXPECT_EQ(ScrubControlChars(high), high);
}

TEST(SplitHostPort, Forms) {
  auto split = [](std::string host, int* port) {
    *port = SplitHostPort(&host);
    return host;
  };
  int port = -1;
  EXPECT_EQ(split("dc1:636", &port), "dc1");
  EXPECT_EQ(port, 636);
  EXPECT_EQ(split(":3268", &port), "");
  EXPECT_EQ(port, 3268);
  EXPECT_EQ(split("dc1:1234567", &port), "dc1");
  EXPECT_EQ(port, 123456);
  EXPECT_EQ(split("dc1:ssl", &port), "dc1");
  EXPECT_EQ(port, 0);
  EXPECT_EQ(split("a:1:2", &port), "a");
  EXPECT_EQ(port, 1);
  EXPECT_EQ(split("dc1:", &port), "dc1");
  EXPECT_EQ(port, 0);
  EXPECT_EQ(split("dc1.example.com", &port), "dc1.example.com");
  EXPECT_EQ(port, 0);
}

}  // namespace
