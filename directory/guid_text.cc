#include "directory/guid_text.h"

#include "common/cwstring.h"
#include "platform/guid.h"

std::string GuidToString(const GUID* guid) {
  if (guid == nullptr) return std::string();
  // Read through the bytes: values from the server carry no alignment.
  GUID value = plat::GuidFromBytes(reinterpret_cast<const BYTE*>(guid));
  char16_t buffer[plat::kGuidTextChars] = {};
  if (plat::StringFromGUID2(value, buffer, plat::kGuidTextChars) == 0) buffer[0] = 0;
  CWString text{std::u16string(buffer)};
  return text.GetNarrow();
}
