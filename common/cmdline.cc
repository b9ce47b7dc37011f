#include "common/cmdline.h"

#include "common/string_util.h"

namespace {

// A word is a switch when it starts with "/", or with "-" not followed by a
// decimal digit (so "-5" can be a value).
bool IsSwitchWord(const std::string& word) {
  if (word.empty()) return false;
  if (word[0] == '/') return true;
  if (word[0] != '-') return false;
  return word.size() < 2 || word[1] < '0' || word[1] > '9';
}

void ReplaceEvery(std::string* text, const std::string& from, char to) {
  size_t pos = 0;
  while ((pos = text->find(from, pos)) != std::string::npos) {
    text->replace(pos, from.size(), 1, to);
    pos += 1;
  }
}

}  // namespace

CCmdLine::CCmdLine(int argc, char** argv,
                   const std::vector<std::string> definitions,
                   bool caseSensitive) {
  for (std::string def : definitions) {
    std::string kind;
    size_t pos = def.find(':');
    if (pos != std::string::npos) {
      def.erase(pos, 1);
      kind = "NoArg;";
    }
    pos = def.find('^');
    if (pos != std::string::npos) {
      def.erase(pos, 1);
      kind = "Mandatory;";
    }
    switchKinds[def] = kind;
  }
  Parse(argc, argv, caseSensitive);
}

std::string CCmdLine::Normalise(const std::string& name) const {
  return caseSensitive ? name : StrToLower(name);
}

void CCmdLine::Parse(int argc, char** argv, bool caseSensitiveIn) {
  caseSensitive = caseSensitiveIn;
  programName = (argc > 0 && argv[0] != nullptr) ? argv[0] : "";
  badCount = -1;
  std::string pending;
  bool havePending = false;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    std::string word = argv[i];
    if (IsSwitchWord(word)) {
      std::string name = Normalise(word.substr(1));
      switchValues[name] = "";
      auto kind = switchKinds.find(name);
      if (kind == switchKinds.end()) kind = switchKinds.emplace(name, "").first;
      // The empty name ("-" or "/" alone) takes no value.
      havePending = kind->second != "NoArg;" && !name.empty();
      pending = havePending ? name : "";
    } else if (!havePending) {
      args.push_back(word);
    } else {
      SetValue(pending, word);
      valueArguments_.emplace_back(pending, i);
      havePending = false;
      pending.clear();
    }
  }
}

std::vector<int> CCmdLine::ValueArgumentIndexes(std::string name) const {
  name = Normalise(name);
  std::vector<int> found;
  for (const auto& [switchName, index] : valueArguments_) {
    if (switchName == name) found.push_back(index);
  }
  return found;
}

bool CCmdLine::HasSwitch(std::string name) {
  return switchValues.count(Normalise(name)) != 0;
}

std::string CCmdLine::GetValue(std::string name) {
  auto it = switchValues.find(Normalise(name));
  return it == switchValues.end() ? std::string() : it->second;
}

std::string CCmdLine::GetValueUnescaped(std::string name) {
  std::string value = GetValue(name);
  ReplaceEvery(&value, "\\t", '\t');
  ReplaceEvery(&value, "\\n", '\n');
  return value;
}

void CCmdLine::AddPositional(std::string word) { args.push_back(std::move(word)); }

void CCmdLine::SetValue(std::string name, std::string value) {
  switchValues[Normalise(name)] = std::move(value);
}

void CCmdLine::SetFlag(std::string name) { SetValue(std::move(name), ""); }

std::string CCmdLine::GetNthArg(int n) {
  if (n < 1 || static_cast<size_t>(n) > args.size()) return "";
  return args[n - 1];
}

void CCmdLine::ClearArgs() { args.clear(); }

void CCmdLine::ClearSwitches() { switchValues.clear(); }

int CCmdLine::Validate(std::vector<std::string> definitions) {
  // A flag that was handed a value (switch file, environment, shortcuts)
  // gives the value up as a positional word, as the command line would.
  for (std::string& def : definitions) {
    if (def.empty() || def[0] != ':') continue;
    def.erase(0, 1);
    std::string value = GetValue(def);
    if (!value.empty()) {
      args.push_back(value);
      SetFlag(def);
    }
  }

  std::map<std::string, bool> mandatory;
  for (std::string& def : definitions) {
    bool isMandatory = !def.empty() && def[0] == '^';
    if (isMandatory) def.erase(0, 1);
    mandatory[def] = isMandatory;
  }

  // 1 = given but not defined, 0 = given and defined, -1 = defined only.
  std::map<std::string, int> tally;
  for (const auto& entry : switchValues) tally[entry.first] = 1;
  for (const auto& entry : mandatory) tally[entry.first] -= 1;  // each name once

  knownSwitches.clear();
  badSwitches.clear();
  missingSwitches.clear();
  for (const auto& [name, count] : tally) {
    if (count == 1) {
      badSwitches.push_back(name);
    } else {
      knownSwitches.push_back(name);
    }
  }
  badCount = static_cast<int>(badSwitches.size());
  for (const auto& [name, isMandatory] : mandatory) {
    if (!isMandatory) continue;
    auto it = tally.find(name);
    if (it != tally.end() && it->second == -1) missingSwitches.push_back(name);
  }
  missingCount = static_cast<int>(missingSwitches.size());
  return missingCount + badCount;
}
