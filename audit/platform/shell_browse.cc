#include "audit/platform/shell_browse.h"

#include <cstring>

#include "audit/platform/crt_dirs.h"
#include "audit/platform/dialogs.h"

namespace plat {

struct ItemIdList {
  std::string linuxPath;
};

struct BrowserWindow {
  std::string selection;  // Linux path to preselect
  std::string status;
};

LPITEMIDLIST SHBrowseForFolderA(BROWSEINFOA* info) {
  if (!info) return nullptr;
  BrowserWindow window;
  if (info->lpfn) info->lpfn(&window, BFFM_INITIALIZED, 0, info->lParam);
  std::string chosen;
  int rc = Ui().BrowseForFolder(info->lpszTitle ? info->lpszTitle : "", window.selection, &chosen);
  if (rc != IDOK) return nullptr;
  auto* item = new ItemIdList{chosen};
  if (info->lpfn) {
    info->lpfn(&window, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item), info->lParam);
  }
  if (info->pszDisplayName) {
    size_t slash = chosen.find_last_of('/');
    std::string name = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
    if (name.empty()) name = chosen;
    std::strncpy(info->pszDisplayName, name.c_str(), MAX_PATH - 1);
    info->pszDisplayName[MAX_PATH - 1] = '\0';
  }
  return item;
}

BOOL SHGetPathFromIDListA(LPCITEMIDLIST item, char* path) {
  if (!path) return FALSE;
  path[0] = '\0';
  if (!item || item->linuxPath.empty() || item->linuxPath[0] != '/') return FALSE;
  std::string win = ToWindowsPath(item->linuxPath);
  // A path of the root keeps its separator; any other loses a trailing one.
  while (win.size() > 1 && win.back() == '\\' && !(win.size() == 3 && win[1] == ':'))
    win.pop_back();
  if (win.size() >= MAX_PATH) return FALSE;
  std::memcpy(path, win.c_str(), win.size() + 1);
  return TRUE;
}

void CoTaskMemFree(void* memory) { delete static_cast<ItemIdList*>(memory); }

LPARAM SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) return 0;
  if (message == BFFM_SETSELECTIONA && wParam && lParam) {
    window->selection = ToLinuxPath(reinterpret_cast<const char*>(lParam));
  } else if (message == BFFM_SETSTATUSTEXTA && lParam) {
    window->status = reinterpret_cast<const char*>(lParam);
  }
  return 0;
}

BOOL MessageBeep(UINT) {
  Ui().Beep();
  return TRUE;
}

}  // namespace plat
