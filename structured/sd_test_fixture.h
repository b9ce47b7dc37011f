// Test support: a fixture that puts every setting the security-descriptor
// renderers read back to its start value before and after each test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/console_services.h"
#include "common/process_state.h"

class SdSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    Reset();
    SetSidAccountLookup(nullptr);
  }
  static void Reset() {
    g_Debug = false;
    g_ResolveSids = g_ResolveSidsViaLdap = g_SidBinaryOut = false;
    g_SddlPlus = g_SddlPlusPlus = g_RawSddl = g_CsvOutput = false;
    g_SdNoOwner = g_SdNoGroup = g_SdNoDacl = g_SdNoSacl = g_SdAclFlagsOnly = false;
    g_SdShowSize = false;
    g_SdSizeDivisor = 1;
    g_SdSizeUnit = "B";
    g_MvFilterOn = g_MvNotFilterOn = g_MvFilterCaseSensitive = false;
    g_MvFilterMap.clear();
    g_MvNotFilterMap.clear();
    g_SddlFilterFields.assign(6, "");
    g_SddlNotFilterFields.assign(6, "");
    g_SddlFilterCount = g_SddlNotFilterCount = 0;
    g_AceTextCache.clear();
    g_SidNameCache.clear();
    g_SchemaRightsGuidMap.clear();
    g_SidLookupServer.clear();
    g_RootDse = nullptr;
    g_LdapSession = nullptr;
  }
  // Sets an ACE filter from its ";"-separated text, as the driver does.
  static void SetAceFilter(const std::string& text, bool notFilter) {
    std::vector<std::string>& fields = notFilter ? g_SddlNotFilterFields : g_SddlFilterFields;
    int32_t& count = notFilter ? g_SddlNotFilterCount : g_SddlFilterCount;
    fields.assign(6, "");
    size_t start = 0;
    for (int i = 0; i < 6; ++i) {
      size_t end = i == 5 ? std::string::npos : text.find(';', start);
      fields[i] = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    count = 0;
    for (const std::string& f : fields) count += f.empty() ? 0 : 1;
  }
};
