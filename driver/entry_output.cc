#include "driver/entry_output.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <iostream>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "directory/connection.h"
#include "directory/sid_account_lookup.h"
#include "driver/extended_dn.h"
#include "driver/search_state.h"
#include "driver/settings.h"
#include "driver/value_ranges.h"
#include "platform/bytes_hash.h"
#include "platform/ldap_client.h"
#include "platform/sid.h"
#include "structured/cached_membership.h"
#include "structured/security_descriptor_output.h"
#include "structured/sid_guid_text.h"
#include "values/binary_value.h"
#include "values/dn_replace.h"
#include "values/quota_usage.h"
#include "values/value_filter.h"
#include "values/value_printer.h"

namespace {

constexpr char kRangeOption[] = ";range=";
constexpr char kShowDeletedOid[] = "1.2.840.113556.1.4.417";
constexpr char kExtendedDnOid[] = "1.2.840.113556.1.4.529";

bool IsMember(const std::map<std::string, int>& table, const std::string& name) {
  auto it = table.find(name);
  return it != table.end() && it->second != 0;
}

// Case-insensitive test that text begins with ">" name ":".
bool ChunkHasLabel(const std::string& chunk, const std::string& lowerName) {
  if (chunk.size() < lowerName.size() + 2 || chunk[0] != '>') return false;
  for (size_t i = 0; i < lowerName.size(); ++i) {
    char c = chunk[i + 1];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerName[i]) return false;
  }
  return chunk[lowerName.size() + 1] == ':';
}

// The SIDs an msDS-Cached-Membership value's decoder names.
void AddCachedMembershipSids(std::string_view blob, std::vector<std::string_view>* sids) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(blob.data());
  for (const CachedMembership::Sid& sid : ReadCachedMembership(static_cast<unsigned>(blob.size()), bytes).sids) {
    if (plat::IsValidSid(sid.bytes, sid.length)) sids->emplace_back(reinterpret_cast<const char*>(sid.bytes), sid.length);
  }
}

// The owner an msDS-TopQuotaUsage value's decoder names; its binary form is
// made in *made, which keeps it.
void AddQuotaOwnerSid(std::string_view value, std::vector<std::string_view>* sids, std::deque<std::string>* made) {
  const QuotaUsage q = ReadQuotaUsage(value);
  std::vector<BYTE> sid;
  if (q.haveOwner && plat::ConvertStringSidToSidA(q.ownerSid.c_str(), &sid)) {
    sids->push_back(made->emplace_back(sid.begin(), sid.end()));
  }
}

}  // namespace

EntryOutput::EntryOutput(const QuerySettings& settings, const SearchState& state,
                         CCmdLine& cmdLine, plat::LDAP* connection)
    : settings_(settings), state_(state), cmdLine_(cmdLine), ld_(connection) {
  dispatch_.samDecode = settings.samDecode;
  dispatch_.rootDseDecode = settings.rootDseDecode;
  dispatch_.schemaDecode = settings.schemaDecode;
  dispatch_.flagDecode = settings.flagDecode;
  dispatch_.sddlPlus = g_SddlPlus;
  dispatch_.noLabel = settings.noLabel;
  dispatch_.noCtl = settings.noCtl;
  if (state.rootDse != nullptr) {
    dispatch_.schemaNamingContext = state.rootDse->schemaNamingContext;
    dispatch_.configurationNamingContext = state.rootDse->configurationNamingContext;
  }
  dispatch_.replaceDnFrom = &settings.replaceDnFrom;
  dispatch_.replaceDnMap = &settings.replaceDnMap;
  keepDnColumn_ = !cmdLine.HasSwitch("nodn");
  lowerColumns_.reserve(settings.columns.size());
  for (const std::string& column : settings.columns) {
    std::string lower = StrToLower(column);
    lowerColumns_.push_back(lower.substr(0, lower.find(kRangeOption)));
  }
  for (plat::LDAPControl* control : state.serverControls) {
    if (control == nullptr) break;
    if (std::strcmp(control->ldctl_oid, kShowDeletedOid) == 0 ||
        std::strcmp(control->ldctl_oid, kExtendedDnOid) == 0) {
      rangeControls_.push_back(control);
    }
  }
  rangeControls_.push_back(nullptr);
  if (state.rootDse != nullptr) server_ = state.rootDse->dnsHostName;
}

void EntryOutput::ReportFailure(const char* label, ULONG code) {
  if (FailureToReport(ld_, code)) {
    std::cout.flush();
    PrintLdapError(label, server_, static_cast<int>(code), settings_.extendedErrors ? ld_ : nullptr);
  }
  if (failureCode_ == 0) failureCode_ = code;
}

void EntryOutput::SetChunks(const std::vector<std::string>& chunks) {
  chunkCount_ = 0;
  for (const std::string& c : chunks) AddChunk(c);
}

void EntryOutput::AddChunk(const std::string& text) {
  if (chunkCount_ < chunks_.size()) {
    chunks_[chunkCount_].assign(text);
  } else {
    chunks_.push_back(text);
  }
  ++chunkCount_;
}

uint8_t EntryOutput::KindOf(const std::string& name) {
  auto cached = kindCache_.find(name);
  if (cached != kindCache_.end()) return cached->second;
  uint8_t kind = 0;
  if (IsMember(g_DnAttributes, name)) kind |= kDn;
  if (IsMember(g_GuidAttributes, name)) kind |= kGuid;
  if (IsMember(g_SidAttributes, name)) kind |= kSid;
  if (IsMember(g_SecurityDescriptorAttributes, name)) kind |= kDescriptor;
  kindCache_.emplace(name, kind);
  return kind;
}

bool EntryOutput::DnKept(const std::string& entryDn, bool debug) const {
  if (!settings_.exclDnActive && !settings_.inclDnActive) return true;
  const std::string lowerDn = StrToLower(entryDn);
  if (settings_.exclDnActive) {
    for (const std::string& text : settings_.exclDn) {
      if (lowerDn.find(text) != std::string::npos) {
        if (debug) std::cout << "DEBUG: Excluded DN (" << text << ") - " << entryDn << "\n";
        return false;
      }
    }
  }
  if (!settings_.inclDnActive) return true;
  for (const std::string& text : settings_.inclDn) {
    if (lowerDn.find(text) != std::string::npos) {
      if (debug) std::cout << "DEBUG: Included DN (" << text << ") - " << entryDn << "\n";
      return true;
    }
  }
  return false;
}

void EntryOutput::PrintEntry(plat::LDAPMessage* entry, uint32_t* objectCount) {
  char* rawDn = plat::ldap_get_dn(ld_, entry);
  if (rawDn == nullptr) {
    // Not even the DN can be read: the entry's encoding is broken. It is
    // reported and not counted; nothing of it is printed.
    ULONG code = plat::LDAP_DECODING_ERROR;
    plat::ldap_get_option(ld_, plat::LDAP_OPT_ERROR_NUMBER, &code);
    ReportFailure("ldap_get_dn", code != plat::LDAP_SUCCESS ? code : plat::LDAP_DECODING_ERROR);
    --*objectCount;
    return;
  }
  const std::string entryDn = EscapeNewlines(rawDn);
  // Further ranges of a value list are read from the entry by its plain DN,
  // as the server gave it.
  const std::string rangeBase = PlainDn(rawDn);
  plat::ldap_memfree(rawDn);

  if (!DnKept(entryDn, g_Debug)) {
    --*objectCount;
    return;
  }

  std::string replacedDn;
  if (state_.replaceDnOn) {
    replacedDn = ReplaceDn(entryDn, &settings_.replaceDnFrom, &settings_.replaceDnMap);
  }
  const std::string& printedDn = state_.replaceDnOn ? replacedDn : entryDn;

  if (settings_.statsOnly) return;

  out_.clear();
  if (settings_.dnOnly) {
    if (settings_.quotedDn) {
      out_.append("\"").append(printedDn).append("\"\n");
    } else if (settings_.ownerCsv) {
      out_.append("\"").append(printedDn).append("\";");
    } else {
      out_.append("dn:").append(printedDn).append("\n");
    }
    std::cout.write(out_.data(), static_cast<std::streamsize>(out_.size()));
    return;
  }

  WalkAttributes(entry, entryDn, rangeBase);

  if (settings_.csvLayout) {
    FormatCsvRow(entryDn, &out_);
  } else if (!FormatTextTail(printedDn, descriptorSeen_, &out_)) {
    --*objectCount;
  }
  std::cout.write(out_.data(), static_cast<std::streamsize>(out_.size()));
}

void EntryOutput::PrefetchSidNames(plat::LDAPMessage* page, uint32_t entries) {
  if (!g_ResolveSids || g_SidBinaryOut || ld_ != g_LdapSession || state_.rootDse == nullptr ||
      state_.rootDse->defaultNamingContext.empty() || settings_.countOnly || settings_.dnOnly ||
      settings_.statsOnly) {
    return;
  }
  // Once a page brought no SID that was not asked before, the next pages are
  // passed over until SIDs come to be asked one by one again.
  constexpr size_t kSearchesAloneToWalkAgain = 8;
  if (prefetchIdle_ && SidSearchesAlone() - searchesAloneAtPrefetch_ < kSearchesAloneToWalkAgain) return;
  seenDescriptors_.resize(kSeenDescriptorSlots);
  // The SIDs are views into the values, which are kept until they are asked.
  std::vector<plat::berval**> values;
  std::vector<std::string_view> sids;
  std::deque<std::string> madeSids;
  uint32_t walked = 0;
  for (plat::LDAPMessage* e = plat::ldap_first_entry(ld_, page); e != nullptr && walked < entries;
       e = plat::ldap_next_entry(ld_, e), ++walked) {
    if (settings_.exclDnActive || settings_.inclDnActive) {
      char* dn = plat::ldap_get_dn(ld_, e);
      const bool kept = dn != nullptr && DnKept(EscapeNewlines(dn), false);
      if (dn != nullptr) plat::ldap_memfree(dn);
      if (!kept) continue;
    }
    plat::BerElement* walk = nullptr;
    for (char* name = plat::ldap_first_attribute(ld_, e, &walk); name != nullptr;
         name = plat::ldap_next_attribute(ld_, e, walk)) {
      attrName_.assign(name);
      plat::ldap_memfree(name);
      plat::berval** vals = nullptr;
      if (CollectShownSids(e, &vals, &sids, &madeSids)) values.push_back(vals);
    }
    plat::ber_free(walk, 0);
  }
  const size_t found = sids.empty() ? 0 : PrefetchSidAccounts(ld_, "", sids);
  for (plat::berval** vals : values) plat::ldap_value_free_len(vals);
  prefetchIdle_ = found == 0;
  searchesAloneAtPrefetch_ = SidSearchesAlone();
}

bool EntryOutput::CollectShownSids(plat::LDAPMessage* entry, plat::berval*** vals,
                                   std::vector<std::string_view>* sids,
                                   std::deque<std::string>* madeSids) {
  // A ranged attribute is printed under its name without the range: its
  // first values are in the entry.
  const std::string name = attrName_.substr(0, attrName_.find(kRangeOption));
  if (!settings_.excludedAttributes.empty() && settings_.excludedAttributes.count(StrToLower(name)) != 0) {
    return false;
  }
  const uint8_t kind = KindOf(name);
  // What the printers of the attribute name: see PrintByteValues and the
  // binary records of the general value printer.
  bool owner = false, decode = false;
  BinaryRecordKind records = BinaryRecordKind::kOther;
  if ((kind & kDescriptor) != 0) {
    const bool isOwnerAttribute = name == "nTSecurityDescriptor";
    owner = isOwnerAttribute && settings_.owner;
    decode = settings_.decodeSecurityDescriptors &&
             (!isOwnerAttribute || state_.requestedAttributeSet.count(StrToLower(name)) != 0);
    if (!owner && !decode) return false;
  } else if ((kind & kSid) == 0) {
    const bool binary = IsMember(g_BinaryAttributes, name) || name.find(";binary") != std::string::npos;
    if ((kind & kGuid) != 0 || !binary) return false;
    records = ClassifyBinaryAttribute(name);
    if (records != BinaryRecordKind::kCachedMembership && records != BinaryRecordKind::kQuotaUsage) {
      return false;
    }
  }
  *vals = plat::ldap_get_values_len(ld_, entry, attrName_.c_str());
  if (*vals == nullptr) return false;
  for (plat::berval** v = *vals; *v != nullptr; ++v) {
    const std::string_view value((*v)->bv_val, (*v)->bv_len);
    if ((kind & kDescriptor) != 0) {
      // A value seen lately (under the same switches) names no new SID.
      const uint64_t hash = plat::BytesHash()(value) ^ (owner ? 1 : 0) ^ (decode ? 2 : 0);
      uint64_t& slot = seenDescriptors_[hash % kSeenDescriptorSlots];
      if (slot == hash) continue;
      slot = hash;
      CollectDescriptorSids(value.data(), value.size(), decode, owner, name, sids);
    } else if ((kind & kSid) != 0) {
      if (plat::IsValidSid(value.data(), value.size())) {
        sids->push_back(value.substr(0, plat::GetLengthSid(value.data())));
      }
    } else if (records == BinaryRecordKind::kCachedMembership) {
      AddCachedMembershipSids(value, sids);
      break;  // the first value alone is decoded
    } else {
      AddQuotaOwnerSid(value, sids, madeSids);
    }
  }
  return true;
}

void EntryOutput::WalkAttributes(plat::LDAPMessage* entry, const std::string& entryDn,
                                 const std::string& rangeBase) {
  chunkCount_ = 0;
  descriptorSeen_ = false;
  bool placed = false;

  plat::BerElement* walk = nullptr;
  for (char* name = plat::ldap_first_attribute(ld_, entry, &walk); name != nullptr;
       name = plat::ldap_next_attribute(ld_, entry, walk)) {
    buffer_.clear();
    attrName_.assign(name);
    for (char* c = name; *c != 0; ++c) {
      if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    }
    fetchName_.assign(name);
    plat::ldap_memfree(name);

    const size_t rangePos = fetchName_.find(kRangeOption);
    if (!settings_.excludedAttributes.empty() &&
        settings_.excludedAttributes.count(fetchName_.substr(0, rangePos)) != 0) {
      continue;
    }

    // A ranged attribute keeps the kind of its name without the range.
    const uint8_t kind = KindOf(rangePos == std::string::npos ? attrName_
                                                               : attrName_.substr(0, rangePos));
    if (rangePos != std::string::npos) {
      PrintRanged(fetchName_, attrName_, kind, entry, rangeBase);
    } else if ((kind & (kGuid | kSid | kDescriptor)) != 0) {
      PrintByteValues(fetchName_, attrName_, kind, entry);
    } else {
      if (!placed && dispatch_.AnyDecoder()) {
        place_ = PlaceEntry(entryDn, dispatch_);
        placed = true;
      }
      DispatchAttribute(fetchName_, attrName_, ld_, entry, place_, (kind & kDn) != 0, dispatch_,
                        &buffer_);
    }
    if (!buffer_.empty()) AddChunk(buffer_);
  }
  plat::ber_free(walk, 0);
  // The walk's end says whether the attributes broke off: those read are
  // printed, and the fault is reported.
  ULONG code = plat::LDAP_SUCCESS;
  plat::ldap_get_option(ld_, plat::LDAP_OPT_ERROR_NUMBER, &code);
  if (code == plat::LDAP_DECODING_ERROR) ReportFailure("ldap_next_attribute", code);
}

void EntryOutput::PrintByteValues(const std::string& fetchName, const std::string& attrName,
                                  uint8_t kind, plat::LDAPMessage* entry) {
  plat::berval** vals = plat::ldap_get_values_len(ld_, entry, fetchName.c_str());
  if (vals == nullptr) return;
  const ValueFilterPatterns filter = FindValueFilterPatterns(fetchName.substr(0, fetchName.find(kRangeOption)));
  const bool isOwnerAttribute = attrName == "nTSecurityDescriptor";

  for (plat::berval** v = vals; *v != nullptr; ++v) {
    const auto* bytes = reinterpret_cast<const unsigned char*>((*v)->bv_val);
    const size_t length = (*v)->bv_len;
    if ((kind & kDescriptor) != 0) {
      std::string text;
      if (isOwnerAttribute) {
        descriptorSeen_ = true;
        if (settings_.owner) {
          text = GetObjectOwnerText(settings_.noLabel, settings_.ownerCsv, bytes, length) + "\n";
        }
        if (state_.requestedAttributeSet.count(StrToLower(attrName)) != 0) {
          text = OutputSecurityDescriptor(attrName, settings_.decodeSecurityDescriptors,
                                          settings_.noLabel, bytes, length);
        }
      } else {
        text = OutputSecurityDescriptor(attrName, settings_.decodeSecurityDescriptors,
                                        settings_.noLabel, bytes, length);
      }
      if (!text.empty()) AddChunk(text);
      continue;
    }
    std::string valueText;
    if ((kind & kSid) != 0) {
      valueText = SidToText(bytes, length);
    } else if ((kind & kGuid) != 0) {
      valueText = GuidToText(bytes, length);
    }
    if (filter.active() && ValueFilterDrops(filter, valueText)) continue;
    if (!settings_.noLabel) buffer_.append(">").append(attrName).append(": ");
    buffer_.append(valueText).append("\n");
  }
  plat::ldap_value_free_len(vals);
}

void EntryOutput::PrintRange(const std::string& fetchName, const std::string& labelName,
                             uint8_t kind, plat::LDAPMessage* entry) {
  if ((kind & (kGuid | kSid | kDescriptor)) != 0) {
    // The byte-value printers label with the attribute name they are given.
    PrintByteValues(fetchName, labelName, kind, entry);
  } else {
    PrintAttributeValues(fetchName, labelName, ld_, entry, settings_.noLabel, settings_.noCtl,
                         &buffer_, (kind & kDn) != 0, &settings_.replaceDnFrom,
                         &settings_.replaceDnMap);
  }
}

void EntryOutput::PrintRanged(const std::string& fetchName, const std::string& attrName,
                              uint8_t kind, plat::LDAPMessage* entry, const std::string& rangeBase) {
  const size_t p = fetchName.find(kRangeOption);
  const std::string labelName = attrName.substr(0, p);
  const std::string baseFetch = fetchName.substr(0, p);
  const std::string rangePrefix = baseFetch + kRangeOption;
  PrintRange(fetchName, labelName, kind, entry);

  // Each further part is read by a base search of the entry, with the run's
  // controls that shape values, so that it comes in the form of the first.
  // The part that comes back must begin exactly where it was asked to, so
  // every step moves past the one before. A part that cannot be read is
  // reported: the values before it stay printed.
  ValueRange range;
  if (!ParseValueRange(fetchName, p, &range)) return;
  std::string request;
  unsigned long nextStart = 0;
  RangeDeadline deadline(settings_.timeLimit);
  while (NextRangeRequest(baseFetch, range, &request, &nextStart)) {
    // Some servers return a ranged value list only beside another attribute,
    // so objectClass is asked for too.
    const char* attrs[] = {request.c_str(), "objectClass", nullptr};
    plat::LDAPMessage* result = nullptr;
    const long waitMs = deadline.NextWaitMs();
    plat::l_timeval wait{static_cast<LONG>(waitMs / 1000), static_cast<LONG>(waitMs % 1000) * 1000};
    ULONG rc = waitMs == 0 ? plat::LDAP_TIMEOUT
                           : plat::ldap_search_ext_s(ld_, rangeBase.c_str(), plat::LDAP_SCOPE_BASE,
                                                     "(objectClass=*)", attrs, 0,
                                                     rangeControls_.data(), nullptr,
                                                     waitMs > 0 ? &wait : nullptr, 0, &result);
    // The wait is the server's time limit too, in whole seconds that it may
    // count from the start of one: its word that the limit ran out, within a
    // second of the end, is the value's timeout.
    if (rc == plat::LDAP_TIMELIMIT_EXCEEDED && waitMs > 0 && deadline.NextWaitMs() <= 1000) {
      rc = plat::LDAP_TIMEOUT;
    }
    if (rc != plat::LDAP_SUCCESS) {
      plat::ldap_msgfree(result);
      ReportFailure("ldap_search_ext_s", rc);
      return;
    }
    plat::LDAPMessage* rangeEntry = plat::ldap_first_entry(ld_, result);
    std::string nextName;
    if (rangeEntry != nullptr) {
      plat::BerElement* walk = nullptr;
      for (char* name = plat::ldap_first_attribute(ld_, rangeEntry, &walk); name != nullptr;
           name = plat::ldap_next_attribute(ld_, rangeEntry, walk)) {
        std::string lower = StrToLower(name);
        plat::ldap_memfree(name);
        if (nextName.empty() && lower.compare(0, rangePrefix.size(), rangePrefix) == 0) {
          nextName = std::move(lower);
        }
      }
      plat::ber_free(walk, 0);
    }
    ValueRange next;
    if (nextName.empty() || !ParseValueRange(nextName, p, &next) || next.start != nextStart) {
      // The server answered without the part asked for.
      plat::ldap_msgfree(result);
      ReportFailure("ldap_search_ext_s", plat::LDAP_NO_SUCH_ATTRIBUTE);
      return;
    }
    PrintRange(nextName, labelName, kind, rangeEntry);
    plat::ldap_msgfree(result);
    range = next;
  }
}

bool EntryOutput::FormatTextTail(const std::string& printedDn, bool descriptorSeen,
                                 std::string* out) {
  const bool empty = settings_.muteEmptyRecords && chunkCount_ == 0;
  if (!settings_.noDnLine && !empty) {
    if (settings_.ownerCsv) {
      out->append("\"").append(printedDn).append("\";");
    } else {
      out->append("dn:").append(printedDn).append("\n");
    }
  }
  const auto first = chunks_.begin();
  const auto last = chunks_.begin() + static_cast<std::ptrdiff_t>(chunkCount_);
  if (settings_.sortedAttributeOutput) std::stable_sort(first, last);
  if (settings_.orderedAttributeOutput) {
    for (size_t c = 0; c < settings_.columns.size(); ++c) {
      const std::string& name = settings_.columns[c];
      const std::string& lowerName = lowerColumns_[c];
      bool matched = false;
      for (auto it = first; it != last; ++it) {
        if (ChunkHasLabel(*it, lowerName)) {
          out->append(*it);
          it->clear();
          matched = true;
        }
      }
      if (!matched) out->append(">").append(name).append(": ").append(settings_.oaoEmptyText).append("\n");
    }
  }
  for (auto it = first; it != last; ++it) {
    if (!settings_.quotedList) {
      out->append(*it);
      continue;
    }
    size_t pos = 0;
    while (pos < it->size()) {
      size_t end = it->find('\n', pos);
      if (end == std::string::npos) end = it->size();
      out->append("\"").append(*it, pos, end - pos).append("\"\n");
      pos = end + 1;
    }
  }
  if (!settings_.noDnLine && !settings_.ownerCsv && !empty) out->append("\n");
  if (settings_.ownerCsv && !descriptorSeen) out->append("\"\"\n");
  return !empty;
}

void AppendCsvField(const std::string& field, const std::string& quote, std::string* out) {
  out->append(quote);
  size_t copied = 0;
  if (!quote.empty()) {
    // Each quote is copied with the text before it, then written once more.
    for (size_t hit = field.find(quote); hit != std::string::npos;
         hit = field.find(quote, copied)) {
      const size_t end = hit + quote.size();
      out->append(field, copied, end - copied).append(quote);
      copied = end;
    }
  }
  out->append(field, copied, std::string::npos).append(quote);
}

void EntryOutput::FormatCsvRow(const std::string& entryDn, std::string* out) {
  csvValues_.clear();
  csvNames_.clear();
  if (keepDnColumn_) {
    csvValues_["dn"] = entryDn;
    csvNames_["dn"] = "dn";
  }
  bool hasValues = false;
  for (size_t i = 0; i < chunkCount_; ++i) {
    const std::string& chunk = chunks_[i];
    const size_t colon = chunk.find(':');
    const std::string field = chunk.substr(0, colon);
    const std::string name = field.substr(field.empty() ? 0 : 1, 255);
    std::string text = ReplaceAll(chunk, field + ": ", settings_.csvMvDelim, false);
    text = ReplaceAll(text, "\n", "", false);
    text = ReplaceFirst(text, settings_.csvMvDelim, "", false);
    if (!text.empty()) hasValues = true;
    csvNames_[StrToLower(name)] = name;
    csvValues_[name] = std::move(text);
  }
  if (settings_.muteEmptyRecords && !hasValues) return;
  bool firstColumn = true;
  for (const std::string& lowerColumn : lowerColumns_) {
    std::string field;
    auto nameIt = csvNames_.find(lowerColumn);
    if (nameIt != csvNames_.end()) {
      auto valueIt = csvValues_.find(nameIt->second);
      if (valueIt != csvValues_.end()) field = valueIt->second;
    }
    if (field.empty()) field = settings_.csvEmptyText;
    if (!firstColumn) out->append(settings_.csvDelim);
    firstColumn = false;
    AppendCsvField(field, settings_.csvQuote, out);
  }
  out->append("\n");
}
