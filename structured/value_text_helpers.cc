#include "structured/value_text_helpers.h"

#include "common/string_util.h"

std::string GetXmlElementText(std::string tag, std::string text) {
  const size_t open = text.find('<');
  if (open == std::string::npos) return {};
  std::string t = text.substr(open);
  t = ReplaceFirst(std::move(t), "<" + tag + "> ", "", false);
  return ReplaceFirst(std::move(t), " </" + tag + ">", "", false);
}

std::string JoinStrings(const std::string* first, const std::string* last,
                        std::string separator) {
  if (first == last) return {};
  std::string result = *first;
  for (const std::string* e = first + 1; e != last; ++e) {
    result.append(separator);
    result.append(*e);
  }
  return result;
}

void AppendFlagName(std::vector<std::string>* names, unsigned* flags, unsigned bit,
                    const std::string& name) {
  if ((*flags & bit) == 0) return;
  names->push_back(name + "(" + UIntToString(bit, 10) + ")");
  // Only the bits that are set are cleared, so a remainder never underflows.
  *flags &= ~bit;
}
