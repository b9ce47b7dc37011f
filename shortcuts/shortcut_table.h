// The table of named shortcuts: each entry is data (a filter, switch writes
// and an attribute change) that the shortcut pass applies to the switch
// store. Value texts may hold three placeholders, filled in when the entry
// runs: "%A" the argument as typed, "%S" the SID token "{{SID:" + argument
// + "}}", "%G" the GUID token "{{GUID:" + argument + "}}".
#pragma once

#include <string_view>
#include <vector>

// When a filter choice or a switch write applies. The base tests look at the
// store as it was when the entry began; the argument tests compare the
// argument in lower case, whole, with the row's word.
enum class When {
  kAlways,
  kNoBase,       // the user gave no -b
  kDefaultBase,  // the user gave none of -b, -default, -root, -schema, -config
  kArgGiven,     // the argument is not empty
  kNoArg,        // the argument is empty
  kArgIs,        // the argument equals the word
  kArgIsNot,     // the argument differs from the word
};

// How a filter choice becomes the -f value.
enum class FilterForm {
  kWrapped,   // "(&" F (-af value) ")" when the -af value is not empty
  kAsIs,      // the text alone; the -af value is not used
  kInnerAnd,  // "(&" F [(-af value)] ")", always one outer AND
};

struct FilterChoice {
  When when;
  std::string_view word;  // for kArgIs / kArgIsNot
  FilterForm form;
  std::string_view text;
};

struct SwitchWrite {
  When when;
  std::string_view word;      // for kArgIs / kArgIsNot
  bool onlyIfAbsent;          // skipped when the store already holds the switch
  std::string_view name;
  std::string_view value;     // "" makes the switch a flag
};

enum class AttrChange {
  kAppend,   // after any attributes the user typed
  kReplace,  // the list is emptied first
};

struct ShortcutEntry {
  std::string_view name;               // lower case, matched exactly
  std::vector<FilterChoice> filters;   // the first that applies sets -f; none: -f untouched
  std::vector<SwitchWrite> writes;     // in order
  AttrChange attrChange;
  std::vector<std::string_view> attributes;
};

// The 90 entries in their fixed order.
const std::vector<ShortcutEntry>& ShortcutTable();
