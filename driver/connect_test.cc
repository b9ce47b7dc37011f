#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/process_state.h"
#include "directory/scripted_ldap_server.h"
#include "driver/test_query_run.h"

namespace {

std::string RootDse(int64_t id) {
  return EntryMessage(id, "",
                      {{"dnsHostName", {"dc1.example.com"}},
                       {"defaultNamingContext", {"DC=example,DC=com"}},
                       {"configurationNamingContext", {"CN=Configuration,DC=example,DC=com"}},
                       {"schemaNamingContext", {"CN=Schema,CN=Configuration,DC=example,DC=com"}},
                       {"rootDomainNamingContext", {"DC=root,DC=com"}},
                       {"supportedCapabilities", {"1.2.840.113556.1.4.800"}}}) +
         DoneMessage(id, 0, "", false);
}

// The connect phase against a scripted server, bound anonymously.
class Connect : public testing::Test {
 protected:
  void SetUp() override {
    settings.host = "127.0.0.1";
    settings.anonymous = true;
    settings.simpleBind = true;
    g_ResolveSids = false;
  }
  void TearDown() override {
    if (run_ != nullptr && run_->search.connection != nullptr) {
      plat::ldap_unbind(run_->search.connection);
    }
    g_LdapSession = nullptr;
    g_RootDse = nullptr;
    g_SidLookupServer.clear();
  }

  bool Run(ScriptedLdapServer& server, int* exitCode) {
    settings.port = server.port();
    QueryRun& run = t_.Start();
    testing::internal::CaptureStderr();
    const bool going = ConnectAndReadRootDse(run, exitCode);
    err_ = testing::internal::GetCapturedStderr();
    return going;
  }

  TestQueryRun t_;
  QuerySettings& settings = t_.settings;
  CZQTimer& timers_ = t_.timers;
  std::unique_ptr<QueryRun>& run_ = t_.run;
  std::string err_;
};

TEST_F(Connect, PublishesTheConnectionAndTimesOpenAndRead) {
  ScriptedLdapServer server({RootDse});
  int exitCode = 0;
  ASSERT_TRUE(Run(server, &exitCode)) << err_;
  EXPECT_NE(run_->search.connection, nullptr);
  EXPECT_EQ(g_LdapSession, run_->search.connection);
  EXPECT_EQ(g_RootDse, run_->search.rootDse.get());
  EXPECT_EQ(g_SidLookupServer, "dc1.example.com");
  EXPECT_TRUE(run_->search.isAD);
  EXPECT_EQ(run_->search.serverType, run_->search.rootDse->serverType);
  EXPECT_EQ(timers_.labels, (std::vector<std::string>{"LDAP_OPEN", "ROOT_DSE"}));
  EXPECT_NE(timers_.timers["ROOT_DSE"].second, 0u);  // stopped
}

TEST_F(Connect, SpecialBasesInTheirOrderAndTheRelativeBase) {
  settings.base = "OU=typed";
  settings.baseDefault = true;
  {
    ScriptedLdapServer server({RootDse});
    int exitCode = 0;
    ASSERT_TRUE(Run(server, &exitCode)) << err_;
    EXPECT_EQ(settings.base, "DC=example,DC=com");  // a special base wins over -b
  }
  plat::ldap_unbind(run_->search.connection);
  run_->search.connection = nullptr;

  settings.baseDefault = false;
  settings.baseSchema = true;
  settings.baseRoot = true;  // -root comes after -schema
  settings.relativeBase = "OU=Rel";
  {
    ScriptedLdapServer server({RootDse});
    int exitCode = 0;
    ASSERT_TRUE(Run(server, &exitCode)) << err_;
    EXPECT_EQ(settings.base, "OU=Rel,DC=root,DC=com");
  }
  plat::ldap_unbind(run_->search.connection);
  run_->search.connection = nullptr;

  settings.baseNull = true;  // the last one given in this order
  {
    ScriptedLdapServer server({RootDse});
    int exitCode = 0;
    ASSERT_TRUE(Run(server, &exitCode)) << err_;
    EXPECT_EQ(settings.base, "OU=Rel,");
  }
}

TEST_F(Connect, AFailedRootDseReadEndsTheRunWithMinusOne) {
  ScriptedLdapServer server({[](int64_t id) { return DoneMessage(id, 1, "", false); }});
  int exitCode = 0;
  EXPECT_FALSE(Run(server, &exitCode));
  EXPECT_EQ(exitCode, -1);
  EXPECT_EQ(run_->search.connection, nullptr);  // released here
  EXPECT_EQ(g_LdapSession, nullptr);
  EXPECT_EQ(err_,
            "LDAP_SEARCH_S: 0x1\nLDAP_SEARCH_S: Operations Error\n\n"
            "ERROR: Couldn't gather RootDSE Info...\nTerminating program.\n");
}

TEST_F(Connect, AConnectionThatCannotBeOpenedEndsTheRunWithMinusOne) {
  ScriptedLdapServer server({RootDse});
  server.SetBindResult(49, "bad password");
  int exitCode = 0;
  EXPECT_FALSE(Run(server, &exitCode));
  EXPECT_EQ(exitCode, -1);
  EXPECT_EQ(run_->search.connection, nullptr);
  EXPECT_EQ(run_->search.rootDse, nullptr);  // no RootDSE read was tried
  EXPECT_TRUE(err_.size() >= 21 && err_.substr(err_.size() - 21) == "Terminating program.\n") << err_;
}

}  // namespace
