#include "driver/switch_sources.h"

#include <iostream>

#include "common/cmdline.h"
#include "common/string_util.h"
#include "driver/file_access.h"

std::vector<std::string> SplitSwitchFileText(const std::string& content) {
  std::string text = content.substr(0, content.find('\x1a'));
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t lf = text.find('\n', start);
    if (lf == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    size_t end = lf;
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = lf + 1;
  }
  return lines;
}

bool ApplySwitchFile(CCmdLine& cmdLine, int* exitCode) {
  if (!cmdLine.HasSwitch("ef")) return true;
  const bool debug = cmdLine.HasSwitch("d");
  // The name keeps its case: file names are case-sensitive here.
  std::string fileName = "quelby.cf";
  std::string value = cmdLine.GetValue("ef");
  if (!value.empty()) fileName = value;

  DWORD code = QueryFileAttributes(fileName);
  if (code != ERROR_SUCCESS) {
    *exitCode = static_cast<int>(ReportFileLookupFailure(fileName, code));
    return false;
  }
  if (debug) std::cout << "Opening file:" << fileName << std::endl;
  std::string content;
  switch (ReadTextFile(fileName, kSwitchFileLimit, &content)) {
    case TextRead::kOk:
      break;
    case TextRead::kCannotRead:
      *exitCode = ReportFileOpenFailure(fileName);
      return false;
    case TextRead::kTooLarge:
      *exitCode = ReportFileTooLarge(fileName, kSwitchFileLimit);
      return false;
  }
  std::vector<std::string> lines = SplitSwitchFileText(content);

  if (debug) std::cout << "Applying lines" << std::endl;
  for (const std::string& line : lines) {
    if (debug) std::cout << "    " << line << std::endl;
    if (line.empty()) continue;
    if (line[0] == '-' || line[0] == '/') {
      std::vector<std::string> fields;
      SplitStringMax(line.substr(1), " ", &fields, 2);
      if (debug) {
        std::cout << "        [" << fields[0] << " : " << fields[1] << "]"
                  << std::endl;
      }
      cmdLine.SetValue(fields[0], fields[1]);
    } else {
      std::vector<std::string> pieces;
      SplitString(line, " ", &pieces, 65535);
      for (const std::string& piece : pieces) {
        if (debug) std::cout << "        [" << piece << "]" << std::endl;
        cmdLine.AddPositional(piece);
      }
    }
  }
  return true;
}

void ApplyEnvironmentSwitches(CCmdLine& cmdLine, char** envp) {
  if (!cmdLine.HasSwitch("e")) return;
  const bool debug = cmdLine.HasSwitch("d");
  std::string prefix = "quelby-";
  std::string value = cmdLine.GetValue("e");
  if (!value.empty()) {
    prefix = StrToLower(value);
    if (prefix.find('-') == std::string::npos &&
        prefix.find('_') == std::string::npos) {
      prefix += "-";
    }
  }
  if (envp == nullptr) return;

  // The selection is complete before any entry is applied.
  std::vector<std::string> selected;
  for (char** entry = envp; *entry != nullptr; ++entry) {
    std::string text = *entry;
    if (StrToLower(text).compare(0, prefix.size(), prefix) == 0) {
      selected.push_back(text);
    }
  }

  for (const std::string& entry : selected) {
    if (debug) std::cout << "ENVVAR: " << entry << std::endl;
    std::vector<std::string> fields;
    SplitStringMax(entry, "=", &fields, 2);
    std::string name = ReplaceFirst(fields[0], prefix, "", true);
    std::string entryValue = fields[1];
    if (name.empty() || StrToLower(name) == "props") {
      if (debug) std::cout << "Setting props" << std::endl;
      std::vector<std::string> pieces;
      SplitString(entryValue, " ", &pieces, 65535);
      for (const std::string& piece : pieces) {
        if (debug) std::cout << "    " << piece << std::endl;
        cmdLine.AddPositional(piece);
      }
      continue;
    }
    if (debug) std::cout << "Checking " << name << std::endl;
    // The command line and the switch file win over the environment.
    if (cmdLine.HasSwitch(name)) continue;
    if (entryValue == "{~}") entryValue = "";
    cmdLine.SetValue(name, entryValue);
    if (debug) std::cout << "  Adding " << name << ":" << entryValue << std::endl;
  }
}
