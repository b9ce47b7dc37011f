#include "audit/folder_dialog.h"

#include <cstring>

using namespace plat;

CFolderDialog::CFolderDialog(const char* title, const char* initialFolder, CDialog* parent,
                             UINT flags)
    : CDialog(0, parent) {
  std::memset(&m_bi, 0, sizeof m_bi);
  std::memset(m_InitialFolder, 0, sizeof m_InitialFolder);
  std::memset(m_SelectedPath, 0, sizeof m_SelectedPath);
  m_bi.hwndOwner = nullptr;  // windows of the dialog layer are not browser owners
  m_bi.lpszTitle = title;
  m_bi.ulFlags = flags;
  m_bi.lpfn = &CFolderDialog::BrowseCallbackProc;
  m_bi.lParam = reinterpret_cast<LPARAM>(this);
  m_bi.pszDisplayName = new char[MAX_PATH]();
  // A folder that does not fit is not preselected rather than cut.
  if (initialFolder && std::strlen(initialFolder) < MAX_PATH)
    std::memcpy(m_InitialFolder, initialFolder, std::strlen(initialFolder) + 1);
}

CFolderDialog::~CFolderDialog() {
  if (m_bi.pidlRoot) CoTaskMemFree(const_cast<ItemIdList*>(m_bi.pidlRoot));
  delete[] m_bi.pszDisplayName;
  std::memset(&m_bi, 0, sizeof m_bi);
}

int CFolderDialog::DoModal() {
  LPITEMIDLIST item = SHBrowseForFolderA(&m_bi);
  if (!item) return IDCANCEL;
  BOOL ok = SHGetPathFromIDListA(item, m_SelectedPath);
  CoTaskMemFree(item);
  return ok ? IDOK : -1;
}

int CFolderDialog::BrowseCallbackProc(HWND window, UINT message, LPARAM param, LPARAM data) {
  auto* self = reinterpret_cast<CFolderDialog*>(data);
  int result = 0;
  self->m_hBrowser = window;
  switch (message) {
    case BFFM_INITIALIZED: self->OnInitialized(); break;
    case BFFM_SELCHANGED: self->OnSelChanged(reinterpret_cast<LPITEMIDLIST>(param)); break;
    case BFFM_VALIDATEFAILEDA:
      result = self->OnValidateFailed(reinterpret_cast<const char*>(param));
      break;
    case BFFM_IUNKNOWN: self->OnIUnknown(reinterpret_cast<void*>(param)); break;
    default: break;
  }
  self->m_hBrowser = nullptr;
  return result;
}

void CFolderDialog::OnInitialized() {
  if (m_InitialFolder[0] != '\0')
    SendMessageA(m_hBrowser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(m_InitialFolder));
}

void CFolderDialog::OnSelChanged(LPITEMIDLIST item) {
  if (!(m_bi.ulFlags & BIF_STATUSTEXT)) return;
  char path[MAX_PATH] = {};
  if (SHGetPathFromIDListA(item, path))
    SendMessageA(m_hBrowser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
}

int CFolderDialog::OnValidateFailed(const char*) {
  MessageBeep(MB_ICONHAND);
  return 1;  // keeps the browser open
}

void CFolderDialog::OnIUnknown(void*) {}
