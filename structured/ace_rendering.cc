#include "structured/ace_rendering.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <string_view>
#include <unordered_map>

#include "common/process_state.h"
#include "common/string_util.h"
#include "platform/bytes_hash.h"
#include "platform/security_descriptor.h"
#include "structured/sid_guid_text.h"

namespace {

constexpr int kFieldCount = 6;
constexpr char kMailboxAttribute[] = "msexchmailboxsecuritydescriptor";

struct Word {
  const char* code;
  const char* word;
};

constexpr Word kAclFlagWords[] = {
    {"P", "PROTECTED"}, {"AR", "INHERIT REQ"}, {"AI", "INHERIT"}, {"PAI", "PROTECTED INHERIT"}};

constexpr Word kTypeWords[] = {
    {"A", "ALLOW"},      {"D", "DENY"},       {"OA", "OBJ ALLOW"}, {"OD", "OBJ DENY"},
    {"AU", "AUDIT"},     {"AL", "ALARM"},     {"OU", "OBJ AUDIT"}, {"OL", "OBJ ALARM"}};

constexpr Word kAceFlagWords[] = {
    {"CI", "[CONT INHERIT]"}, {"OI", "[OBJ INHERIT]"}, {"NP", "[NO PROPAGATE]"},
    {"IO", "[INHERIT ONLY]"}, {"ID", "[INHERITED]"},   {"SA", "[SUCCESS]"},
    {"FA", "[FAILURE]"}};

constexpr Word kRightWords[] = {
    {"GA", "[FC]"},          {"GR", "[GEN READ]"},   {"GW", "[GEN WRT]"},
    {"GX", "[GEN EXE]"},     {"RC", "[READ]"},       {"SD", "[DEL]"},
    {"WD", "[WRT PERMS]"},   {"WO", "[WRT OWNER]"},  {"RP", "[READ PROP]"},
    {"WP", "[WRT PROP]"},    {"CC", "[CR CHILD]"},   {"DC", "[DEL CHILD]"},
    {"LC", "[LIST CHILDREN]"}, {"SW", "[SELF WRT]"}, {"LO", "[LIST OBJ]"},
    {"DT", "[DEL TREE]"},    {"CR", "[CTL]"}};

struct MailboxWord {
  const char* present;
  const char* removed[2];
  const char* word;
};

constexpr MailboxWord kMailboxWords[] = {
    {"CC", {"CC", "DC"}, "[FULL MBX]"},     {"RC", {"RC", nullptr}, "[READ PERMS]"},
    {"SD", {"SD", nullptr}, "[DEL MBX STORAGE]"}, {"WO", {"WO", nullptr}, "[TAKE OWNERSHIP]"},
    {"WD", {"WD", nullptr}, "[CHG PERMS]"}, {"LC", {"LC", nullptr}, "[ASSOC EXT ACC]"}};

// The thirteen directory rights that together are full control, sorted.
const std::vector<std::string>& FullControlCodes() {
  static const std::vector<std::string> codes = [] {
    std::vector<std::string> c = {"CC", "DC", "LC", "SW", "RP", "WP", "DT",
                                  "LO", "CR", "SD", "RC", "WD", "WO"};
    std::sort(c.begin(), c.end());
    return c;
  }();
  return codes;
}

template <size_t N>
const char* WordOf(const Word (&table)[N], std::string_view code) {
  for (const Word& w : table) {
    if (code == w.code) return w.word;
  }
  return nullptr;
}

std::vector<std::string> Pieces(const std::string& text) {
  std::vector<std::string> pieces;
  SplitFixedWidth(text, 2, &pieces);
  return pieces;
}

void TranslateRightCodes(std::string* rights, bool mailbox) {
  std::vector<std::string> pieces = Pieces(*rights);
  if (mailbox) {
    std::set<std::string> codes(pieces.begin(), pieces.end());
    rights->clear();
    for (const MailboxWord& m : kMailboxWords) {
      if (codes.count(m.present) == 0) continue;
      for (const char* r : m.removed) {
        if (r != nullptr) codes.erase(r);
      }
      rights->append(m.word);
    }
    for (const std::string& code : codes) {
      if (const char* word = WordOf(kRightWords, code)) rights->append(word);
    }
    return;
  }
  if (rights->size() == 26) {
    std::vector<std::string> sorted = pieces;
    std::sort(sorted.begin(), sorted.end());
    if (sorted == FullControlCodes()) pieces.assign(1, "GA");
  }
  if (pieces.empty()) return;
  rights->clear();
  for (const std::string& code : pieces) {
    if (const char* word = WordOf(kRightWords, code)) rights->append(word);
  }
}

// Rights written as a hexadecimal mask ("0x1F01FF") are put as the codes of
// their coded bits, so that those read as words; *rest gets the bits without
// a code. False (and the field untouched) when the rights are no such mask.
bool MaskToCodes(std::string* rights, uint32_t* rest) {
  if (rights->size() < 3 || (*rights)[0] != '0' || ((*rights)[1] != 'x' && (*rights)[1] != 'X')) {
    return false;
  }
  const char* end = rights->data() + rights->size();
  uint32_t mask = 0;
  const auto [stop, error] = std::from_chars(rights->data() + 2, end, mask, 16);
  if (error != std::errc() || stop != end) return false;
  DWORD uncoded = 0;
  *rights = plat::AccessMaskCodes(mask, &uncoded);
  *rest = uncoded;
  return true;
}

// At -sddc++ the rights read as words; a mask's bits without a code follow
// as one hexadecimal word, so a mask that is not 0 never reads as no rights.
void TranslateRights(std::string* rights, bool mailbox) {
  uint32_t rest = 0;
  const bool masked = MaskToCodes(rights, &rest);
  TranslateRightCodes(rights, mailbox);
  if (masked && rest != 0) {
    char word[16];
    std::snprintf(word, sizeof word, "[0x%X]", static_cast<unsigned>(rest));
    rights->append(word);
  }
}

// The words of a rights field depend on the field alone (and the mailbox
// choice); a run meets few distinct fields, each translated once.
void TranslateRightsOnce(std::string* rights, bool mailbox) {
  static std::unordered_map<std::string, std::string> translated[2];
  std::unordered_map<std::string, std::string>& memo = translated[mailbox ? 1 : 0];
  if (auto found = memo.find(*rights); found != memo.end()) {
    *rights = found->second;
    return;
  }
  std::string field = *rights;
  TranslateRights(rights, mailbox);
  if (memo.size() < 4096) memo.emplace(std::move(field), *rights);
}

void TranslateAceFlags(std::string* flags) {
  std::vector<std::string> pieces = Pieces(*flags);
  if (pieces.empty()) return;
  flags->clear();
  for (const std::string& code : pieces) {
    if (const char* word = WordOf(kAceFlagWords, code)) flags->append(word);
  }
}

bool Contains(const std::string& field, const std::string& pattern) {
  return StrToLower(field).find(StrToLower(pattern)) != std::string::npos;
}

// Counts the fields that match their non-empty pattern. A "-" pattern means
// an empty field for the show filter and a non-empty one for the NOT filter.
int CountMatches(const std::vector<std::string>& patterns, const std::string* fields,
                 bool notFilter) {
  int count = 0;
  for (int i = 0; i < kFieldCount; ++i) {
    const std::string pattern = i < static_cast<int>(patterns.size()) ? patterns[i] : "";
    if (g_Debug) std::cout << "DEBUG:    [" << pattern << "] [" << fields[i] << "]\n";
    if (pattern.empty()) continue;
    bool match;
    if (pattern == "-") {
      match = notFilter ? !fields[i].empty()
                        : (fields[i].empty() || fields[i].find('-') != std::string::npos);
    } else {
      match = Contains(fields[i], pattern);
    }
    if (match) ++count;
  }
  return count;
}

// True when the ACE filters keep the ACE.
bool PassesAceFilters(const std::string* fields) {
  bool droppedByNot = false, droppedByFilter = false;
  if (g_SddlNotFilterCount != 0) {
    if (g_Debug) std::cout << "DEBUG: Checking SDDL NOT Filter...\n";
    const int count = CountMatches(g_SddlNotFilterFields, fields, true);
    if (g_Debug) std::cout << "DEBUG: Match Count: " << count << " - " << g_SddlNotFilterCount << "\n";
    droppedByNot = count == g_SddlNotFilterCount;
  }
  if (g_SddlFilterCount != 0) {
    if (g_Debug) std::cout << "DEBUG: Checking SDDL Filter...\n";
    const int count = CountMatches(g_SddlFilterFields, fields, false);
    if (g_Debug) std::cout << "DEBUG: Match Count: " << count << " - " << g_SddlFilterCount << "\n";
    droppedByFilter = count != g_SddlFilterCount;
  }
  if (g_Debug) {
    std::cout << "DEBUG: (" << (droppedByFilter ? 1 : 0) << "|" << (droppedByNot ? 1 : 0) << ")\n";
  }
  return !droppedByFilter && !droppedByNot;
}

void NameObjectType(std::string* field) {
  if (field->empty() || g_SchemaRightsGuidMap.empty()) return;
  auto found = g_SchemaRightsGuidMap.find("{" + StrToUpper(*field) + "}");
  if (found != g_SchemaRightsGuidMap.end()) *field = found->second;
}

// Renders one raw ACE into *line; false when the ACE filters drop it.
bool RenderAce(std::string_view rawAce, bool mailbox, std::string* line) {
  std::string fields[kFieldCount];
  size_t start = 0;
  for (int i = 0; i < kFieldCount && start <= rawAce.size(); ++i) {
    size_t end = rawAce.find(';', start);
    if (end == std::string_view::npos) end = rawAce.size();
    fields[i].assign(rawAce.substr(start, end - start));
    start = end + 1;
  }

  fields[5] = ResolveSidName(fields[5], nullptr);
  NameObjectType(&fields[3]);
  NameObjectType(&fields[4]);

  if (g_SddlPlusPlus) {
    if (const char* word = WordOf(kTypeWords, fields[0])) fields[0] = word;
    TranslateAceFlags(&fields[1]);
    TranslateRightsOnce(&fields[2], mailbox);
  }

  if ((g_SddlFilterCount != 0 || g_SddlNotFilterCount != 0 || g_Debug) &&
      !PassesAceFilters(fields)) {
    return false;
  }

  line->clear();
  for (int i = 0; i < kFieldCount; ++i) {
    if (i != 0) line->push_back(';');
    line->append(fields[i]);
  }
  return true;
}

// A hash index over g_AceTextCache, whose entries are only ever added here:
// it makes the look-up of a recurring ACE cheap. The views point into the
// map's own keys; the index is rebuilt whenever its size and the map's differ
// (the map emptied from outside).
using CacheIndex = std::unordered_map<std::string_view, const std::string*, plat::BytesHash>;
CacheIndex& Index() {
  static CacheIndex index;
  return index;
}

// The ACE views of the ACL being rendered, kept from ACL to ACL.
std::vector<std::string_view>& PieceBuffer() {
  static std::vector<std::string_view> pieces;
  return pieces;
}

}  // namespace

std::string AceCacheKey(const std::string& rawAce, bool mailbox) {
  // A line end never occurs in an ACE's text.
  return mailbox ? rawAce + "\nmailbox" : rawAce;
}

namespace {

// The lines of one ACL handed to sink one by one (each a view that lives
// only for the call): the flags line, then every ACE the filters keep.
template <typename Sink>
void ForEachAclLine(std::string_view aclText, const std::string& attrName, Sink&& sink) {
  const size_t open = aclText.find('(');
  if (open == std::string_view::npos || aclText.find(')') == std::string_view::npos) return;
  const bool mailbox = StrToLower(attrName) == kMailboxAttribute;
  const bool aceFilterOn = g_SddlFilterCount != 0 || g_SddlNotFilterCount != 0;

  // Flags line: what stands between the tag and the first ACE.
  const std::string_view head = aclText.substr(0, open);
  const size_t colon = head.find(':');
  std::string flags((colon == std::string_view::npos ? head : head.substr(colon + 1)).substr(0, 50));
  if (g_SddlPlusPlus) {
    if (const char* word = WordOf(kAclFlagWords, flags)) flags = word;
    flags.insert(0, "(FLAGS:").push_back(')');
  }
  if (!aceFilterOn) sink(std::string_view(flags));
  if (g_SdAclFlagsOnly) return;

  // The ACEs: the text from the first "(" cut at every ")(" (an empty rest
  // after the last cut is no ACE), less the opening "(" of the first and the
  // first ")" of the last.
  const std::string_view body = aclText.substr(open);
  std::vector<std::string_view>& pieces = PieceBuffer();
  pieces.clear();
  size_t pos = 0;
  for (size_t cut = body.find(")("); cut != std::string_view::npos; cut = body.find(")(", pos)) {
    pieces.push_back(body.substr(pos, cut - pos));
    pos = cut + 2;
  }
  if (pos < body.size()) pieces.push_back(body.substr(pos));
  if (pieces.empty()) return;
  if (!pieces.front().empty()) pieces.front().remove_prefix(1);
  std::string last(pieces.back());
  const size_t close = last.find(')');
  if (close != std::string::npos) last.erase(close, 1);
  pieces.back() = last;

  CacheIndex& index = Index();
  if (index.size() != g_AceTextCache.size()) {
    index.clear();
    for (const auto& [key, text] : g_AceTextCache) index.emplace(key, &text);
  }
  std::string key, line;
  for (const std::string_view ace : pieces) {
    std::string_view lookup = ace;
    if (mailbox) {
      key = AceCacheKey(std::string(ace), true);
      lookup = key;
    }
    if (auto cached = index.find(lookup); cached != index.end()) {
      sink(std::string_view(*cached->second));
      continue;
    }
    if (!RenderAce(ace, mailbox, &line)) continue;
    auto stored = g_AceTextCache.emplace(lookup, line).first;
    index.emplace(stored->first, &stored->second);
    sink(std::string_view(line));
  }
}

}  // namespace

void RenderAclEntries(const std::string& aclText, std::vector<std::string>* lines,
                      const std::string& attrName) {
  ForEachAclLine(aclText, attrName, [lines](std::string_view line) { lines->emplace_back(line); });
}

void AppendAclLines(std::string_view aclText, const std::string& attrName, std::string_view prefix,
                    std::string* out) {
  ForEachAclLine(aclText, attrName, [&](std::string_view line) {
    out->append(prefix).append(line).push_back('\n');
  });
}
