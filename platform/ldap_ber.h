// BER writer (DER form) and a bounds-checked BER reader, used for control
// values, the paged-results cookie and the connectionless LDAP messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plat::detail {

// Builds a DER encoding. Constructed elements are opened with Begin and
// closed with End; lengths are written in their shortest form.
class BerWriter {
 public:
  void Begin(uint32_t tag);
  bool End();  // false when nothing is open
  void Integer(int64_t value, uint32_t tag = 0x02);
  void Boolean(bool value, uint32_t tag = 0x01);
  void OctetString(std::string_view bytes, uint32_t tag = 0x04);
  void Null(uint32_t tag = 0x05);
  void BitString(const char* bytes, uint32_t bits, uint32_t tag = 0x03);
  // Raw, already encoded bytes.
  void Raw(std::string_view bytes) { buf_.append(bytes); }

  bool Balanced() const { return open_.empty(); }
  const std::string& Bytes() const { return buf_; }
  std::string Take() { return std::move(buf_); }

 private:
  void Tag(uint32_t tag);
  void Length(size_t len);
  std::string buf_;
  std::vector<size_t> open_;  // content start of each open element
};

// Reads BER elements from a byte range, never past its end.
class BerReader {
 public:
  BerReader(const void* data, size_t len)
      : p_(static_cast<const unsigned char*>(data)), end_(p_ + len) {}

  bool AtEnd() const { return p_ >= end_; }
  size_t Remaining() const { return static_cast<size_t>(end_ - p_); }
  // Tag of the next element without consuming it; 0 when none.
  uint32_t PeekTag() const;
  // Next element: its tag and a reader over its contents. False when the
  // element is truncated or malformed.
  bool Element(uint32_t* tag, BerReader* contents);
  bool Element(uint32_t* tag, std::string_view* contents);
  bool Skip();
  // Typed reads of the next element, checking its tag.
  bool Integer(int64_t* value, uint32_t tag = 0x02);
  bool OctetString(std::string_view* value, uint32_t tag = 0x04);
  bool Boolean(bool* value, uint32_t tag = 0x01);
  bool Sequence(BerReader* contents, uint32_t tag = 0x30);

 private:
  bool Header(uint32_t* tag, size_t* len);
  const unsigned char* p_;
  const unsigned char* end_;
};

// Integer from INTEGER contents (two's complement, at most 8 bytes).
bool BerIntegerValue(std::string_view contents, int64_t* value);

}  // namespace plat::detail
