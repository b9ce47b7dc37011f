// Fuzz target: arbitrary bytes as a self-relative security descriptor. Every
// function must stay within the bytes, and a descriptor that validates must
// convert unless it holds an ACE without an SDDL code.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/security_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that a read past the value is caught.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size == 0 ? 1 : size]);
  if (size != 0) std::memcpy(copy.get(), data, size);
  const void* sd = copy.get();

  const bool valid = plat::IsValidSecurityDescriptor(sd, size);
  const DWORD length = plat::GetSecurityDescriptorLength(sd, size);
  if (valid != (length != 0)) std::abort();

  const void* owner = nullptr;
  DWORD ownerLength = 0;
  BOOL defaulted = 0;
  if (plat::GetSecurityDescriptorOwner(sd, size, &owner, &ownerLength, &defaulted) &&
      owner != nullptr) {
    const size_t offset = static_cast<const uint8_t*>(owner) - copy.get();
    if (offset + ownerLength > size) std::abort();
  }

  std::string text;
  const bool converted = plat::ConvertSecurityDescriptorToStringSecurityDescriptorA(
      sd, size, plat::SDDL_REVISION_1, 15, &text);
  if (converted && !valid) std::abort();
  return 0;
}
