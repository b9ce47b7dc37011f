// The switch store: switches given on the command line (and added later from
// the switch file, the environment and the shortcut expansion), the
// positional words that form the attribute list, and the switch kinds.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

class CCmdLine {
 public:
  // Records the kind of every definition (":" name = flag, "^" name =
  // mandatory, bare name = takes a value), then parses the arguments.
  CCmdLine(int argc, char** argv, const std::vector<std::string> definitions,
           bool caseSensitive);

  void Parse(int argc, char** argv, bool caseSensitive);

  bool HasSwitch(std::string name);
  std::string GetValue(std::string name);
  // The value with "\t" turned into TAB and "\n" into a line feed.
  std::string GetValueUnescaped(std::string name);
  void AddPositional(std::string word);
  void SetValue(std::string name, std::string value);
  void SetFlag(std::string name);
  // The n-th positional word counted from 1; "" when out of range.
  std::string GetNthArg(int n);
  void ClearArgs();
  void ClearSwitches();
  // Compares the store with the definitions; returns missing + bad count.
  int Validate(std::vector<std::string> definitions);
  // The argv positions of the words that parsing took as values of the
  // switch, every time it was given (so that a secret can be wiped there).
  std::vector<int> ValueArgumentIndexes(std::string name) const;

  // Read directly by the program's phases.
  std::map<std::string, std::string> switchValues;
  std::vector<std::string> args;
  bool caseSensitive = false;
  std::string programName;
  int badCount = -1;
  int missingCount = 0;
  std::vector<std::string> knownSwitches;
  std::vector<std::string> badSwitches;
  std::vector<std::string> missingSwitches;
  std::map<std::string, std::string> switchKinds;

 private:
  std::string Normalise(const std::string& name) const;

  // (switch name, argv position) of every value word parsing took.
  std::vector<std::pair<std::string, int>> valueArguments_;
};
