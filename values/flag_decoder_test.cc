#include "values/flag_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "directory/scripted_ldap_server.h"
#include "values/flag_decoders.h"

namespace {

TEST(ReadFlagNumber, EveryTextReadsAsA32BitWord) {
  const struct {
    std::string text;
    uint32_t want;
  } cases[] = {
      {"0", 0},
      {"514", 514},
      {"+7", 7},
      {"-5", 0xFFFFFFFBu},
      {" \t\n\v\f\r12", 12},  // leading white space of every kind
      {"12abc", 12},          // digits up to the first other character
      {"2147483648", 0x80000000u},
      {"-2147483648", 0x80000000u},  // signed and unsigned text, same bits
      {"4294967295", 0xFFFFFFFFu},
      {"4294967296", 0},  // wraps around
      {"4294967297", 1},
      {"99999999999999999999", 1661992959u},
      {std::string(1000, '9'), 0xFFFFFFFFu},  // 10^1000 - 1, modulo 2^32
      {"", 0},
      {"-", 0},
      {"+", 0},
      {"+-5", 0},  // one sign only
      {"--5", 0},
      {"- 5", 0},  // no blank after the sign
      {"abc", 0},
      {"0x10", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadFlagNumber(c.text), c.want) << '"' << c.text << '"';
  }
}

// The engine's blocks: name tests, and lines of a value array.
constexpr FlagRow kBits[] = {{1, "ONE(1)"}, {6, "BOTH(6)"}};
constexpr DecoderBlock kBlocks[] = {
    {.name = "word", .kind = BlockKind::kFlagWord, .flags = kBits},
    {.name = "wordy", .kind = BlockKind::kFlagWord, .flags = kBits, .remainderOpen = "REST ("},
};
const FlagDecoder kExact = {NameTest::kExact, kBlocks};
const FlagDecoder kPrefix = {NameTest::kPrefix, kBlocks};

std::string Lines(const FlagDecoder& decoder, const std::string& attrName,
                  std::vector<const char*> values, bool noLabel = false) {
  values.push_back(nullptr);
  std::string out = "kept|";  // the decoder only appends
  AppendDecodedValues(decoder, attrName, values.data(), noLabel, &out);
  return out;
}

TEST(FlagDecoderEngine, NameTestsExactAndPrefix) {
  EXPECT_EQ(FindDecoderBlock(kExact, "word"), &kBlocks[0]);
  EXPECT_EQ(FindDecoderBlock(kExact, "wordy"), &kBlocks[1]);
  EXPECT_EQ(FindDecoderBlock(kExact, "word;x"), nullptr);
  EXPECT_EQ(FindDecoderBlock(kExact, "wor"), nullptr);
  // Prefix: the first block whose name begins the attribute name.
  EXPECT_EQ(FindDecoderBlock(kPrefix, "word;x"), &kBlocks[0]);
  EXPECT_EQ(FindDecoderBlock(kPrefix, "wordy"), &kBlocks[0]);
  EXPECT_EQ(FindDecoderBlock(kPrefix, "wor"), nullptr);
}

TEST(FlagDecoderEngine, OneLinePerValueWithLabelBracketsAndRemainder) {
  EXPECT_EQ(Lines(kExact, "Word", {"7", "6", "2", "0"}),
            "kept|>Word: 7 [ONE(1);BOTH(6)]\n>Word: 6 [BOTH(6)]\n"
            ">Word: 2 [UNKNOWN_FLAGS(2)]\n>Word: 0 []\n");
  EXPECT_EQ(Lines(kExact, "WORDY", {"-1"}, true), "kept|-1 [ONE(1);BOTH(6);REST (-8)]\n");
  // A name no block serves still gets its (empty) brackets.
  EXPECT_EQ(Lines(kExact, "other", {"1"}), "kept|>other: 1 []\n");
  EXPECT_EQ(Lines(kExact, "word", {}), "kept|");
  // The value text is written as it came, blanks included.
  EXPECT_EQ(Lines(kExact, "word", {" 1x"}, true), "kept| 1x [ONE(1)]\n");
}

// The printers fetch their values themselves, by the fetch name.
class FlagDecoderFetch : public ScriptedServerTest {};

TEST_F(FlagDecoderFetch, ValuesAreFetchedByTheFetchNameAndLabelledAsSpelled) {
  ScriptedLdapServer server({[](int64_t id) {
    return EntryMessage(id, "CN=u,DC=t",
                        {{"userAccountControl", {"544", "66050"}}, {"instanceType", {"12"}}}) +
           DoneMessage(id, 0, "", false);
  }});
  plat::LDAP* ld = Connect(server);
  const char* all[] = {nullptr};
  plat::LDAPMessage* result = nullptr;
  ASSERT_EQ(plat::ldap_search_s(ld, "DC=t", plat::LDAP_SCOPE_SUBTREE, "(objectClass=*)", all, 0,
                                &result),
            0u);
  plat::LDAPMessage* entry = plat::ldap_first_entry(ld, result);
  ASSERT_NE(entry, nullptr);

  std::string out;
  DecodeSamAttributes("useraccountcontrol", "userAccountControl", ld, entry, false, &out);
  EXPECT_EQ(out,
            ">userAccountControl: 544 [PWD_NOT_REQ(32);NORMAL_USER(512)]\n"
            ">userAccountControl: 66050 [DISABLED(2);NORMAL_USER(512);NO_EXPIRE(65536)]\n");
  out.clear();
  DecodeInstanceType("instancetype", "instanceType", ld, entry, true, &out);
  EXPECT_EQ(out, "12 [WRITABLE(4);NC_ABOVE_HELD(8)]\n");
  // No values under the fetch name: nothing at all.
  out.clear();
  DecodeSamAttributes("grouptype", "groupType", ld, entry, false, &out);
  EXPECT_EQ(out, "");
  plat::ldap_msgfree(result);
}

}  // namespace
