#include "directory/guid_maps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <chrono>
#include <thread>
#include <map>
#include <string>
#include <vector>

#include "common/zqtimer.h"
#include "directory/connection.h"
#include "directory/scripted_ldap_server.h"
#include "platform/ldap_client.h"

namespace {

plat::berval Value(std::vector<char>& bytes) {
  return plat::berval{static_cast<ULONG>(bytes.size()), bytes.empty() ? nullptr : bytes.data()};
}

TEST(GuidValueKey, SixteenBytesOrMoreGiveTheGuidText) {
  std::vector<char> bytes;
  for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<char>(0xA0 + i));
  plat::berval v = Value(bytes);
  EXPECT_EQ(GuidValueKey(&v), "{A3A2A1A0-A5A4-A7A6-A8A9-AAABACADAEAF}");
  bytes.push_back(0x01);  // extra bytes are not part of the key
  v = Value(bytes);
  EXPECT_EQ(GuidValueKey(&v), "{A3A2A1A0-A5A4-A7A6-A8A9-AAABACADAEAF}");
}

TEST(GuidValueKey, ShortOrMissingValuesGiveNoKey) {
  // Exactly-sized buffers: the sanitizer build catches any read past them.
  for (size_t n : {0u, 1u, 15u}) {
    std::vector<char> bytes(n, 'x');
    plat::berval v = Value(bytes);
    EXPECT_EQ(GuidValueKey(&v), "") << n;
  }
  EXPECT_EQ(GuidValueKey(nullptr), "");
}

// --- Loaders against a scripted server ----------------------------------------

using ScriptedServer = ScriptedLdapServer;
using SeenSearch = ScriptedLdapServer::Search;

constexpr char kNc[] = "CN=Configuration,DC=x";

std::string GuidBytes(unsigned char first) {
  std::string b;
  for (int i = 0; i < 16; ++i) b.push_back(static_cast<char>(first + i));
  return b;
}

// The braced text of GuidBytes(first).
std::string GuidKey(unsigned char first) {
  std::string bytes = GuidBytes(first);
  plat::berval v{16, bytes.data()};
  return GuidValueKey(&v);
}

class LoaderTest : public ScriptedServerTest {
 protected:
  CZQTimer timer_{"OVERALL"};
};

TEST_F(LoaderTest, PagesAreFollowedByTheirCookieAndEveryEntryIsKept) {
  ScriptedServer server({
      [](int64_t id) {
        return EntryMessage(id, "CN=A,CN=Sites,DC=x", {{"name", {"Site-A"}}, {"objectGUID", {GuidBytes(0x10)}}}) +
               DoneMessage(id, 0, "page-2");
      },
      [](int64_t id) {
        return EntryMessage(id, "CN=B,CN=Sites,DC=x", {{"name", {"Site-B"}}, {"objectGUID", {GuidBytes(0x20)}}}) +
               DoneMessage(id, 0, "");
      },
  });
  std::map<std::string, std::string> map;
  ASSERT_TRUE(LoadGuidMap("SITE_GUIDS", Connect(server), kNc, &timer_, &map));
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map[GuidKey(0x10)], "Site-A");
  EXPECT_EQ(map[GuidKey(0x20)], "Site-B");
  std::vector<SeenSearch> seen = server.searches();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].base, std::string("CN=Sites,") + kNc);
  EXPECT_EQ(seen[0].scope, 1);  // one level
  EXPECT_EQ(seen[0].pageSize, 1000);
  EXPECT_EQ(seen[0].cookie, "");
  EXPECT_FALSE(seen[0].attrsOnly);
  EXPECT_EQ(seen[0].attrs, (std::vector<std::string>{"name", "displayName", "lDAPDisplayName", "rightsGuid",
                                                      "schemaIDGUID", "objectGUID"}));
  EXPECT_EQ(seen[1].cookie, "page-2");
  EXPECT_NE(timer_.timers["SITE_GUIDS"].second, 0u);  // stopped
}

TEST_F(LoaderTest, FailureOnTheSecondPageKeepsTheFirstPagesEntries) {
  ScriptedServer server({
      [](int64_t id) {
        return EntryMessage(id, "CN=A,CN=Sites,DC=x", {{"name", {"Site-A"}}, {"objectGUID", {GuidBytes(0x10)}}}) +
               // A GUID value shorter than 16 bytes gives no key.
               EntryMessage(id, "CN=S,CN=Sites,DC=x", {{"name", {"Short"}}, {"objectGUID", {"12345678"}}}) +
               DoneMessage(id, 0, "page-2");
      },
      [](int64_t id) { return DoneMessage(id, 0x33, "", false, "server busy"); },
  });
  std::map<std::string, std::string> map = {{"{KEEP}", "kept"}};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  bool ok = LoadGuidMap("SITE_GUIDS", Connect(server), kNc, &timer_, &map);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(ok);
  EXPECT_EQ(map.size(), 3u);
  EXPECT_EQ(map["{KEEP}"], "kept");
  EXPECT_EQ(map[GuidKey(0x10)], "Site-A");
  EXPECT_EQ(map[""], "Short");
  // The error line without the server's text (no connection handle given),
  // then a line end on standard output.
  EXPECT_EQ(err, std::string("ldap_get_next_page_s: [] Error 0x33 (51) - ") + plat::ldap_err2string(0x33) + "\n");
  EXPECT_EQ(out, "\n");
  EXPECT_NE(timer_.timers["SITE_GUIDS"].second, 0u);
  EXPECT_EQ(server.searches().size(), 2u);
}

TEST_F(LoaderTest, SizeLimitOnALaterPageEndsTheLoadWithItsEntries) {
  ScriptedServer server({
      [](int64_t id) {
        return EntryMessage(id, "CN=a,CN=Schema", {{"lDAPDisplayName", {"a"}}, {"schemaIDGUID", {GuidBytes(1)}}}) +
               DoneMessage(id, 0, "next");
      },
      [](int64_t id) {
        return EntryMessage(id, "CN=b,CN=Schema", {{"lDAPDisplayName", {"b"}}, {"schemaIDGUID", {GuidBytes(2)}}}) +
               DoneMessage(id, 4, "", false);
      },
  });
  std::map<std::string, std::string> map;
  ASSERT_TRUE(LoadGuidMap("SCHEMAID_GUIDS", Connect(server), kNc, &timer_, &map));
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map[GuidKey(1)], "a");
  EXPECT_EQ(map[GuidKey(2)], "b");
  std::vector<SeenSearch> seen = server.searches();
  ASSERT_EQ(seen.size(), 2u);  // nothing asked after the size limit
  EXPECT_EQ(seen[0].base, std::string("CN=Schema,") + kNc);
}

TEST_F(LoaderTest, RightsKeysAreUpperCasedAndOverwriteSchemaKeys) {
  std::string shared = GuidKey(0xA0);  // "{A3A2A1A0-...}"
  std::string lower = shared.substr(1, 36);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ScriptedServer server({
      [](int64_t id) {
        return EntryMessage(id, "CN=x,CN=Schema", {{"lDAPDisplayName", {"x"}}, {"schemaIDGUID", {GuidBytes(0xA0)}}}) +
               EntryMessage(id, "CN=y,CN=Schema", {{"lDAPDisplayName", {"y"}}, {"schemaIDGUID", {GuidBytes(0x01)}}}) +
               DoneMessage(id, 0, "");
      },
      [lower](int64_t id) {
        return EntryMessage(id, "CN=R,CN=Extended-Rights", {{"displayName", {"Right R"}}, {"rightsGuid", {lower}}}) +
               DoneMessage(id, 0, "");
      },
  });
  std::map<std::string, std::string> map;
  plat::LDAP* ld = Connect(server);
  ASSERT_TRUE(LoadGuidMap("SCHEMAID_GUIDS", ld, kNc, &timer_, &map));
  ASSERT_TRUE(LoadGuidMap("RIGHTS_GUIDS", ld, kNc, &timer_, &map));
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map[shared], "Right R");
  EXPECT_EQ(map[GuidKey(0x01)], "y");
  std::vector<SeenSearch> seen = server.searches();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].base, std::string("CN=Extended-Rights,") + kNc);
}

TEST_F(LoaderTest, AnEmptyAnswerLeavesTheTableAsItWas) {
  ScriptedServer server({[](int64_t id) { return DoneMessage(id, 0, ""); }});
  std::map<std::string, int> set = {{"kept", 1}};
  ASSERT_TRUE(LoadGenTimeAttribs(Connect(server), "CN=Schema,CN=Configuration,DC=x", &timer_, &set));
  EXPECT_EQ(set.size(), 1u);
  EXPECT_NE(timer_.timers["LOAD_GEN_TIME_ATTRIBS"].second, 0u);
  std::vector<SeenSearch> seen = server.searches();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].base, "CN=Schema,CN=Configuration,DC=x");
  EXPECT_EQ(seen[0].scope, 1);
  EXPECT_EQ(seen[0].attrs, std::vector<std::string>{"lDAPDisplayName"});
}

TEST(LoaderFailure, NoPagedSearchGivesTheInitLineAndKeepsTheTable) {
  CZQTimer timer("OVERALL");
  std::map<std::string, std::string> map = {{"{KEEP}", "kept"}};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(LoadGuidMap("RIGHTS_GUIDS", nullptr, kNc, &timer, &map));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "LDAP_SEARCH_INIT_PAGE FAILED: WinError=87\n\n");
  EXPECT_EQ(map.size(), 1u);
  EXPECT_NE(timer.timers["RIGHTS_GUIDS"].second, 0u);  // stopped

  std::map<std::string, int> set;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(LoadGenTimeAttribs(nullptr, "CN=Schema", &timer, &set));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "LDAP_SEARCH_INIT_PAGE FAILED: WinError=87\n\n");
  EXPECT_TRUE(set.empty());
  EXPECT_NE(timer.timers["LOAD_GEN_TIME_ATTRIBS"].second, 0u);
}

TEST_F(LoaderTest, ALoadEndsWhateverTheServerDoes) {
  using Clock = std::chrono::steady_clock;
  SetDirectoryWaitLimit(1);
  struct Case {
    const char* what;
    std::function<void(ScriptedServer&)> hostile;
    ULONG code;
  };
  const Case cases[] = {
      {"a page that never comes", [](ScriptedServer& s) { s.StallAtSearch(1); }, plat::LDAP_TIMEOUT},
      {"the same cookie every time",
       [](ScriptedServer& s) {
         s.AnswerEveryLaterRequest([](int64_t id, const SeenSearch&) {
           return EntryMessage(id, "CN=A,CN=Sites,DC=x", {{"name", {"A"}}}) + DoneMessage(id, 0, "same");
         });
       },
       plat::LDAP_LOOP_DETECT},
      {"a new cookie and a new site every time, slowly",
       [](ScriptedServer& s) {
         s.AnswerEveryLaterRequest([](int64_t id, const SeenSearch& r) {
           std::this_thread::sleep_for(std::chrono::milliseconds(5));
           return EntryMessage(id, "CN=A,CN=Sites,DC=x", {{"name", {"A" + r.cookie}}}) +
                  DoneMessage(id, 0, r.cookie + "+");
         });
       },
       plat::LDAP_TIMEOUT},
  };
  for (const Case& c : cases) {
    ScriptedServer server({[](int64_t id) {
      return EntryMessage(id, "CN=A,CN=Sites,DC=x", {{"name", {"Site-A"}}}) + DoneMessage(id, 0, "p2");
    }});
    c.hostile(server);
    std::map<std::string, std::string> map;
    plat::LDAP* ld = Connect(server);
    const Clock::time_point start = Clock::now();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadGuidMap("SITE_GUIDS", ld, kNc, &timer_, &map)) << c.what;
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)) << c.what;
    char code[32];
    std::snprintf(code, sizeof code, "Error 0x%x (%u)", c.code, c.code);
    EXPECT_EQ(err.rfind(std::string("ldap_get_next_page_s: [] ") + code, 0), 0u) << c.what << err;
    EXPECT_FALSE(map.empty()) << c.what;  // what came stays
    plat::ldap_unbind(ld);
    ld_ = nullptr;
  }
  SetDirectoryWaitLimit(0);
}

}  // namespace
