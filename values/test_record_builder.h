// For tests: builds binary records byte by byte, little-endian, the way the
// directory lays them out: a zeroed fixed part, fields written at their
// offsets, and NUL-terminated UTF-16LE texts appended after the fixed part
// with their offsets written into the offset fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text_convert.h"

class TestRecord {
 public:
  explicit TestRecord(size_t fixedSize) : bytes_(fixedSize, '\0') {}

  TestRecord& U8(size_t offset, uint8_t v) { return Put(offset, v, 1); }
  TestRecord& U32(size_t offset, uint32_t v) { return Put(offset, v, 4); }
  TestRecord& U64(size_t offset, uint64_t v) { return Put(offset, v, 8); }
  TestRecord& Bytes(size_t offset, std::string_view b) {
    Grow(offset + b.size());
    bytes_.replace(offset, b.size(), b);
    return *this;
  }
  // Appends the text (UTF-8 here) as UTF-16LE with its terminator, and writes
  // its offset into the 32-bit field at offsetField.
  TestRecord& Text(size_t offsetField, std::string_view text, bool terminated = true) {
    U32(offsetField, static_cast<uint32_t>(bytes_.size()));
    for (char16_t unit : plat::NarrowToWide(text)) AppendUnit(unit);
    if (terminated) AppendUnit(0);
    return *this;
  }
  // Appends raw bytes after the fixed part (narrow text, padding...).
  TestRecord& Append(std::string_view b) {
    bytes_.append(b);
    return *this;
  }
  // Cuts the record to its first n bytes.
  TestRecord& Truncate(size_t n) {
    bytes_.resize(n);
    return *this;
  }
  size_t size() const { return bytes_.size(); }
  const std::string& str() const { return bytes_; }

 private:
  void Grow(size_t n) {
    if (bytes_.size() < n) bytes_.resize(n, '\0');
  }
  TestRecord& Put(size_t offset, uint64_t v, int width) {
    Grow(offset + width);
    for (int i = 0; i < width; ++i) bytes_[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return *this;
  }
  void AppendUnit(char16_t unit) {
    bytes_.push_back(static_cast<char>(unit & 0xFF));
    bytes_.push_back(static_cast<char>(unit >> 8));
  }
  std::string bytes_;
};

// FILETIMEs of a few moments (UTC), for the date columns.
inline constexpr uint64_t kTime2001 = 126256467060000000ULL;  // 2001/02/03-04:05:06
inline constexpr uint64_t kTime2010 = 129067776000000000ULL;  // 2010/01/01-00:00:00
inline constexpr uint64_t kTime2020 = 132223104000000000ULL;  // 2020/01/01-00:00:00
inline constexpr char kDsa1[] =
    "CN=NTDS Settings,CN=dc01,CN=Servers,CN=Main-Site,CN=Sites,CN=Configuration";
inline constexpr char kDsa2[] =
    "CN=NTDS Settings,CN=dc7,CN=Servers,CN=Branch,CN=Sites,CN=Configuration";
