#include "directory/search_stats.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/process_state.h"
#include "common/string_util.h"
#include "directory/ber_reader.h"
#include "platform/ldap_client.h"

namespace {

enum class Item { kKept, kUnknownInt, kUnknownText };

// Applies statistic `stat` arriving as a number.
Item ApplyNumber(DWORD stat, DWORD value) {
  SearchStats& s = g_SearchStats;
  switch (stat) {
    case 1:
    case 2:
    case 4:
      g_StatsReceived = true;
      return Item::kKept;
    case 3:
      s.elapsedMs = value;
      g_StatsReceived = true;
      return Item::kKept;
    case 5:
      s.entriesReturned = value;
      g_StatsReceived = true;
      return Item::kKept;
    case 6:
      s.entriesVisited = value;
      s.hasCounts = true;
      g_StatsReceived = true;
      return Item::kKept;
    case 7:
      // The filter text comes back as a number when the caller lacks the
      // rights to see it.
      if (s.hasCounts && s.usedFilter.empty()) s.rightsProblem = true;
      return Item::kKept;
    case 8:
      if (s.hasCounts && s.usedIndices.empty()) s.rightsProblem = true;
      return Item::kKept;
    default:
      return Item::kUnknownInt;
  }
}

// Applies statistic `stat` arriving as text.
Item ApplyText(DWORD stat, std::string&& text) {
  SearchStats& s = g_SearchStats;
  if (stat == 7) {
    s.usedFilter = std::move(text);
  } else if (stat == 8) {
    s.usedIndices = std::move(text);
  } else {
    return Item::kUnknownText;
  }
  s.hasCounts = true;
  g_StatsReceived = true;
  return Item::kKept;
}

void DecodeStatsValue(const BYTE* value, size_t length) {
  if (length == 0 || value == nullptr) return;
  BerCursor cursor(value, length);
  cursor.pos++;  // the sequence tag, whatever it is
  DWORD remaining = BerSkipLength(cursor);
  DWORD pending = 0;
  while (remaining != 0) {
    if (cursor.pos >= cursor.end) return;  // the sequence claims more than the value holds
    BYTE tag = BerPeekTag(cursor);
    int consumed = 0;
    if (g_Debug) printf("              TAG: %i  - LEN: %i  -  DWLEN: %i\n", tag, 0, static_cast<int>(remaining));
    if (tag == 0x02) {
      DWORD number = BerReadInteger(cursor, consumed);
      if (cursor.truncated) return;
      if (g_Debug) printf("DEBUG: INT: %u\n", number);
      if (pending == 0) {
        pending = number;
      } else {
        Item item = ApplyNumber(pending, number);
        pending = 0;
        if (item != Item::kKept) {
          ReportUnknownStat("BER_INT", value, length, cursor.Offset() + 1);
          return;
        }
      }
    } else if (tag == 0x04) {
      std::string text = BerReadOctetString(cursor, consumed);
      if (cursor.truncated) return;
      if (g_Debug) printf("DEBUG: STR: %s\n", text.c_str());
      Item item = ApplyText(pending, std::move(text));
      pending = 0;
      if (item != Item::kKept) {
        ReportUnknownStat("BER_OS", value, length, cursor.Offset() + 1);
        return;
      }
    } else {
      ReportUnknownStat("BER_UNK", value, length, cursor.Offset() + 1);
      return;
    }
    if (g_Debug) {
      printf("              #2 - TAG: %i  - LEN: %i  -  DWLEN: %i\n\n\n", tag, consumed,
             static_cast<int>(remaining));
    }
    DWORD used = static_cast<DWORD>(consumed);
    remaining = used > remaining ? 0 : remaining - used;
  }
}

// Column of an index type letter's description.
const char* IndexTypeText(const std::string& field) {
  switch (field.empty() ? '\0' : field[0]) {
    case 'I': return "Index Intersection (temp table result set)";
    case 'L': return "Link or BackLink Index on the linked attribute table";
    case 'N': return "Normal Attribute Index";
    case 'P': return "PDNT Index (attribute index in a container)";
    case 'S': return "Subtree Index";
    case 'T': return "Tuple Index (medial substring index)";
    default: return "Unknown Index Type\n";
  }
}

void PrintBlanks(int count) {
  for (int i = 0; i < count; ++i) putchar(' ');
}

// Prints the filter the server ran, one component a line, indented by depth.
void PrintFilterBreakdown(const std::string& filter) {
  int column = 0;
  std::vector<int> saved;
  int valueParens = 0;
  bool skipBlanks = true;
  bool indentPending = false;
  bool justOpened = false;
  bool expectFilter = true;
  auto popColumn = [&]() {
    if (saved.empty()) return 0;
    int c = saved.back();
    saved.pop_back();
    return c;
  };
  for (size_t i = 0; i < filter.size(); ++i) {
    char ch = filter[i];
    if (skipBlanks && ch == ' ') continue;
    skipBlanks = false;
    if (ch == '(' && expectFilter) {
      saved.push_back(column);
      if (indentPending) {
        PrintBlanks(column);
        indentPending = false;
      }
      ++column;
      skipBlanks = true;
      justOpened = true;
      putchar('(');
    } else if (ch == '(') {
      ++valueParens;
      putchar('(');
    } else if (ch == ')' && valueParens > 0) {
      --valueParens;
      putchar(')');
    } else if (ch == ')') {
      column = popColumn();
      if (indentPending) {
        PrintBlanks(column);
        indentPending = false;
      }
      printf(")\n");
      skipBlanks = true;
      if (i + 1 < filter.size() && filter[i + 1] == ')') column = popColumn();
      indentPending = true;
      justOpened = true;
      expectFilter = true;
    } else if (ch == '!' || ch == '&' || ch == '|') {
      ++column;
      putchar(ch);
      expectFilter = true;
      if (justOpened) {
        putchar('\n');
        skipBlanks = true;
        indentPending = true;
      }
      justOpened = false;
    } else {
      ++column;
      putchar(ch);
      expectFilter = false;
      justOpened = false;
    }
  }
}

}  // namespace

void DecodeStatsControl(const plat::LDAPControl* control) {
  if (control == nullptr || control->ldctl_oid == nullptr) return;
  if (std::strstr(control->ldctl_oid, kSearchStatsOid) == nullptr) return;
  if (!g_StatsReceived && !g_SearchStats.initialised) {
    g_SearchStats = SearchStats();
    g_SearchStats.initialised = true;
  }
  const BYTE* value = reinterpret_cast<const BYTE*>(control->ldctl_value.bv_val);
  size_t length = value == nullptr ? 0 : control->ldctl_value.bv_len;
  if (g_Debug) {
    printf("DEBUG: STATS OID: %s\n", control->ldctl_oid);
    printf("DEBUG: STATS Len:%zu\n", length);
    printf("DEBUG: STATS:\n");
    HexDump(value, length);
  }
  DecodeStatsValue(value, length);
}

void ReportUnknownStat(std::string where, const BYTE* value, size_t length, size_t offset) {
  size_t before = offset == 0 ? 0 : offset - 1;
  if (before > length) before = length;
  printf("UNKNOWN STATS CONDITION\a\a\n");
  printf("***********************\n");
  printf("\n");
  printf("DETAILS:\n");
  printf("Where: %s\n", where.c_str());
  printf("Blob Length: %zu\n", length);
  printf("Offset: %zu\n", offset);
  printf("Blob1:\n");
  HexDump(value, before);
  printf("Blob2:\n");
  HexDump(value + before, length - before);
  printf("\n");
  printf("****************************************************\n");
}

void PrintStatistics(bool verbose) {
  const SearchStats& s = g_SearchStats;
  if (!s.hasCounts) return;
  if (s.rightsProblem) {
    printf("\n");
    printf("ERROR:\n");
    printf("ERROR: It doesn't appear you have sufficient rights to retrieve \n");
    printf("ERROR: STATS output. You need DEBUG_PRIVILEGE on the Domain Controller.\n");
    printf("ERROR:\n");
    printf("\n");
    return;
  }
  float hitRate = 0;
  if (s.entriesVisited != 0) {
    hitRate = static_cast<float>(s.entriesReturned) / static_cast<float>(s.entriesVisited) * 100.0f;
  }
  printf("\n\n");
  printf("Statistics\n");
  printf("=================================\n");
  printf("Elapsed Time: %i (ms)\n", static_cast<int>(s.elapsedMs));
  if (s.entriesVisited == 0) {
    printf("WARN: If this is pre-SP1 Windows Server 2003, there is a bug for ");
    printf("entries visited/returned\n");
  }
  printf("Returned %i entries of %i visited - (%.2f%%)\n", static_cast<int>(s.entriesReturned),
         static_cast<int>(s.entriesVisited), static_cast<double>(hitRate));
  printf("\n");
  printf("Used Filter:\n%s\n", s.usedFilter.c_str());
  printf("\n");
  printf("Used Indices:\n");
  std::vector<std::string> indices;
  if (!s.usedIndices.empty()) SplitString(s.usedIndices, ";", &indices, 65535);
  for (const std::string& item : indices) printf(" %s\n", item.c_str());
  printf("\n");
  if (!verbose) return;

  const char* rating = "Inefficient";
  if (hitRate >= 25) rating = "Ok";
  if (hitRate >= 75) rating = "Efficient";
  printf("\n");
  printf("Analysis\n");
  printf("---------------------------------\n");
  printf("Hit Rate of %.2f%% is %s\n", static_cast<double>(hitRate), rating);
  printf("\n");
  if (indices.empty() || (indices.size() == 1 && indices[0].find("DNT_index") != std::string::npos)) {
    printf("No dedicated indices used for search, this is inefficient.\n\n");
  }
  printf("Indices used:\n");
  for (const std::string& item : indices) {
    std::vector<std::string> fields;
    SplitString(item, ":", &fields, 65535);
    printf("\n");
    printf("Index Name  : %s\n", fields.empty() ? "" : fields[0].c_str());
    if (fields.size() >= 2) printf("Record Count: %s  (estimate)\n", fields[1].c_str());
    if (fields.size() >= 3) printf("Index Type  : %s\n", IndexTypeText(fields[2]));
  }
  if (s.usedIndices.find("Ancestors_index") != std::string::npos) {
    printf("Ancestors Index used, possibly inefficient, verify filter.\n");
  }
  printf("\n\n");
  printf("Filter Breakdown:\n\n");
  PrintFilterBreakdown(s.usedFilter);
}
