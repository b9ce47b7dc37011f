#include "common/process_state.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(ProcessState, StartValues) {
  EXPECT_EQ(g_SidLookupServer, "");
  EXPECT_EQ(g_SdSizeUnit, "B");
  EXPECT_EQ(g_MetaSortKey, "attrib");
  EXPECT_EQ(g_SdSizeDivisor, 1);
  EXPECT_EQ(g_SddlFilterCount, 0);
  EXPECT_EQ(g_SddlNotFilterCount, 0);
  EXPECT_FALSE(g_Quiet || g_Debug || g_Utc || g_DecodeTimes || g_ResolveSids ||
               g_SddlPlus || g_CsvOutput || g_MvFilterOn || g_StatsReceived);
  EXPECT_EQ(g_LdapSession, nullptr);
  EXPECT_EQ(g_RootDse, nullptr);
  EXPECT_TRUE(g_MvFilterMap.empty() && g_GuidAttributes.empty() &&
              g_BinaryAttributeExceptions.empty() && g_SidNameCache.empty() &&
              g_AceTextCache.empty() && g_GenTimeAttributes.empty());
  EXPECT_FALSE(g_SearchStats.initialised || g_SearchStats.hasCounts ||
               g_SearchStats.rightsProblem);
  EXPECT_EQ(g_SearchStats.elapsedMs + g_SearchStats.entriesReturned +
                g_SearchStats.entriesVisited,
            0u);
  EXPECT_TRUE(g_SearchStats.usedFilter.empty() && g_SearchStats.usedIndices.empty());
}

TEST(ProcessStateDeathTest, ExitAfterFillingDestroysCleanly) {
  EXPECT_EXIT(
      {
        for (int i = 0; i < 1000; ++i) {
          g_SidNameCache["S-1-5-21-" + std::to_string(i)] = "name";
          g_GuidAttributes["attr" + std::to_string(i)] = 1;
        }
        g_SearchStats.usedFilter = "(objectClass=*)";
        std::exit(1);
      },
      testing::ExitedWithCode(1), "");
}

}  // namespace
