// Wide (UTF-16) text that carries a narrow (UTF-8) copy of itself.
//
// The wide text is the value; the narrow copy is a cache refreshed on every
// narrow access, so it always reflects the current wide text.
#pragma once

#include <string>

class CWString : public std::u16string {
 public:
  CWString() = default;
  // Converts narrow text to wide; a null pointer or "" gives an empty string.
  CWString(const char* ansi);             // NOLINT(google-explicit-constructor)
  CWString(std::string narrowText);       // NOLINT(google-explicit-constructor)
  CWString(std::u16string wide);          // NOLINT(google-explicit-constructor)

  // Replaces the wide text with the converted narrow text; null changes nothing.
  void Assign(const char* ansi);

  // Refreshes the narrow copy from the wide text.
  void SyncNarrow();
  // The narrow form of the current wide text.
  std::string GetNarrow();
  // Pointer to the narrow form; valid until the object changes or is refreshed.
  const char* c_str();

 private:
  std::string narrow;
};
