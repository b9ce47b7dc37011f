#include "platform/ldap_entry_index.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/ldap_ber.h"

namespace plat::detail {
namespace {

// Contents of a PartialAttribute SEQUENCE: the type, then the SET of values.
std::string Attribute(const std::string& name, const std::vector<std::string>& values) {
  BerWriter w;
  w.OctetString(name);
  w.Begin(0x31);
  for (const std::string& v : values) w.OctetString(v);
  w.End();
  return w.Take();
}

// Keeps the encodings alive: the index only points into them.
class Entry {
 public:
  bool Add(const std::string& name, const std::vector<std::string>& values) {
    held_.push_back(Attribute(name, values));
    return index.Add(held_.back());
  }
  EntryIndex index;

 private:
  std::deque<std::string> held_;
};

std::string Numbered(const char* prefix, int i, const char* suffix = "") {
  std::string s(prefix);
  s += std::to_string(i);
  s += suffix;
  return s;
}

std::vector<std::string> ValuesOf(const EntryIndex& index, size_t i) {
  size_t count = 0;
  const std::string_view* v = index.Values(i, &count);
  return std::vector<std::string>(v, v + count);
}

TEST(EntryIndex, FindsEveryAttributeWhateverTheCaseAndTheWalkHint) {
  std::vector<std::string> names;
  Entry entry;
  EntryIndex& index = entry.index;
  index.SetDn("CN=x,DC=test");
  for (int i = 0; i < 100; ++i) {
    names.push_back(Numbered("attr", i, "Name"));
    ASSERT_TRUE(entry.Add(names.back(), {Numbered("v", i), "w"}));
  }
  index.Seal();
  ASSERT_EQ(index.size(), 100u);
  EXPECT_EQ(index.Dn(), "CN=x,DC=test");
  for (size_t i = 0; i < names.size(); ++i) {
    std::string lower = names[i];
    std::string upper = names[i];
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    index.NoteWalked(i);
    EXPECT_EQ(index.Find(lower), i);
    index.NoteWalked((i + 7) % names.size());  // a hint elsewhere must not mislead
    EXPECT_EQ(index.Find(upper), i);
    EXPECT_EQ(ValuesOf(index, i), (std::vector<std::string>{Numbered("v", static_cast<int>(i)), "w"}));
  }
  // Same length, one letter apart; a prefix; a longer name.
  EXPECT_EQ(index.Find("attr0Namf"), EntryIndex::npos);
  EXPECT_EQ(index.Find("attr0Nam"), EntryIndex::npos);
  EXPECT_EQ(index.Find("attr0Names"), EntryIndex::npos);
  EXPECT_EQ(index.Find(""), EntryIndex::npos);
}

TEST(EntryIndex, FirstOfARepeatedNameWinsAndRangedNamesAreWhole) {
  Entry entry;
  EntryIndex& index = entry.index;
  ASSERT_TRUE(entry.Add("member;range=0-1499", {"a", "b"}));
  ASSERT_TRUE(entry.Add("CN", {"first"}));
  ASSERT_TRUE(entry.Add("cn", {"second"}));
  ASSERT_TRUE(entry.Add("objectClass", {}));
  index.Seal();
  index.NoteWalked(2);  // the repeated one was walked last
  ASSERT_EQ(index.Find("cn"), 1u);
  EXPECT_EQ(ValuesOf(index, 1), std::vector<std::string>{"first"});
  EXPECT_EQ(index.Find("MEMBER;RANGE=0-1499"), 0u);
  EXPECT_EQ(index.Find("member"), EntryIndex::npos);
  ASSERT_EQ(index.Find("objectclass"), 3u);
  EXPECT_TRUE(ValuesOf(index, 3).empty());
  EXPECT_EQ(index.Name(0), "member;range=0-1499");
}

TEST(EntryIndex, OnlyAsciiLettersFoldAndBinaryValuesStayWhole) {
  // '@' and '[' sit next to 'A' and 'Z'; 0xC4 / 0xE4 differ by the case bit
  // but are not ASCII letters.
  Entry entry;
  EntryIndex& index = entry.index;
  ASSERT_TRUE(entry.Add("x@[", {std::string("\0\1\xff", 3)}));
  ASSERT_TRUE(entry.Add("n\xC4me", {"v"}));
  index.Seal();
  EXPECT_EQ(index.Find("X@["), 0u);
  EXPECT_EQ(index.Find("x`{"), EntryIndex::npos);
  EXPECT_EQ(index.Find("N\xC4ME"), 1u);
  EXPECT_EQ(index.Find("n\xE4me"), EntryIndex::npos);
  EXPECT_EQ(ValuesOf(index, 0), std::vector<std::string>{std::string("\0\1\xff", 3)});
}

TEST(EntryIndex, MalformedAttributesAreRefusedWithoutReadingPastThem) {
  Entry entry;
  EntryIndex& index = entry.index;
  ASSERT_TRUE(entry.Add("cn", {"value"}));
  const std::string good = Attribute("cn", {"value"});
  // Cut short anywhere: in the type, in the set, in a value.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    // A copy of exactly the kept bytes, so the sanitizers see any overread.
    std::vector<char> bytes(good.begin(), good.begin() + static_cast<long>(cut));
    EXPECT_FALSE(index.Add(std::string_view(bytes.data(), bytes.size()))) << cut;
  }
  // A value length beyond its set; a long-form length of five bytes; the
  // indefinite form.
  EXPECT_FALSE(index.Add(std::string("\x04\x02" "cn" "\x31\x03" "\x04\x05" "a", 9)));
  EXPECT_FALSE(index.Add(std::string("\x04\x85\x00\x00\x00\x00\x02" "cn" "\x31\x00", 11)));
  EXPECT_FALSE(index.Add(std::string("\x04\x80" "cn\0\0" "\x31\x00", 8)));
  // Long-form lengths as Active Directory writes them are fine.
  const std::string longForm("\x04\x84\x00\x00\x00\x02" "sn" "\x31\x84\x00\x00\x00\x03" "\x04\x01" "x", 17);
  EXPECT_TRUE(index.Add(longForm));
  index.Seal();
  ASSERT_EQ(index.size(), 2u);  // nothing of the refused ones was kept
  EXPECT_EQ(ValuesOf(index, 0), std::vector<std::string>{"value"});
  ASSERT_EQ(index.Find("sn"), 1u);
  EXPECT_EQ(ValuesOf(index, 1), std::vector<std::string>{"x"});
}

TEST(EntryIndex, ResetForgetsTheEntryBefore) {
  Entry entry;
  EntryIndex& index = entry.index;
  ASSERT_TRUE(entry.Add("cn", {"a"}));
  index.Seal();
  index.NoteWalked(0);
  index.Reset();
  EXPECT_EQ(index.Find("cn"), EntryIndex::npos);  // not sealed: nothing to find
  ASSERT_TRUE(entry.Add("sn", {"b"}));
  index.Seal();
  EXPECT_EQ(index.size(), 1u);
  EXPECT_EQ(index.Find("cn"), EntryIndex::npos);
  EXPECT_EQ(index.Find("SN"), 0u);
  EXPECT_TRUE(index.Dn().empty());
}

}  // namespace
}  // namespace plat::detail
