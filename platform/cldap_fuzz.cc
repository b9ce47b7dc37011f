// Fuzz target: one connectionless LDAP answer datagram decoded as a reply to
// message 1; whatever is kept must be whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/cldap.h"

using namespace plat::detail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> datagram(data, data + size);
  CldapReply reply;
  CldapDecode r = DecodeCldapDatagram(datagram.data(), datagram.size(), 1, &reply);
  if (r != CldapDecode::kOk && (!reply.entries.empty() || reply.done)) abort();
  size_t bytes = 0;
  for (const CldapEntry& e : reply.entries) {
    bytes += e.dn.size();
    for (const CldapAttribute& a : e.attributes) {
      bytes += a.name.size();
      for (const std::string& v : a.values) bytes += v.size();
    }
  }
  if (bytes > size) abort();
  return 0;
}
