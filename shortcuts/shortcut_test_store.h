// Switch stores for the shortcut tests, built the way the driver leaves them
// before the pass: switches by name, attributes in order.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/cmdline.h"

namespace shortcut_test {

// "name" is a flag, "name=value" a switch with a value (cut at the first "=").
inline std::map<std::string, std::string> Switches(const std::vector<std::string>& items) {
  std::map<std::string, std::string> m;
  for (const std::string& item : items) {
    size_t eq = item.find('=');
    if (eq == std::string::npos) {
      m[item] = "";
    } else {
      m[item.substr(0, eq)] = item.substr(eq + 1);
    }
  }
  return m;
}

inline CCmdLine Store(const std::vector<std::string>& switches,
                      const std::vector<std::string>& attributes = {}) {
  char program[] = "quelby";
  char* argv[] = {program, nullptr};
  CCmdLine store(1, argv, {}, false);
  for (const auto& [name, value] : Switches(switches)) store.SetValue(name, value);
  for (const std::string& a : attributes) store.AddPositional(a);
  return store;
}

}  // namespace shortcut_test
