#include "shortcuts/shortcut_entry.h"

#include "common/cmdline.h"

namespace {

// Fills the placeholders of a table text: %A the argument, %S and %G its
// SID and GUID tokens (converted by the driver under -binenc).
std::string Expand(std::string_view text, const std::string& argument) {
  std::string out;
  out.reserve(text.size() + argument.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      char kind = text[i + 1];
      if (kind == 'A' || kind == 'S' || kind == 'G') {
        if (kind == 'S') out += "{{SID:";
        if (kind == 'G') out += "{{GUID:";
        out += argument;
        if (kind != 'A') out += "}}";
        ++i;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

struct EntryState {
  bool noBase;       // no -b when the entry began
  bool defaultBase;  // none of the base switches when the entry began
};

bool Holds(When when, std::string_view word, const ShortcutInput& input,
           const EntryState& state) {
  switch (when) {
    case When::kAlways: return true;
    case When::kNoBase: return state.noBase;
    case When::kDefaultBase: return state.defaultBase;
    case When::kArgGiven: return !input.argument.empty();
    case When::kNoArg: return input.argument.empty();
    case When::kArgIs: return input.argumentLower == word;
    case When::kArgIsNot: return input.argumentLower != word;
  }
  return false;
}

// Position just past the parenthesis that closes the one at open, or npos.
size_t PastClose(const std::string& s, size_t open) {
  int depth = 0;
  for (size_t i = open; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;  // an escaped character never counts
    } else if (s[i] == '(') {
      ++depth;
    } else if (s[i] == ')' && --depth == 0) {
      return i + 1;
    }
  }
  return std::string::npos;
}

// The entry's -f value for this input; false when the entry sets no filter.
bool ShortcutFilter(const ShortcutEntry& entry, const ShortcutInput& input,
                    std::string* filter) {
  const EntryState anyBase{true, true};  // filter choices never test the base
  for (const FilterChoice& choice : entry.filters) {
    if (!Holds(choice.when, choice.word, input, anyBase)) continue;
    std::string f = Expand(choice.text, input.argument);
    switch (choice.form) {
      case FilterForm::kWrapped:
        if (!input.afValue.empty()) f = "(&" + f + FilterElement(input.afValue) + ")";
        break;
      case FilterForm::kAsIs:
        break;
      case FilterForm::kInnerAnd:
        if (!input.afValue.empty()) f += FilterElement(input.afValue);
        f = "(&" + f + ")";
        break;
    }
    *filter = f;
    return true;
  }
  return false;
}

}  // namespace

std::string FilterElement(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == '(') {
    i = PastClose(text, i);
    if (i == std::string::npos) break;
  }
  if (!text.empty() && i == text.size()) return text;
  return "(" + text + ")";
}

void ApplyShortcutEntry(const ShortcutEntry& entry, const ShortcutInput& input,
                        CCmdLine* cmdLine) {
  EntryState state;
  state.noBase = !cmdLine->HasSwitch("b");
  state.defaultBase = state.noBase && !cmdLine->HasSwitch("default") &&
                      !cmdLine->HasSwitch("root") && !cmdLine->HasSwitch("schema") &&
                      !cmdLine->HasSwitch("config");
  std::string filter;
  if (ShortcutFilter(entry, input, &filter)) cmdLine->SetValue("f", filter);
  for (const SwitchWrite& w : entry.writes) {
    if (!Holds(w.when, w.word, input, state)) continue;
    if (w.onlyIfAbsent && cmdLine->HasSwitch(std::string(w.name))) continue;
    cmdLine->SetValue(std::string(w.name), Expand(w.value, input.argument));
  }
  if (entry.attrChange == AttrChange::kReplace) cmdLine->ClearArgs();
  for (std::string_view a : entry.attributes) cmdLine->AddPositional(std::string(a));
}
