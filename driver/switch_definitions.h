// The program's switch vocabulary: every switch name the switch store accepts,
// each marked as a flag (":name") or a switch that takes a value ("name").
#pragma once

#include <string>
#include <vector>

// Number of switch definitions: 93 flags followed by 45 value switches.
inline constexpr size_t kSwitchDefinitionCount = 138;

// The definition list in its fixed order, built anew on each call.
std::vector<std::string> BuildSwitchDefinitions();
