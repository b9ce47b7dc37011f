// Fuzz target: arbitrary text as SDDL through the ACL sections and the ACE
// renderer. The first byte picks the level, the layout and the filters.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/process_state.h"
#include "structured/security_descriptor_output.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::string sddl(reinterpret_cast<const char*>(data + 1), size - 1);
  g_SddlPlus = (mode & 0x01) != 0;
  g_SddlPlusPlus = (mode & 0x02) != 0;
  g_CsvOutput = (mode & 0x04) != 0;
  g_SdAclFlagsOnly = (mode & 0x08) != 0;
  g_SddlFilterFields.assign(6, "");
  g_SddlNotFilterFields.assign(6, "");
  g_SddlFilterCount = g_SddlNotFilterCount = 0;
  if (mode & 0x10) {
    g_SddlFilterFields[0] = "a";
    g_SddlFilterFields[1] = "-";
    g_SddlFilterCount = 2;
  }
  if (mode & 0x20) {
    g_SddlNotFilterFields[2] = "-";
    g_SddlNotFilterCount = 1;
  }
  // The cache would otherwise grow over the whole fuzzing run.
  if (g_AceTextCache.size() > 10000) g_AceTextCache.clear();
  std::string body, header;
  OutputAclSections(">a: ", &body, &header, sddl,
                    (mode & 0x40) ? "msExchMailboxSecurityDescriptor" : "nTSecurityDescriptor");
  return 0;
}
