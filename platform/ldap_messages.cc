// Result messages: entries, attributes and values, result parsing and the
// release of everything handed out.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cldap.h"
#include "platform/ldap_client.h"
#include "platform/ldap_internal.h"
#include "platform/ldap_native.h"

namespace plat {

namespace detail {

void ReleaseBerElement(BerElement* ber) { delete ber; }

char* CopyText(std::string_view s) {
  auto* out = static_cast<char*>(std::malloc(s.size() + 1));
  if (out == nullptr) return nullptr;
  if (!s.empty()) std::memcpy(out, s.data(), s.size());
  out[s.size()] = '\0';
  return out;
}

}  // namespace detail

namespace {

using detail::CopyText;

// One block: the pointer array, then each text with its terminating zero
// (the value's bytes are copied whole, so they never read past the value).
char** MakeTextArray(const std::string_view* values, size_t count) {
  size_t total = (count + 1) * sizeof(char*);
  for (size_t i = 0; i < count; ++i) total += values[i].size() + 1;
  auto** out = static_cast<char**>(std::malloc(total));
  if (out == nullptr) return nullptr;
  char* p = reinterpret_cast<char*>(out + count + 1);
  for (size_t i = 0; i < count; ++i) {
    const size_t len = values[i].size();
    out[i] = p;
    if (len != 0) std::memcpy(p, values[i].data(), len);
    p[len] = '\0';
    p += len + 1;
  }
  out[count] = nullptr;
  return out;
}

// One block: the pointer array, the records, then the bytes (each followed by
// a zero that is not counted in bv_len).
berval** MakeBervalArray(const std::string_view* values, size_t count) {
  size_t total = (count + 1) * sizeof(berval*) + count * sizeof(berval);
  for (size_t i = 0; i < count; ++i) total += values[i].size() + 1;
  auto** out = static_cast<berval**>(std::malloc(total));
  if (out == nullptr) return nullptr;
  auto* records = reinterpret_cast<berval*>(out + count + 1);
  char* p = reinterpret_cast<char*>(records + count);
  for (size_t i = 0; i < count; ++i) {
    const size_t len = values[i].size();
    if (len != 0) std::memcpy(p, values[i].data(), len);
    p[len] = '\0';
    records[i].bv_len = static_cast<ULONG>(len);
    records[i].bv_val = p;
    out[i] = &records[i];
    p += len + 1;
  }
  out[count] = nullptr;
  return out;
}

// One block: the record, the OID text, then the value bytes.
LDAPControl* MakeControl(const nat::Control& c) {
  size_t total = sizeof(LDAPControl) + c.oid.size() + 1 + c.value.size() + 1;
  auto* ctl = static_cast<LDAPControl*>(std::malloc(total));
  if (ctl == nullptr) return nullptr;
  char* p = reinterpret_cast<char*>(ctl + 1);
  std::memcpy(p, c.oid.c_str(), c.oid.size() + 1);
  ctl->ldctl_oid = p;
  p += c.oid.size() + 1;
  if (c.hasValue) {
    if (!c.value.empty()) std::memcpy(p, c.value.data(), c.value.size());
    p[c.value.size()] = '\0';
    ctl->ldctl_value.bv_len = static_cast<ULONG>(c.value.size());
    ctl->ldctl_value.bv_val = p;
  } else {
    ctl->ldctl_value.bv_len = 0;
    ctl->ldctl_value.bv_val = nullptr;
  }
  ctl->ldctl_iscritical = c.critical ? 1 : 0;
  return ctl;
}

// The result chains of a head: its own, then those of the continuation
// references followed for it (null past the last).
ldapmsg* Chain(const LDAPMessage* head, size_t i) {
  if (i == 0) return head->native;
  return i <= head->followed.size() ? head->followed[i - 1] : nullptr;
}

// libldap's calls on a message go through the connection it came from.
void BuildEntries(LDAPMessage* head) {
  if (head->entriesBuilt) return;
  head->entriesBuilt = true;
  size_t n = 0;
  if (head->native != nullptr) {
    for (size_t i = 0; Chain(head, i) != nullptr; ++i) {
      n += static_cast<size_t>(nat::CountEntries(head->conn, Chain(head, i)));
    }
  } else if (head->udp) {
    n = head->udp->entries.size();
  }
  if (n == 0) return;
  head->entries.reset(new (std::nothrow) LDAPMessage[n]);
  if (!head->entries) return;
  size_t chain = 0;
  ldapmsg* e = head->native != nullptr ? nat::FirstEntry(head->conn, head->native) : nullptr;
  size_t count = 0;
  for (size_t i = 0; i < n; ++i) {
    LDAPMessage& m = head->entries[i];
    m.head = head;
    m.index = i;
    if (head->native != nullptr) {
      while (e == nullptr && Chain(head, ++chain) != nullptr) {
        e = nat::FirstEntry(head->conn, Chain(head, chain));
      }
      if (e == nullptr) break;
      m.nativeEntry = e;
      e = nat::NextEntry(head->conn, e);
    }
    ++count;
  }
  head->entryCount = count;
}

// An entry message; a result head stands for its first entry.
LDAPMessage* EntryOf(LDAPMessage* msg) {
  if (msg == nullptr) return nullptr;
  if (msg->head != msg) return msg;
  BuildEntries(msg);
  return msg->entryCount != 0 ? &msg->entries[0] : nullptr;
}

const detail::CldapEntry* UdpEntry(LDAPMessage* entry) {
  LDAPMessage* head = entry->head;
  if (!head->udp || entry->index >= head->udp->entries.size()) return nullptr;
  return &head->udp->entries[entry->index];
}

// The attributes of a connection-oriented entry, read on the first question
// about it; null for a connectionless entry, or when no memory is left.
detail::EntryIndex* IndexOf(LDAPMessage* entry) {
  if (entry->nativeEntry == nullptr) return nullptr;
  LDAPMessage* head = entry->head;
  if (head->indexed == entry) return head->attributes.get();
  if (!head->attributes) {
    head->attributes.reset(new (std::nothrow) detail::EntryIndex);
    if (!head->attributes) return nullptr;
  }
  // A failed read leaves the index empty: no DN, no attributes.
  nat::ReadEntry(head->conn, entry->nativeEntry, head->attributes.get());
  head->indexed = entry;
  return head->attributes.get();
}

// Values of an attribute as views into the message: *count of them from the
// returned address (a connectionless entry's are gathered into *scratch).
// Null when the entry has no such attribute or it has no values.
const std::string_view* FindValues(LDAPMessage* entry, const char* attr, size_t* count,
                                   std::vector<std::string_view>* scratch) {
  *count = 0;
  if (entry == nullptr || attr == nullptr) return nullptr;
  if (entry->nativeEntry != nullptr) {
    const detail::EntryIndex* index = IndexOf(entry);
    if (index == nullptr) return nullptr;
    const size_t i = index->Find(attr);
    if (i == detail::EntryIndex::npos) return nullptr;
    const std::string_view* values = index->Values(i, count);
    return *count != 0 ? values : nullptr;
  }
  const detail::CldapEntry* e = UdpEntry(entry);
  if (e == nullptr) return nullptr;
  for (const detail::CldapAttribute& a : e->attributes) {
    if (strcasecmp(a.name.c_str(), attr) != 0) continue;
    scratch->reserve(a.values.size());
    for (const std::string& v : a.values) scratch->emplace_back(v);
    *count = scratch->size();
    return *count != 0 ? scratch->data() : nullptr;
  }
  return nullptr;
}

}  // namespace

// --- Walking a result -------------------------------------------------------

ULONG ldap_count_entries(LDAP* /*ld*/, LDAPMessage* res) {
  if (res == nullptr) return 0;
  LDAPMessage* head = res->head;
  BuildEntries(head);
  if (res == head) return static_cast<ULONG>(head->entryCount);
  return static_cast<ULONG>(head->entryCount - res->index);
}

LDAPMessage* ldap_first_entry(LDAP* /*ld*/, LDAPMessage* res) { return EntryOf(res); }

LDAPMessage* ldap_next_entry(LDAP* /*ld*/, LDAPMessage* entry) {
  LDAPMessage* e = EntryOf(entry);
  if (e == nullptr) return nullptr;
  LDAPMessage* head = e->head;
  if (entry == head) {  // the head stood for its first entry
    return head->entryCount > 1 ? &head->entries[1] : nullptr;
  }
  return e->index + 1 < head->entryCount ? &head->entries[e->index + 1] : nullptr;
}

char* ldap_get_dn(LDAP* ld, LDAPMessage* entry) {
  LDAPMessage* e = EntryOf(entry);
  if (e == nullptr) return nullptr;
  if (e->nativeEntry != nullptr) {
    const detail::EntryIndex* index = IndexOf(e);
    if (index != nullptr && index->Dn().data() != nullptr) return CopyText(index->Dn());
    // The entry's encoding cannot be read (not even its DN).
    if (ld != nullptr) ld->lastCode = LDAP_DECODING_ERROR;
    return nullptr;
  }
  const detail::CldapEntry* u = UdpEntry(e);
  return u != nullptr ? CopyText(u->dn) : nullptr;
}

char* ldap_first_attribute(LDAP* ld, LDAPMessage* entry, BerElement** ptr) {
  if (ptr == nullptr) return nullptr;
  *ptr = nullptr;
  LDAPMessage* e = EntryOf(entry);
  if (e == nullptr) return nullptr;
  auto* ber = new (std::nothrow) BerElement;
  if (ber == nullptr) return nullptr;
  ber->kind = BerElement::kWalk;
  *ptr = ber;
  ber->nextAttribute = 0;
  return ldap_next_attribute(ld, e, ber);
}

// The end of the walk says on the connection (LDAP_OPT_ERROR_NUMBER)
// whether the entry's attributes were read whole or broke off.
char* ldap_next_attribute(LDAP* ld, LDAPMessage* entry, BerElement* ptr) {
  if (ptr == nullptr || ptr->kind != BerElement::kWalk) return nullptr;
  LDAPMessage* e = EntryOf(entry);
  if (e == nullptr) return nullptr;
  if (e->nativeEntry != nullptr) {
    detail::EntryIndex* index = IndexOf(e);
    if (index == nullptr || ptr->nextAttribute >= index->size()) {
      if (ld != nullptr) {
        ld->lastCode = index == nullptr                                   ? LDAP_NO_MEMORY
                       : index->malformed() || index->Dn().data() == nullptr ? LDAP_DECODING_ERROR
                                                                          : LDAP_SUCCESS;
      }
      return nullptr;
    }
    index->NoteWalked(ptr->nextAttribute);
    return CopyText(index->Name(ptr->nextAttribute++));
  }
  const detail::CldapEntry* u = UdpEntry(e);
  if (u == nullptr || ptr->nextAttribute >= u->attributes.size()) {
    if (ld != nullptr) ld->lastCode = LDAP_SUCCESS;  // decoded whole with its answer
    return nullptr;
  }
  return CopyText(u->attributes[ptr->nextAttribute++].name);
}

char** ldap_get_values(LDAP* /*ld*/, LDAPMessage* entry, const char* attr) {
  std::vector<std::string_view> scratch;
  size_t count = 0;
  const std::string_view* values = FindValues(EntryOf(entry), attr, &count, &scratch);
  return values != nullptr ? MakeTextArray(values, count) : nullptr;
}

berval** ldap_get_values_len(LDAP* /*ld*/, LDAPMessage* entry, const char* attr) {
  std::vector<std::string_view> scratch;
  size_t count = 0;
  const std::string_view* values = FindValues(EntryOf(entry), attr, &count, &scratch);
  return values != nullptr ? MakeBervalArray(values, count) : nullptr;
}

ULONG ldap_count_values(char** vals) {
  ULONG n = 0;
  while (vals != nullptr && vals[n] != nullptr) ++n;
  return n;
}

ULONG ldap_count_values_len(berval** vals) {
  ULONG n = 0;
  while (vals != nullptr && vals[n] != nullptr) ++n;
  return n;
}

ULONG ldap_value_free(char** vals) {
  std::free(vals);
  return LDAP_SUCCESS;
}

ULONG ldap_value_free_len(berval** vals) {
  std::free(vals);
  return LDAP_SUCCESS;
}

ULONG ldap_msgfree(LDAPMessage* res) {
  if (res == nullptr || res->head != res) return LDAP_SUCCESS;  // entries go with their result
  if (res->native != nullptr) nat::MsgFree(res->native);
  for (ldapmsg* chain : res->followed) nat::MsgFree(chain);
  for (nat::Conn* conn : res->connections) nat::Close(conn);
  delete res;
  return LDAP_SUCCESS;
}

void ldap_memfree(char* block) { std::free(block); }

ULONG ldap_parse_result(LDAP* ld, LDAPMessage* res, ULONG* returnCode, char** matchedDN,
                        char** errorMessage, char*** referrals, LDAPControl*** serverControls,
                        BOOLEAN freeIt) {
  if (returnCode != nullptr) *returnCode = 0;
  if (matchedDN != nullptr) *matchedDN = nullptr;
  if (errorMessage != nullptr) *errorMessage = nullptr;
  if (referrals != nullptr) *referrals = nullptr;
  if (serverControls != nullptr) *serverControls = nullptr;
  if (res == nullptr) return LDAP_NO_RESULTS_RETURNED;
  LDAPMessage* head = res->head;
  nat::ParsedResult parsed;
  ULONG rc = LDAP_SUCCESS;
  if (head->native != nullptr) {
    rc = static_cast<ULONG>(nat::ToWindowsCode(nat::ParseResult(head->conn, head->native, &parsed)));
    if (rc == LDAP_SUCCESS && ld != nullptr && !ld->referrals) {
      for (std::vector<std::string>& urls : nat::References(head->conn, head->native)) {
        for (std::string& url : urls) parsed.referrals.push_back(std::move(url));
      }
    }
  } else if (head->udp && head->udp->done) {
    parsed.code = head->udp->code;
    parsed.haveMatched = !head->udp->matched.empty();
    parsed.matched = head->udp->matched;
    parsed.haveError = !head->udp->error.empty();
    parsed.error = head->udp->error;
    parsed.referrals = head->udp->referrals;
  } else {
    rc = LDAP_NO_RESULTS_RETURNED;
  }
  if (rc == LDAP_SUCCESS) {
    if (returnCode != nullptr) *returnCode = static_cast<ULONG>(nat::ToWindowsCode(parsed.code));
    if (matchedDN != nullptr && parsed.haveMatched) *matchedDN = CopyText(parsed.matched);
    if (errorMessage != nullptr && parsed.haveError) *errorMessage = CopyText(parsed.error);
    if (referrals != nullptr && !parsed.referrals.empty()) {
      std::vector<std::string_view> refs(parsed.referrals.begin(), parsed.referrals.end());
      *referrals = MakeTextArray(refs.data(), refs.size());
    }
    if (serverControls != nullptr && !parsed.controls.empty()) {
      auto** list = static_cast<LDAPControl**>(
          std::calloc(parsed.controls.size() + 1, sizeof(LDAPControl*)));
      if (list != nullptr) {
        size_t n = 0;
        for (const nat::Control& c : parsed.controls) {
          LDAPControl* ctl = MakeControl(c);
          if (ctl != nullptr) list[n++] = ctl;
        }
        *serverControls = list;
      }
    }
  }
  if (freeIt) ldap_msgfree(head);
  return rc;
}

ULONG ldap_control_free(LDAPControl* control) {
  std::free(control);
  return LDAP_SUCCESS;
}

ULONG ldap_controls_free(LDAPControl** controls) {
  for (size_t i = 0; controls != nullptr && controls[i] != nullptr; ++i) std::free(controls[i]);
  std::free(controls);
  return LDAP_SUCCESS;
}

}  // namespace plat
