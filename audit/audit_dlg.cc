#include "audit/audit_dlg.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "audit/config_dlg.h"
#include "audit/folder_dialog.h"
#include "audit/platform/crt_dirs.h"
#include "audit/platform/registry.h"
#include "audit/platform/utf8_text.h"
#include "audit/resource.h"

using namespace plat;

namespace {

// The stored text values: 80 characters with the terminating zero, written
// as at least 80 bytes. A character takes up to four bytes, so a value is read
// into a buffer that holds 80 of any kind.
constexpr size_t kValueChars = 80;
constexpr DWORD kValueSize = 80;
constexpr DWORD kValueBufferSize = 4 * kValueChars;

// Reads one stored text value; false when it is missing or too long.
bool ReadText(HKEY key, const char* name, std::string* out) {
  char buf[kValueBufferSize] = {};
  DWORD size = kValueBufferSize;
  DWORD type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) !=
      ERROR_SUCCESS)
    return false;
  if (CharCount(std::string(buf, size)) > kValueChars) return false;
  // The text ends at its first zero, and never past the bytes read.
  *out = std::string(buf, strnlen(buf, size));
  return true;
}

// Writes one text value, padded with zeros to 80 bytes; a text that does not
// fit is refused.
bool WriteText(HKEY key, const char* name, const std::string& text) {
  if (CharCount(text) >= kValueChars || text.find('\0') != std::string::npos) return false;
  std::string data = text;
  data.resize(std::max<size_t>(kValueSize, text.size() + 1), '\0');
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

}  // namespace

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    out.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

std::string DateText() {
  char date[9] = {};
  _strdate(date);
  return std::string(date, 2) + "-" + std::string(date + 3, 2) + "-" + std::string(date + 6, 2);
}

CAuditDlg::CAuditDlg(CDialog* parent)
    : CDialog(IDD_AUDIT_DIALOG, parent), m_hIcon(LoadIcon(IDR_MAINFRAME)) {}

void CAuditDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_SYSNAME, m_SysName);
  DDX_Text(dx, IDC_DRIVE, m_Drive);
  DDX_Text(dx, IDC_TYPE, m_Type);
  DDX_Text(dx, IDC_PATH, m_Path);
  DDX_Control(dx, IDC_PROGRESS, m_Progress);
}

void CAuditDlg::AddProgress(const std::string& line) {
  int index = m_Progress.AddString(line);
  m_Progress.SetTopIndex(index);
}

void CAuditDlg::FatalStop(const std::string& text) {
  AfxMessageBox(text, MB_OK | MB_ICONHAND);
  AddProgress(text);
  AddProgress("Aborting.");
}

std::string CAuditDlg::DrivePath() const {
  std::string letter = m_Drive.empty() ? " " : FirstChar(m_Drive);
  return Format("%s:\\%s\\%s\\%s\\", letter.c_str(), m_Type.c_str(), DateText().c_str(),
                m_SysName.c_str());
}

void CAuditDlg::ShowClearLabel(int clear) {
  SetDlgItemText(IDC_CLEARLABEL, clear == 1 ? "True" : clear == 0 ? "False" : "Unknown");
}

BOOL CAuditDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  std::string about = LoadString(IDS_ABOUTBOX);
  if (!about.empty()) {
    AppendMenuSeparator();
    AppendMenuItem(IDM_ABOUTBOX, about);
  }
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  HKEY software = nullptr, company = nullptr, product = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &software) !=
          ERROR_SUCCESS ||
      RegOpenKeyExA(software, "Calvetta", 0, KEY_ALL_ACCESS, &company) != ERROR_SUCCESS ||
      RegOpenKeyExA(company, "Tervane", 0, KEY_ALL_ACCESS, &product) != ERROR_SUCCESS) {
    AddProgress("Error: Could Not Find Registry Keys.");
    if (company) RegCloseKey(company);
    if (software) RegCloseKey(software);
    return TRUE;
  }

  bool ok = ReadText(product, "SysName", &m_SysName) && ReadText(product, "Drive", &m_Drive) &&
            ReadText(product, "Type", &m_Type) &&
            ReadText(product, "AutoLocation", &m_AutoLocation);
  if (ok) {
    BYTE buf[kValueSize] = {};
    DWORD size = kValueSize;
    DWORD type = 0;
    ok = RegQueryValueExA(product, "Clear", nullptr, &type, buf, &size) == ERROR_SUCCESS;
    if (ok) {
      DWORD value = buf[0] | (buf[1] << 8) | (buf[2] << 16) | (static_cast<DWORD>(buf[3]) << 24);
      m_Clear = static_cast<int>(value & 1);
    }
  }
  RegCloseKey(product);
  RegCloseKey(company);
  RegCloseKey(software);
  if (!ok) {
    AddProgress("Error: Could Not Read Registry Value.");
    return TRUE;
  }

  m_Path = DrivePath();
  UpdateData(FALSE);
  ShowClearLabel(m_Clear);
  return TRUE;
}

void CAuditDlg::OnCommand(int id) {
  switch (id) {
    case IDC_GO: OnBnClickedGo(); break;
    case IDC_CHANGE: OnBnClickedChange(); break;
    case IDC_CONFIGURE: OnBnClickedConfigure(); break;
    default: CDialog::OnCommand(id); break;
  }
}

void CAuditDlg::OnSysCommand(UINT id, long param) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else {
    CDialog::OnSysCommand(id, param);
  }
}

void CAuditDlg::OnBnClickedChange() {
  std::string start = (_access(m_Path, 0) == 0) ? m_Path : ".\\";
  auto* browser = new CFolderDialog("Save Files To Custom Directory.", start.c_str(), nullptr,
                                    BIF_RETURNONLYFSDIRS);
  if (browser->DoModal() == IDOK) {
    m_Path = std::string(browser->m_SelectedPath) + "\\";
    UpdateData(FALSE);
    m_CustomPath = true;
  } else {
    m_Path = DrivePath();
    UpdateData(FALSE);
    m_CustomPath = false;
  }
  delete browser;
}

void CAuditDlg::OnBnClickedConfigure() {
  CConfigDlg config;
  config.m_Type = m_Type;
  config.m_Drive = m_Drive;
  config.m_SysName = m_SysName;
  config.m_AutoLocation = m_AutoLocation;
  config.m_Clear = m_Clear;
  if (config.DoModal() != IDOK) return;

  auto fail = [this](const char* text, UINT style) {
    AfxMessageBox(text, style);
    AddProgress(text);
  };
  HKEY software = nullptr, company = nullptr, product = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &software) !=
      ERROR_SUCCESS) {
    fail("Error: Could Not Find Software Registry Key.", MB_OK | MB_ICONHAND);
    return;
  }
  DWORD disposition = 0;
  if (RegCreateKeyExA(software, "Calvetta", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &company, &disposition) != ERROR_SUCCESS) {
    fail("Error: Could Not Creeate or Find Registry Keys.", MB_OK);  // no icon
    RegCloseKey(software);
    return;
  }
  if (RegCreateKeyExA(company, "Tervane", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &product, &disposition) != ERROR_SUCCESS) {
    fail("Error: Could Not Creeate or Find Registry Keys.", MB_OK);  // no icon
    RegCloseKey(company);
    RegCloseKey(software);
    return;
  }
  auto closeAll = [&] {
    RegCloseKey(product);
    RegCloseKey(company);
    RegCloseKey(software);
  };
  struct Field {
    const char* name;
    const std::string* from;
    std::string* to;
  } fields[] = {{"SysName", &config.m_SysName, &m_SysName},
                {"Drive", &config.m_Drive, &m_Drive},
                {"Type", &config.m_Type, &m_Type},
                {"AutoLocation", &config.m_AutoLocation, &m_AutoLocation}};
  for (const Field& f : fields) {
    if (!WriteText(product, f.name, *f.from)) {
      fail("Error: Could Not Set Registry Value.", MB_OK | MB_ICONHAND);
      closeAll();
      return;
    }
    *f.to = *f.from;
  }
  DWORD clear = static_cast<DWORD>(config.m_Clear);
  if (RegSetValueExA(product, "Clear", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&clear),
                     sizeof clear) != ERROR_SUCCESS) {
    fail("Error: Could Not Set Registry Value.", MB_OK | MB_ICONHAND);
    closeAll();
    return;
  }
  m_Clear = config.m_Clear;
  closeAll();
  UpdateData(FALSE);
  ShowClearLabel(m_Clear == 1 ? 1 : 0);
}
