// The shell's folder browser: a BROWSEINFO record, the item lists that name
// folders, and the browser's callback messages. The browser itself is the
// window system's folder picker (UiBackend::BrowseForFolder).
#pragma once

#include <cstdint>
#include <string>

#include "audit/platform/win_defs.h"

namespace plat {

struct ItemIdList;  // names one chosen folder
using LPITEMIDLIST = ItemIdList*;
using LPCITEMIDLIST = const ItemIdList*;

// The browser's window while it is open; messages are sent to it.
struct BrowserWindow;
using HWND = BrowserWindow*;

using LPARAM = intptr_t;
using WPARAM = uintptr_t;
using BFFCALLBACK = int (*)(HWND window, UINT message, LPARAM param, LPARAM data);

struct BROWSEINFOA {
  HWND hwndOwner;
  LPCITEMIDLIST pidlRoot;
  char* pszDisplayName;  // MAX_PATH bytes
  const char* lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
};

constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001;
constexpr UINT BIF_STATUSTEXT = 0x0004;

constexpr UINT WM_USER = 0x0400;
constexpr UINT BFFM_INITIALIZED = 1;
constexpr UINT BFFM_SELCHANGED = 2;
constexpr UINT BFFM_VALIDATEFAILEDA = 3;
constexpr UINT BFFM_IUNKNOWN = 5;
constexpr UINT BFFM_SETSTATUSTEXTA = WM_USER + 100;
constexpr UINT BFFM_SETSELECTIONA = WM_USER + 102;

// Shows the browser: BFFM_INITIALIZED goes to the callback first, which may
// preselect a folder with BFFM_SETSELECTIONA; BFFM_SELCHANGED follows with
// the folder chosen. Returns the chosen folder's item list (freed with
// CoTaskMemFree), or NULL when the user cancelled.
LPITEMIDLIST SHBrowseForFolderA(BROWSEINFOA* info);

// The item list's folder as a Windows-form path into path (MAX_PATH bytes).
// FALSE when it has no file-system path or the path does not fit.
BOOL SHGetPathFromIDListA(LPCITEMIDLIST item, char* path);

void CoTaskMemFree(void* memory);

// Sends a message to the browser window: BFFM_SETSELECTIONA with a
// Windows-form path (wParam TRUE), BFFM_SETSTATUSTEXTA with a text.
LPARAM SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Beeps (the window system's bell).
BOOL MessageBeep(UINT type);

}  // namespace plat
