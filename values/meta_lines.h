// The lines of the replication-record phases: each has a sort key and a
// printed text, kept apart so that text from the server can never cut a line
// short or shift another line's text. Sorting and the value filters see the
// whole line: key, the marker "~~~ZQ~~~", then the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"
#include "values/value_filter.h"

inline constexpr std::string_view kMetaLineMarker = "~~~ZQ~~~";

struct MetaLine {
  std::string line;       // key + marker + text
  size_t textStart = 0;   // where the printed text begins in line
  std::string_view text() const { return std::string_view(line).substr(textStart); }
};

MetaLine MakeMetaLine(std::string_view key, std::string_view text);

// True when the run's -metasort value begins with word (case-sensitive).
bool MetaSortKeyIs(std::string_view word);
// A numeric key left-padded with "0" to 25 characters; longer keys unchanged.
std::string PadNumericSortKey(std::string key);

// A DSA settings-object DN (CN=NTDS Settings,CN=server,CN=Servers,CN=site,...)
// as site\SERVER. Any other text, and one that lacks the fields or the CN=
// prefixes it needs, comes back unchanged.
std::string ShortenDsaName(const std::string& dsa);

// True when the value filters keep the line. patterns are those of the
// attribute (FindValueFilterPatterns of its lower-cased name).
bool FilterMetaLine(const MetaLine& line, const ValueFilterPatterns& patterns);

// Sorts the lines case-insensitively on the whole line (a stable sort),
// reverses them when the -metasort value holds "-", and appends each as
// label + text + "\n".
void PrintMetaLines(std::vector<MetaLine>* lines, std::string_view label, std::string* out);

// The lines of one attribute's values as a phase collects them: decoded lines
// that pass the value filters, and values that cannot be decoded within their
// length, which are printed as hex dumps after the decoded lines.
class MetaLineList {
 public:
  // attrName as the server spells it: the value filters are keyed by it.
  explicit MetaLineList(const std::string& attrName);
  void Add(std::string_view key, std::string_view text);
  void AddUndecodable(std::string_view value);
  void Print(std::string_view label, std::string* out);

 private:
  ValueFilterPatterns patterns_;
  std::vector<MetaLine> lines_;
  std::vector<std::string> undecodable_;
};

// The sortable date text (YYYY/MM/DD-hh:mm:ss, local or under -utc in UTC) of
// a FILETIME; "" for 0 and the largest value. With -utc a non-empty text ends
// in " UTC".
std::string MetaTimeText(DWORD low, DWORD high);

// Appends text padded with blanks to width (on the right when leftAlign, as
// printf "%-Ns" does, else on the left); wider text is not cut.
void AppendPadded(std::string* out, std::string_view text, size_t width, bool leftAlign);
