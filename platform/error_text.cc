#include "platform/error_text.h"

#include <cerrno>

#include "platform/last_error.h"

namespace plat {
namespace {

struct MessageEntry {
  DWORD code;
  const char* text;
};

// Sorted by code for the binary search below.
constexpr MessageEntry kMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "The function is not valid.\r\n"},
    {2, "The system could not find the file named.\r\n"},
    {3, "The system could not find the path named.\r\n"},
    {4, "Too many files are open; the system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is not valid.\r\n"},
    {8, "Not enough memory is available to carry out this command.\r\n"},
    {13, "The data is not valid.\r\n"},
    {19, "The medium is write protected.\r\n"},
    {31, "A device attached to the system is not working.\r\n"},
    {32, "The file cannot be accessed because another process is using it.\r\n"},
    {38, "The end of the file has been reached.\r\n"},
    {50, "This request is not supported.\r\n"},
    {80, "The file already exists.\r\n"},
    {87, "A parameter is not valid.\r\n"},
    {109, "The pipe has been ended.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {123, "The file name, directory name or volume label syntax is wrong.\r\n"},
    {170, "The requested resource is in use.\r\n"},
    {206, "The file name or extension is too long.\r\n"},
    {267, "The directory name is not valid.\r\n"},
    {1117, "The request could not be carried out because of an I/O device error.\r\n"},
    {1317, "The user named does not exist.\r\n"},
    {1332, "No mapping between account names and security IDs was made.\r\n"},
    {1337, "The security ID structure is not valid.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1722, "The RPC server cannot be reached.\r\n"},
    {1753, "The endpoint mapper has no more endpoints available.\r\n"},
    {1921, "The name of the file cannot be resolved by the system.\r\n"},
    {8418, "The replication operation failed because the schemas of the servers "
           "involved do not match.\r\n"},
    {8439, "The distinguished name given for this replication operation is not "
           "valid.\r\n"},
    {8453, "Replication access was denied.\r\n"},
    {8524, "The directory service operation cannot go on because a DNS lookup "
           "failed.\r\n"},
    {8545, "The replication update could not be applied because the source or "
           "the destination has not yet learned of a recent cross-domain move "
           "operation.\r\n"},
    {0x800401F3u, "The class string is not valid.\r\n"},
};

constexpr bool MessagesSorted() {
  for (size_t i = 1; i < sizeof(kMessages) / sizeof(kMessages[0]); ++i) {
    if (kMessages[i - 1].code >= kMessages[i].code) return false;
  }
  return true;
}
static_assert(MessagesSorted(), "message table must be sorted by code");

}  // namespace

DWORD FormatMessageA(DWORD code, std::string* text) {
  size_t lo = 0;
  size_t hi = sizeof(kMessages) / sizeof(kMessages[0]);
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kMessages[mid].code < code) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == sizeof(kMessages) / sizeof(kMessages[0]) || kMessages[lo].code != code) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  if (text != nullptr) *text = kMessages[lo].text;
  return static_cast<DWORD>(std::string(kMessages[lo].text).size());
}

DWORD ErrnoToWin32Error(int errnoValue) {
  switch (errnoValue) {
    case 0: return 0;
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EPERM:
    case EACCES:
    case EISDIR: return 5;
    case EBADF: return 6;
    case ENOMEM: return 8;
    case EROFS: return 19;
    case ETXTBSY: return 32;
    case ENOSYS:
    case EOPNOTSUPP: return 50;
    case EEXIST: return 80;
    case EINVAL: return 87;
    case EPIPE: return 109;
    case ENOSPC:
    case EDQUOT: return 112;
    case EBUSY: return 170;
    case ENAMETOOLONG: return 206;
    case EIO: return 1117;
    case ETIMEDOUT: return 1460;
    case ELOOP: return 1921;
    default: return 31;  // a general failure
  }
}

}  // namespace plat
