// Bounded little-endian reads from one binary value as the server sent it.
// Records are never overlaid with a struct: each field is read byte by byte,
// and only after its bytes are known to lie inside the value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win_types.h"

class RecordReader {
 public:
  RecordReader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  explicit RecordReader(std::string_view value)
      : data_(reinterpret_cast<const unsigned char*>(value.data())), size_(value.size()) {}

  size_t size() const { return size_; }
  const unsigned char* data() const { return data_; }
  // True when width bytes from offset lie inside the value (no overflow).
  bool Has(size_t offset, size_t width) const {
    return offset <= size_ && width <= size_ - offset;
  }
  // False once any read or text has failed its bounds check; a failed read
  // gives 0 (or "") and never touches bytes outside the value.
  bool ok() const { return ok_; }

  uint8_t U8(size_t offset);
  uint32_t U32(size_t offset);
  int32_t I32(size_t offset) { return static_cast<int32_t>(U32(offset)); }
  uint64_t U64(size_t offset);
  int64_t I64(size_t offset) { return static_cast<int64_t>(U64(offset)); }
  // A FILETIME as its two 32-bit words.
  void FileTime(size_t offset, DWORD* low, DWORD* high);
  // The 16 bytes of a GUID at offset, or null when they are not all there.
  const unsigned char* Guid(size_t offset);

  // The NUL-terminated UTF-16LE text at offset, as narrow text. Fails when the
  // offset lies outside the value or no terminator follows inside it.
  std::string Utf16Text(size_t offset);
  // The text at the 32-bit offset read from the field at fieldOffset; an
  // offset of 0 means there is none, and gives absentText.
  std::string TextAtOffsetField(size_t fieldOffset, const char* absentText);

 private:
  const unsigned char* data_;
  size_t size_;
  bool ok_ = true;
};
