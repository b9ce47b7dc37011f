#include "values/record_reader.h"

#include "platform/text_convert.h"

uint8_t RecordReader::U8(size_t offset) {
  if (!Has(offset, 1)) {
    ok_ = false;
    return 0;
  }
  return data_[offset];
}

uint32_t RecordReader::U32(size_t offset) {
  if (!Has(offset, 4)) {
    ok_ = false;
    return 0;
  }
  const unsigned char* p = data_ + offset;
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t RecordReader::U64(size_t offset) {
  if (!Has(offset, 8)) {
    ok_ = false;
    return 0;
  }
  return static_cast<uint64_t>(U32(offset)) | (static_cast<uint64_t>(U32(offset + 4)) << 32);
}

void RecordReader::FileTime(size_t offset, DWORD* low, DWORD* high) {
  if (!Has(offset, 8)) {
    ok_ = false;
    *low = *high = 0;
    return;
  }
  *low = U32(offset);
  *high = U32(offset + 4);
}

const unsigned char* RecordReader::Guid(size_t offset) {
  if (!Has(offset, 16)) {
    ok_ = false;
    return nullptr;
  }
  return data_ + offset;
}

std::string RecordReader::Utf16Text(size_t offset) {
  if (offset >= size_) {
    ok_ = false;
    return {};
  }
  std::u16string wide;
  for (size_t pos = offset; Has(pos, 2); pos += 2) {
    const char16_t unit =
        static_cast<char16_t>(data_[pos] | (static_cast<unsigned>(data_[pos + 1]) << 8));
    if (unit == 0) return plat::WideToNarrow(wide);
    wide.push_back(unit);
  }
  ok_ = false;  // no terminator inside the value
  return {};
}

std::string RecordReader::TextAtOffsetField(size_t fieldOffset, const char* absentText) {
  const uint32_t offset = U32(fieldOffset);
  if (!ok_) return {};
  if (offset == 0) return absentText;
  return Utf16Text(offset);
}
