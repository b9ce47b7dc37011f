// quelby's whole run (the bind, the RootDSE, two pages, a SID batch and a
// notice of disconnection at the end) against a scripted server whose
// answers reach it cut into TLS records (or TCP sends) at every place a
// reader may stumble: each message's first bytes alone, or every few bytes.
// Whatever the cuts, the output and exit code are those of the answers sent
// whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/process_state.h"
#include "directory/scripted_ldap_server.h"
#include "directory/scripted_tls_front.h"
#include "directory/sid_account_lookup.h"
#include "driver/quelby_main.h"
#include "platform/sid.h"

// libldap drops what it read of a notice of disconnection without handing
// it back; its stacks are unwound the slow way (no frame pointers).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:ldap_alloc_ber_with_options\nleak:ber_get_stringa_null\nleak:ber_get_next\n";
}
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

std::string TestData(const char* name) {
  const std::string file = __FILE__;
  return file.substr(0, file.rfind('/') + 1) + "../platform/testdata/" + name;
}

// The test certificate is the trusted CA, set before libldap reads its
// settings (at its first use in the process).
const bool kTrustTestCertificate = [] {
  setenv("LDAPTLS_CACERT", TestData("tls_loopback_cert.pem").c_str(), 1);
  unsetenv("LDAPTLS_CACERTDIR");
  return true;
}();

std::string Sid(int rid) {
  std::vector<BYTE> sid;
  plat::ConvertStringSidToSidA(("S-1-5-21-1-2-3-" + std::to_string(rid)).c_str(), &sid);
  return std::string(sid.begin(), sid.end());
}

// Four users from firstRid on, with their account names when accounts.
std::string Users(int64_t id, int firstRid, bool accounts) {
  std::string reply;
  for (int rid = firstRid; rid < firstRid + 4; ++rid) {
    ScriptedAttributes attributes = {{"cn", {"u" + std::to_string(rid)}}, {"objectSid", {Sid(rid)}}};
    if (accounts) attributes.push_back({"sAMAccountName", {"u" + std::to_string(rid)}});
    reply += EntryMessage(id, "CN=u" + std::to_string(rid) + ",DC=t", attributes);
  }
  return reply;
}

// Eight users in two pages. The first page's SIDs are named by a batch
// search; the second's are not in theirs and are asked one by one (each an
// account named after its RID), the last answered by a notice of
// disconnection.
std::string Answer(int64_t id, const ScriptedLdapServer::Search& r) {
  const std::string done = DoneMessage(id, 0, "", false);
  if (r.attrs.size() == 3 && r.attrs[1] == "sIDHistory") return Users(id, 1100, true) + done;
  if (r.pageSize > 0) {
    return Users(id, r.cookie.empty() ? 1100 : 1200, false) + DoneMessage(id, 0, r.cookie.empty() ? "next" : "");
  }
  if (r.base == "<SID=S-1-5-21-1-2-3-1203>") return NoticeOfDisconnectionMessage(52, "going down");
  if (r.base.starts_with("<SID=")) {
    return EntryMessage(id, "CN=x,DC=t", {{"sAMAccountName", {"a" + r.base.substr(20, 4)}}}) + done;
  }
  if (r.base == "CN=Partitions,CN=Configuration,DC=t") return EntryMessage(id, "CN=T", {{"nETBIOSName", {"T"}}}) + done;
  if (!r.base.empty()) return done;
  return EntryMessage(id, "", {{"dnsHostName", {"dc1.t"}},
                               {"defaultNamingContext", {"DC=t"}},
                               {"configurationNamingContext", {"CN=Configuration,DC=t"}},
                               {"supportedCapabilities", {"1.2.840.113556.1.4.800"}}}) +
         done;
}

struct Outcome {
  std::string out, err;
  int code = 0;
};

// A run of quelby over a front that cuts the answers as asked; the front's
// port, which the output names, reads "port".
Outcome RunQuelby(RecordCuts cuts) {
  ScriptedLdapServer server({});
  server.AnswerEveryLaterRequest(Answer);
  ScriptedTlsFront front(server.port(), TestData("tls_loopback_cert.pem"), TestData("tls_loopback_key.pem"), 0, cuts);
  const std::string port = std::to_string(front.port());
  std::vector<std::string> words = {"quelby", "-h", "127.0.0.1:" + port, "-simple", "-b", "DC=t", "-ps", "4",
                                    "-resolvesids", "cn", "objectSid"};
  if (cuts.tls) words.push_back("-ssl");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  char* envp[] = {nullptr};
  g_SidNameCache.clear();
  ResetSidLookups();
  Outcome o;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  o.code = QuelbyMain(static_cast<int>(words.size()), argv.data(), envp);
  o.out = testing::internal::GetCapturedStdout();
  o.err = testing::internal::GetCapturedStderr();
  for (std::string* text : {&o.out, &o.err}) {
    for (size_t at; (at = text->find(":" + port)) != std::string::npos;) text->replace(at + 1, port.size(), "port");
  }
  return o;
}

TEST(RecordBoundaries, EveryCutOfTheAnswersGivesTheOutputOfTheWholeAnswers) {
  for (const bool tls : {true, false}) {
    const Outcome whole = RunQuelby({.tls = tls});
    // The whole road was taken: names from the batch and from lookups one
    // by one, and none for the SID the notice answered.
    ASSERT_EQ(whole.code, 0) << whole.err;
    for (const char* shown : {"T\\u1103\n", "T\\a1202\n", "S-1-5-21-1-2-3-1203\n", "8 Objects returned"}) {
      EXPECT_NE(whole.out.find(shown), std::string::npos) << shown;
    }
    std::vector<RecordCuts> cuts;
    for (size_t k = 1; k <= 6; ++k) cuts.push_back({.headBytes = k, .tls = tls});
    for (size_t n : {1, 2, 3, 4, 5, 1021}) cuts.push_back({.recordBytes = n, .tls = tls});
    for (const RecordCuts& c : cuts) {
      SCOPED_TRACE(std::string(tls ? "TLS, " : "TCP, ") + (c.headBytes > 0 ? "head of " : "records of ") +
                   std::to_string(c.headBytes + c.recordBytes));
      const Outcome cut = RunQuelby(c);
      EXPECT_EQ(cut.code, whole.code);
      EXPECT_EQ(cut.out, whole.out);
      EXPECT_EQ(cut.err, whole.err);
    }
  }
}

}  // namespace
