#include "values/record_reader.h"

#include <gtest/gtest.h>

#include "values/test_record_builder.h"

namespace {

TEST(RecordReader, ReadsLittleEndianFieldsInsideTheValue) {
  const std::string v = TestRecord(24).U32(0, 0x04030201).U64(4, 0x8877665544332211ULL).U8(12, 0xFE).str();
  RecordReader r(v);
  EXPECT_EQ(r.U32(0), 0x04030201u);
  EXPECT_EQ(r.U64(4), 0x8877665544332211ULL);
  EXPECT_EQ(r.I64(4), static_cast<int64_t>(0x8877665544332211ULL));
  EXPECT_EQ(r.U8(12), 0xFE);
  EXPECT_EQ(r.I32(12), 0xFE);
  DWORD low = 0, high = 0;
  r.FileTime(4, &low, &high);
  EXPECT_EQ(low, 0x44332211u);
  EXPECT_EQ(high, 0x88776655u);
  EXPECT_EQ(r.Guid(8), reinterpret_cast<const unsigned char*>(v.data()) + 8);
  EXPECT_TRUE(r.ok());
}

// Each read that would reach past the value gives 0 and marks the reader.
TEST(RecordReader, ReadsPastTheEndFailAndLeaveZero) {
  const std::string v(10, '\xFF');
  struct Case {
    const char* what;
    uint64_t (*read)(RecordReader&);
  } cases[] = {
      {"U32 at 7", [](RecordReader& r) -> uint64_t { return r.U32(7); }},
      {"U64 at 3", [](RecordReader& r) -> uint64_t { return r.U64(3); }},
      {"U8 at 10", [](RecordReader& r) -> uint64_t { return r.U8(10); }},
      {"U32 at SIZE_MAX", [](RecordReader& r) -> uint64_t { return r.U32(SIZE_MAX - 1); }},
      {"GUID at 0", [](RecordReader& r) -> uint64_t { return r.Guid(0) != nullptr; }},
      {"FILETIME at 4", [](RecordReader& r) -> uint64_t {
         DWORD l = 1, h = 1;
         r.FileTime(4, &l, &h);
         return l | h;
       }},
  };
  for (const Case& c : cases) {
    RecordReader r(v);
    EXPECT_EQ(c.read(r), 0u) << c.what;
    EXPECT_FALSE(r.ok()) << c.what;
  }
  RecordReader r(v);
  EXPECT_EQ(r.U32(6), 0xFFFFFFFFu);  // the last four bytes are in reach
  EXPECT_TRUE(r.ok());
}

TEST(RecordReader, TextsAtOffsets) {
  struct Case {
    const char* what;
    std::string value;
    std::string text;
    bool ok;
  } cases[] = {
      {"text", TestRecord(4).Text(0, "CN=Zoë").str(), "CN=Zoë", true},
      {"offset 0 is no text", TestRecord(4).str(), "absent", true},
      {"empty text", TestRecord(4).Text(0, "").str(), "", true},
      {"no terminator", TestRecord(4).Text(0, "abc", false).str(), "", false},
      {"half a terminator", TestRecord(4).Text(0, "ab", false).Append(std::string(1, '\0')).str(), "", false},
      {"offset at the end", TestRecord(4).U32(0, 4).str(), "", false},
      {"offset far past the end", TestRecord(4).U32(0, 0xFFFFFFFF).str(), "", false},
      {"offset field cut", TestRecord(4).Truncate(3).str(), "", false},
      {"odd offset", TestRecord(5).U32(0, 5).Append(std::string("a\0\0\0", 4)).str(), "a", true},
  };
  for (const Case& c : cases) {
    RecordReader r(c.value);
    EXPECT_EQ(r.TextAtOffsetField(0, "absent"), c.text) << c.what;
    EXPECT_EQ(r.ok(), c.ok) << c.what;
  }
}

}  // namespace
