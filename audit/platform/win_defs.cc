#include "audit/platform/win_defs.h"

#include <cerrno>

namespace plat {

namespace {
thread_local DWORD g_lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return g_lastError; }

void SetLastError(DWORD code) { g_lastError = code; }

DWORD ErrnoToWinError(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    default: return ERROR_WRITE_FAULT;
  }
}

}  // namespace plat
