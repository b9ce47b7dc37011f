// Entry output: decides whether an entry is shown, walks its attributes into
// one text chunk per attribute (GUID, SID and security-descriptor values
// rendered here, ranged attributes read on range by range, everything else
// through the attribute dispatch), and prints the entry in the run's layout.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "driver/attribute_dispatch.h"

#include "platform/win_types.h"

namespace plat {
struct LDAP;
struct LDAPMessage;
struct LDAPControl;
struct berval;
}  // namespace plat
struct QuerySettings;
struct SearchState;
class CCmdLine;

// Appends one CSV field: the quote, the field with every quote inside it
// doubled (as CSV readers expect), the quote. An empty quote leaves the field
// as it is.
void AppendCsvField(const std::string& field, const std::string& quote, std::string* out);

class EntryOutput {
 public:
  EntryOutput(const QuerySettings& settings, const SearchState& state, CCmdLine& cmdLine,
              plat::LDAP* connection);

  // Prints one entry of a page on standard output; lowers *objectCount by one
  // when the entry is dropped.
  void PrintEntry(plat::LDAPMessage* entry, uint32_t* objectCount);

  // Under SID resolution, looks up the SIDs whose names the page's first
  // `entries` entries (those that will be printed) will show (SID values,
  // descriptor owners, groups and trustees, the owner layouts' owners, the
  // SIDs of cached-membership and quota-usage values) in a few directory
  // searches before the entries are printed; names found are then taken from
  // memory. Output and errors stay those of the lookups one by one.
  void PrefetchSidNames(plat::LDAPMessage* page, uint32_t entries);

  // Text layouts of an entry from its chunks (exposed for tests): the tail
  // that follows the attribute walk. Appends to *out; returns false when the
  // entry counts as empty (muted).
  bool FormatTextTail(const std::string& printedDn, bool descriptorSeen, std::string* out);
  void FormatCsvRow(const std::string& entryDn, std::string* out);

  // Replaces the entry's chunks (for tests of the tails).
  void SetChunks(const std::vector<std::string>& chunks);

  // The code of the first failure met while entries were printed (an entry
  // that could not be decoded, a range of values that could not be read),
  // each already reported with its error line; 0 when there was none.
  ULONG failureCode() const { return failureCode_; }

 private:
  enum Kind : uint8_t { kDn = 1, kGuid = 2, kSid = 4, kDescriptor = 8 };

  uint8_t KindOf(const std::string& name);
  // Whether -excldn and -incldn let the entry of this DN be printed; with
  // debug the DEBUG line names the text that decided.
  bool DnKept(const std::string& entryDn, bool debug) const;
  // Appends to *sids the SIDs whose names the printers of the entry's
  // attribute attrName_ show; true with *vals set to the values the views
  // point into (freed by the caller).
  bool CollectShownSids(plat::LDAPMessage* entry, plat::berval*** vals,
                        std::vector<std::string_view>* sids, std::deque<std::string>* madeSids);
  void WalkAttributes(plat::LDAPMessage* entry, const std::string& entryDn,
                      const std::string& rangeBase);
  // Prints the LDAP error line and keeps the first failure's code.
  void ReportFailure(const char* label, ULONG code);
  void PrintByteValues(const std::string& fetchName, const std::string& attrName, uint8_t kind,
                       plat::LDAPMessage* entry);
  void PrintRanged(const std::string& fetchName, const std::string& attrName, uint8_t kind,
                   plat::LDAPMessage* entry, const std::string& rangeBase);
  void PrintRange(const std::string& fetchName, const std::string& labelName, uint8_t kind,
                  plat::LDAPMessage* entry);
  void AddChunk(const std::string& text);

  const QuerySettings& settings_;
  const SearchState& state_;
  CCmdLine& cmdLine_;
  plat::LDAP* ld_;
  DispatchSettings dispatch_;
  EntryPlace place_;
  bool keepDnColumn_;
  // The column names (-oao, -soao, CSV) lower-cased once for the whole run,
  // without a range option: a column matches its attribute by name.
  std::vector<std::string> lowerColumns_;
  // The run's controls that shape values (show deleted, extended DN), sent
  // again with the reads of further ranges; null-terminated.
  std::vector<plat::LDAPControl*> rangeControls_;
  std::string server_;  // the server named in error lines
  ULONG failureCode_ = 0;

  // Reused from entry to entry: the first chunkCount_ strings of chunks_ are
  // the entry's chunks; the rest keep their storage for later entries.
  std::vector<std::string> chunks_;
  size_t chunkCount_ = 0;
  std::string buffer_;
  std::string out_;
  std::string attrName_;
  std::string fetchName_;
  bool descriptorSeen_ = false;
  std::unordered_map<std::string, uint8_t> kindCache_;
  // The batch lookups: hashes of descriptor values met lately (a value seen
  // again names no new SID), and whether the last batch found nothing new,
  // with the count of one-SID searches then: pages are walked again once
  // SIDs are asked one by one.
  static constexpr size_t kSeenDescriptorSlots = 1024;
  std::vector<uint64_t> seenDescriptors_;
  bool prefetchIdle_ = false;
  size_t searchesAloneAtPrefetch_ = 0;
  std::map<std::string, std::string> csvValues_;
  std::map<std::string, std::string> csvNames_;
};
