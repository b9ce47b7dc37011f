// The save run: settles the target folder, backs up the System, Application
// and Security logs into it, clears each log after its backup when asked to,
// and reports every step in the progress list.
#include <cerrno>

#include "audit/audit_dlg.h"
#include "audit/platform/crt_dirs.h"
#include "audit/platform/event_log.h"
#include "audit/platform/utf8_text.h"

using namespace plat;

namespace {

struct LogToSave {
  const char* name;  // the log's name for OpenEventLogA
  const char* file;  // backup file in the target folder
  const char* word;  // the log in the messages
};

constexpr LogToSave kLogs[] = {
    {"System", "sys.evt", "System"},
    {"Application", "app.evt", "Application"},
    {"Security", "sec.evt", "Security"},
};

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

void CAuditDlg::OnBnClickedGo() {
  UpdateData(TRUE);
  bool clear = (m_Clear == 1);
  bool runOk = true;
  AddProgress("----------------");
  AddProgress("Checking File Paths...");

  std::string target;
  if (m_AutoMode) {
    std::string date = DateText();
    target = Format("%s%s\\", m_AutoLocation.c_str(), date.c_str());
    if (_access(m_AutoLocation, 0) != 0) {
      FatalStop(Format("Could Not Open Automatic Save Directory %s", m_AutoLocation.c_str()));
      return;
    }
    if (_access(target, 0) != 0) {
      AddProgress(Format("Creating Directory %s.", target.c_str()));
      if (_mkdir(target) != 0) {
        int err = errno;
        FatalStop(Format("Could Not Create Directory %s! Error Code: %i", target.c_str(), err));
        return;
      }
    }
  } else if (m_CustomPath) {
    if (_access(m_Path, 0) != 0) {
      FatalStop(Format("Could Not Open Custom Directory %s", m_Path.c_str()));
      return;
    }
    target = m_Path;
  } else {
    // Only A to Z name drives; anything else is not a drive that is present.
    // The message shows the first character as typed, with all its bytes.
    std::string first = FirstChar(m_Drive);
    char letter = first.size() == 1 ? first[0] : '\0';
    bool present = IsDriveLetter(letter) && ((_getdrives() >> ((letter - 65) % 32)) & 1) != 0;
    if (!present) {
      FatalStop(Format("Drive %s: Not Found!", first.c_str()));
      return;
    }
    std::string date;
    std::string levels[3];
    levels[0] = Format("%c:\\%s\\", letter, m_Type.c_str());
    date = DateText();
    levels[1] = Format("%c:\\%s\\%s\\", letter, m_Type.c_str(), date.c_str());
    levels[2] = Format("%c:\\%s\\%s\\%s\\", letter, m_Type.c_str(), date.c_str(),
                       m_SysName.c_str());
    for (const std::string& level : levels) {
      if (_access(level, 0) == 0) continue;
      AddProgress(Format("Creating Directory %s.", level.c_str()));
      if (_mkdir(level) != 0) {
        int err = errno;
        FatalStop(Format("Could Not Create Directory %s! Error Code: %i", level.c_str(), err));
        return;
      }
    }
    target = levels[2];
    AddProgress("Paths OK.");
  }

  for (const LogToSave& log : kLogs) {
    // Files beside the log that may hold records of it no backup has (a
    // writer kept the old log open through a clear) are named before the log
    // is closed.
    auto closeLog = [this, &log](HANDLE h) {
      for (const std::string& left : EventLogLeftoversA(h))
        AddProgress(Format("%s Log Records Left In %s.", log.word, left.c_str()));
      CloseEventLog(h);
    };
    AddProgress(Format("Saving %s Log...", log.word));
    std::string file = target + log.file;

    HANDLE handle = OpenEventLogA(nullptr, log.name);
    if (!handle) {
      DWORD err = GetLastError();
      FatalStop(Format("Could Not Open %s Log! Error Code: %i", log.word, static_cast<int>(err)));
      return;
    }
    if (!BackupEventLogA(handle, file.c_str())) {
      DWORD err = GetLastError();
      if (err != ERROR_ALREADY_EXISTS) {
        closeLog(handle);
        FatalStop(
            Format("Could Not Save %s Log! Error Code: %i", log.word, static_cast<int>(err)));
        return;
      }
      int answer = (m_AutoMode && m_OverwriteAnswer != -1)
                       ? m_OverwriteAnswer
                       : AfxMessageBox(Format("%s Log Exists. Overwrite?", log.word),
                                       MB_YESNO | MB_ICONQUESTION);
      if (answer != IDYES) {
        AddProgress(Format("%s Log Not Overwritten.", log.word));
        clear = false;
        runOk = false;
        closeLog(handle);
        continue;
      }
      // The new backup is written complete beside the old one, under a name
      // made for it that no other file has, and then takes the old one's
      // place in one step, so there is always one whole copy. Replacing is
      // refused where deleting would be: a read-only file, a folder.
      std::string fresh;
      if (!BackupEventLogBesideA(handle, file.c_str(), &fresh)) {
        DWORD e = GetLastError();
        closeLog(handle);
        FatalStop(
            Format("Could Not Save %s Log! Error Code: %i", log.word, static_cast<int>(e)));
        return;
      }
      if (plat::rename(fresh, file) != 0) {
        int e = errno;
        plat::remove(fresh);
        AddProgress(Format("Could Not Delete Old Log File! Error Code: %i", e));
        clear = false;
        runOk = false;
        closeLog(handle);
        continue;
      }
      KeepEventLogBackup(handle);
    }
    if (clear) {
      if (ClearEventLogA(handle, nullptr)) {
        AddProgress(Format("%s Log Cleared.", log.word));
      } else {
        DWORD err = GetLastError();
        if (err != ERROR_IO_PENDING) {
          AddProgress(
              Format("Could Not Clear %s Log. Error Code: %i", log.word, static_cast<int>(err)));
          runOk = false;
        }
      }
    }
    closeLog(handle);
    AddProgress("Save Successful.");
  }

  if (runOk) {
    if (!m_AutoMode) AfxMessageBox("Operation Completed Successfully.", MB_OK);
    AddProgress("Operation Completed Successfully.");
  } else {
    AfxMessageBox("Operation Encountered Errors. Consult Log.", MB_OK);
    AddProgress("Operation Encountered Errors.");
  }
}
