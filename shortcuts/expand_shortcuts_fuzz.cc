// Fuzz target: the shortcut pass on a store made from the input, lines
// "-sc value", "-af value", then switch names. Whatever the input, the pass
// must not fail; and when neither the argument nor the -af value holds a
// filter special character, and the -af value is a filter item, the filter
// it leaves must parse.
#include <lber.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/cmdline.h"
#include "platform/ldap_filter.h"
#include "shortcuts/expand_shortcuts.h"

extern "C" int ldap_pvt_put_filter(BerElement* ber, const char* str);

namespace {

// No filter special character, and no NUL (a command-line word holds none).
bool Plain(const std::string& text) {
  return text.find_first_of(std::string("()*\\\0", 5)) == std::string::npos;
}

bool Parses(const std::string& filter) {
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  if (ber == nullptr) return false;
  const int rc = ldap_pvt_put_filter(ber, filter.c_str());
  ber_free(ber, 1);
  return rc == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(static_cast<char>(data[i]));
    }
  }
  char program[] = "quelby";
  char* argv[] = {program, nullptr};
  CCmdLine store(1, argv, {}, false);
  store.SetValue("sc", lines[0]);
  const std::string af = lines.size() > 1 ? lines[1] : "";
  if (lines.size() > 1) store.SetValue("af", af);
  for (size_t i = 2; i < lines.size(); ++i) {
    if (lines[i] != "adcsv") store.SetValue(lines[i], "");  // -adcsv writes to stdout
  }
  ExpandShortcuts(&store);
  const std::string sc = lines[0];
  const size_t colon = sc.find(':');
  const std::string arg = colon == std::string::npos ? "" : sc.substr(colon + 1);
  if (store.HasSwitch("????") || !Plain(arg) || !Plain(af)) return 0;
  if (!af.empty() && !Parses("(" + af + ")")) return 0;  // not a filter item itself
  std::string f = store.GetValue("f");
  if (f.empty() || f[0] == '*') f = "objectclass=*";
  if (!Parses(std::string(plat::detail::StripRedundantParens("(" + f + ")")))) abort();
  return 0;
}
