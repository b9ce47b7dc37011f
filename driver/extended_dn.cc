#include "driver/extended_dn.h"

std::string PlainDn(std::string_view dn) {
  size_t pos = 0;
  while (pos < dn.size() && dn[pos] == '<') {
    const size_t close = dn.find('>', pos);
    if (close == std::string_view::npos) return std::string(dn);
    pos = close + 1;
    if (pos < dn.size() && dn[pos] == ';') ++pos;
  }
  if (pos >= dn.size()) return std::string(dn);
  return std::string(dn.substr(pos));
}
