#include "driver/filter_file.h"

#include <cstring>
#include <iostream>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "driver/file_access.h"

bool ReadFilterFile(CCmdLine& cmdLine, QuerySettings& settings, int* exitCode) {
  if (!settings.filter.empty() || !cmdLine.HasSwitch("ff")) return true;
  std::string name = cmdLine.GetValue("ff");
  DWORD code = QueryFileAttributes(name);
  if (code != ERROR_SUCCESS) {
    *exitCode = static_cast<int>(ReportFileLookupFailure(name, code));
    return false;
  }
  std::string line;
  if (!ReadFirstLine(name, kFilterFileLineLimit, &line)) {
    *exitCode = ReportFileOpenFailure(name);
    return false;
  }
  // A zero byte ends the text.
  settings.filter = line.substr(0, std::strlen(line.c_str()));
  if (g_Debug) std::cout << "DEBUG: File Filter: " << settings.filter << "\n";
  return true;
}
