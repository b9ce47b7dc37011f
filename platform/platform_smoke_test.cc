#include <gtest/gtest.h>

#include "platform/win_types.h"

// The record layouts must match the directory's binary forms.
TEST(WinTypes, RecordSizes) {
  EXPECT_EQ(sizeof(FILETIME), 8u);
  EXPECT_EQ(sizeof(SYSTEMTIME), 16u);
  EXPECT_EQ(sizeof(GUID), 16u);
}
