#include "driver/file_access.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "common/console_services.h"
#include "platform/error_text.h"


DWORD QueryFileAttributes(const std::string& name) {
  if (name.empty()) return ERROR_PATH_NOT_FOUND;
  struct stat st;
  if (stat(name.c_str(), &st) == 0) return ERROR_SUCCESS;
  int error = errno;
  // A name whose folder is missing is a path that was not found, not a
  // missing file in a folder that is there.
  size_t slash = name.find_last_of('/');
  if (error == ENOENT && slash != std::string::npos && slash != 0) {
    std::string folder = name.substr(0, slash);
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  }
  return plat::ErrnoToWin32Error(error);
}

namespace {

// Opens a file for reading; a folder, which Linux lets fopen open, counts as
// a file that cannot be opened.
FILE* OpenForReading(const std::string& name) {
  FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) return nullptr;
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

}  // namespace

TextRead ReadTextFile(const std::string& name, size_t limit, std::string* content) {
  FILE* f = OpenForReading(name);
  if (f == nullptr) return TextRead::kCannotRead;
  content->clear();
  TextRead result = TextRead::kOk;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    size_t end = 0;
    while (end < got && buffer[end] != '\x1a') ++end;
    if (end > limit - content->size()) {
      result = TextRead::kTooLarge;
      break;
    }
    content->append(buffer, end);
    if (end < got) break;  // the end-of-text byte
  }
  if (result == TextRead::kOk && std::ferror(f)) result = TextRead::kCannotRead;
  std::fclose(f);
  if (result != TextRead::kOk) content->clear();
  return result;
}

DWORD ReportFileLookupFailure(const std::string& name, DWORD code) {
  PrintWin32Error("ERR: Couldn't open file [" + name + "]:", code);
  std::cout << "\nThe command did not complete successfully\n\n";
  std::cout.flush();
  return code;
}

int ReportFileOpenFailure(const std::string& name) {
  std::cout << "ERR: Couldn't open file - " << name << "\n"
            << "\nThe command did not complete successfully\n\n";
  std::cout.flush();
  return -1;
}

int ReportFileTooLarge(const std::string& name, size_t limit) {
  std::cout << "ERR: File " << name << " holds more than " << limit << " bytes of text\n"
            << "\nThe command did not complete successfully\n\n";
  std::cout.flush();
  return -1;
}

bool ReadFirstLine(const std::string& name, size_t limit, std::string* line) {
  FILE* f = OpenForReading(name);
  if (f == nullptr) return false;
  line->clear();
  int c = EOF;
  while (line->size() < limit && (c = std::fgetc(f)) != EOF && c != '\n') {
    line->push_back(static_cast<char>(c));
  }
  // A line that is longer than the limit may have its line feed next.
  if (c != '\n' && c != EOF && line->size() == limit) {
    c = std::fgetc(f);
    if (c != '\n' || line->back() != '\r') c = EOF;
  }
  bool ok = !std::ferror(f);
  std::fclose(f);
  // Text mode: a carriage return that ended the line with its line feed.
  if (c == '\n' && !line->empty() && line->back() == '\r') {
    line->pop_back();
  }
  return ok;
}
