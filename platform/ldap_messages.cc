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

void ReleaseBerElement(BerElement* ber) {
  if (ber->native != nullptr) nat::FreeWalkState(ber->native);
  delete ber;
}

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

struct Bytes {
  const char* data;
  size_t len;
};

// One block: the pointer array, then each text with its terminating zero
// (the value's bytes are copied whole, so they never read past the value).
char** MakeTextArray(const std::vector<Bytes>& values) {
  size_t total = (values.size() + 1) * sizeof(char*);
  for (const Bytes& v : values) total += v.len + 1;
  auto** out = static_cast<char**>(std::malloc(total));
  if (out == nullptr) return nullptr;
  char* p = reinterpret_cast<char*>(out + values.size() + 1);
  for (size_t i = 0; i < values.size(); ++i) {
    out[i] = p;
    if (values[i].len != 0) std::memcpy(p, values[i].data, values[i].len);
    p[values[i].len] = '\0';
    p += values[i].len + 1;
  }
  out[values.size()] = nullptr;
  return out;
}

// One block: the pointer array, the records, then the bytes (each followed by
// a zero that is not counted in bv_len).
berval** MakeBervalArray(const std::vector<Bytes>& values) {
  size_t total = (values.size() + 1) * sizeof(berval*) + values.size() * sizeof(berval);
  for (const Bytes& v : values) total += v.len + 1;
  auto** out = static_cast<berval**>(std::malloc(total));
  if (out == nullptr) return nullptr;
  auto* records = reinterpret_cast<berval*>(out + values.size() + 1);
  char* p = reinterpret_cast<char*>(records + values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i].len != 0) std::memcpy(p, values[i].data, values[i].len);
    p[values[i].len] = '\0';
    records[i].bv_len = static_cast<ULONG>(values[i].len);
    records[i].bv_val = p;
    out[i] = &records[i];
    p += values[i].len + 1;
  }
  out[values.size()] = nullptr;
  return out;
}

// Takes a libldap text over into our own allocation.
char* AdoptNativeText(char* text) {
  if (text == nullptr) return nullptr;
  char* out = CopyText(text);
  nat::FreeText(text);
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

// libldap's calls on a message go through the connection it came from.
void BuildEntries(LDAPMessage* head) {
  if (head->entriesBuilt) return;
  head->entriesBuilt = true;
  size_t n = 0;
  if (head->native != nullptr) {
    n = static_cast<size_t>(nat::CountEntries(head->conn, head->native));
  } else if (head->udp) {
    n = head->udp->entries.size();
  }
  if (n == 0) return;
  head->entries.reset(new (std::nothrow) LDAPMessage[n]);
  if (!head->entries) return;
  ldapmsg* e = head->native != nullptr ? nat::FirstEntry(head->conn, head->native) : nullptr;
  size_t count = 0;
  for (size_t i = 0; i < n; ++i) {
    LDAPMessage& m = head->entries[i];
    m.head = head;
    m.index = i;
    if (head->native != nullptr) {
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

// Values of an attribute as references into the message (connectionless) or
// into libldap's copy (*handle, released by the caller).
bool CollectValues(LDAPMessage* entry, const char* attr, std::vector<Bytes>* out, void** handle) {
  *handle = nullptr;
  out->clear();
  if (entry == nullptr || attr == nullptr) return false;
  if (entry->nativeEntry != nullptr) {
    std::vector<nat::ValueRef> refs;
    if (!nat::GetValues(entry->head->conn, entry->nativeEntry, attr, &refs, handle)) return false;
    out->reserve(refs.size());
    for (const nat::ValueRef& r : refs) out->push_back(Bytes{r.data, r.len});
    return true;
  }
  const detail::CldapEntry* e = UdpEntry(entry);
  if (e == nullptr) return false;
  for (const detail::CldapAttribute& a : e->attributes) {
    if (strcasecmp(a.name.c_str(), attr) != 0) continue;
    out->reserve(a.values.size());
    for (const std::string& v : a.values) out->push_back(Bytes{v.data(), v.size()});
    return true;
  }
  return false;
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

char* ldap_get_dn(LDAP* /*ld*/, LDAPMessage* entry) {
  LDAPMessage* e = EntryOf(entry);
  if (e == nullptr) return nullptr;
  if (e->nativeEntry != nullptr) return AdoptNativeText(nat::GetDn(e->head->conn, e->nativeEntry));
  const detail::CldapEntry* u = UdpEntry(e);
  return u != nullptr ? CopyText(u->dn) : nullptr;
}

char* ldap_first_attribute(LDAP* /*ld*/, LDAPMessage* entry, BerElement** ptr) {
  if (ptr == nullptr) return nullptr;
  *ptr = nullptr;
  LDAPMessage* e = EntryOf(entry);
  if (e == nullptr) return nullptr;
  auto* ber = new (std::nothrow) BerElement;
  if (ber == nullptr) return nullptr;
  ber->kind = BerElement::kWalk;
  *ptr = ber;
  if (e->nativeEntry != nullptr) {
    return AdoptNativeText(nat::FirstAttribute(e->head->conn, e->nativeEntry, &ber->native));
  }
  const detail::CldapEntry* u = UdpEntry(e);
  if (u == nullptr || u->attributes.empty()) return nullptr;
  ber->nextAttribute = 1;
  return CopyText(u->attributes[0].name);
}

char* ldap_next_attribute(LDAP* /*ld*/, LDAPMessage* entry, BerElement* ptr) {
  if (ptr == nullptr || ptr->kind != BerElement::kWalk) return nullptr;
  LDAPMessage* e = EntryOf(entry);
  if (e == nullptr) return nullptr;
  if (e->nativeEntry != nullptr) {
    if (ptr->native == nullptr) return nullptr;
    char* name = nat::NextAttribute(e->head->conn, e->nativeEntry, ptr->native);
    if (name == nullptr) {  // the walk is over: its state can go now
      nat::FreeWalkState(ptr->native);
      ptr->native = nullptr;
    }
    return AdoptNativeText(name);
  }
  const detail::CldapEntry* u = UdpEntry(e);
  if (u == nullptr || ptr->nextAttribute >= u->attributes.size()) return nullptr;
  return CopyText(u->attributes[ptr->nextAttribute++].name);
}

char** ldap_get_values(LDAP* /*ld*/, LDAPMessage* entry, const char* attr) {
  std::vector<Bytes> values;
  void* handle = nullptr;
  if (!CollectValues(EntryOf(entry), attr, &values, &handle)) return nullptr;
  char** out = MakeTextArray(values);
  if (handle != nullptr) nat::FreeValues(handle);
  return out;
}

berval** ldap_get_values_len(LDAP* /*ld*/, LDAPMessage* entry, const char* attr) {
  std::vector<Bytes> values;
  void* handle = nullptr;
  if (!CollectValues(EntryOf(entry), attr, &values, &handle)) return nullptr;
  berval** out = MakeBervalArray(values);
  if (handle != nullptr) nat::FreeValues(handle);
  return out;
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
  delete res;
  return LDAP_SUCCESS;
}

void ldap_memfree(char* block) { std::free(block); }

ULONG ldap_parse_result(LDAP* /*ld*/, LDAPMessage* res, ULONG* returnCode, char** matchedDN,
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
      std::vector<Bytes> refs;
      for (const std::string& r : parsed.referrals) refs.push_back(Bytes{r.data(), r.size()});
      *referrals = MakeTextArray(refs);
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
