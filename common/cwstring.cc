#include "common/cwstring.h"

#include <cstring>
#include <utility>

#include "platform/text_convert.h"

namespace {

// Narrow text up to its first NUL, as wide text ("" when conversion fails).
std::u16string ToWide(const char* text, size_t len) {
  const void* nul = std::memchr(text, '\0', len);
  if (nul != nullptr) len = static_cast<size_t>(static_cast<const char*>(nul) - text);
  return plat::NarrowToWide(std::string_view(text, len));
}

}  // namespace

CWString::CWString(const char* ansi) {
  if (ansi != nullptr) std::u16string::operator=(ToWide(ansi, std::strlen(ansi)));
}

CWString::CWString(std::string narrowText)
    : std::u16string(ToWide(narrowText.data(), narrowText.size())) {}

CWString::CWString(std::u16string wide) : std::u16string(std::move(wide)) {}

void CWString::Assign(const char* ansi) {
  if (ansi == nullptr) return;
  std::u16string::operator=(ToWide(ansi, std::strlen(ansi)));
}

void CWString::SyncNarrow() {
  std::u16string_view wide(*this);
  size_t nul = wide.find(u'\0');
  if (nul != std::u16string_view::npos) wide = wide.substr(0, nul);
  narrow = plat::WideToNarrow(wide);
}

std::string CWString::GetNarrow() {
  SyncNarrow();
  return narrow;
}

const char* CWString::c_str() {
  SyncNarrow();
  return narrow.c_str();
}
