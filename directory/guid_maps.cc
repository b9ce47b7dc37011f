#include "directory/guid_maps.h"

#include <chrono>
#include <cstdio>
#include <functional>

#include "common/string_util.h"
#include "common/zqtimer.h"
#include "directory/connection.h"
#include "directory/guid_text.h"
#include "platform/last_error.h"
#include "platform/ldap_client.h"

namespace {

constexpr ULONG kPageSize = 1000;
constexpr int kNoMoreResults = 0x5E;
constexpr int kSizeLimitExceeded = 4;

using EntryFn = std::function<void(plat::LDAPMessage* entry)>;

// One-level paged search of base, handing every entry of every page to
// onEntry; each page is freed before the next is fetched. The label's
// stopwatch is stopped on every way out.
bool PagedLoad(plat::LDAP* ld, const std::string& base, const std::string& filter, char** attrs,
               CZQTimer* timer, const std::string& label, const EntryFn& onEntry) {
  auto stopTimer = [&]() {
    if (timer != nullptr) timer->Stop(label);
  };
  std::string baseText = base;
  std::string filterText = filter;
  plat::PLDAPSearch search =
      plat::ldap_search_init_page(ld, baseText.data(), plat::LDAP_SCOPE_ONELEVEL, filterText.data(), attrs, 0,
                                  nullptr, nullptr, 0, 0, nullptr);
  if (search == nullptr) {
    printf("LDAP_SEARCH_INIT_PAGE FAILED: WinError=%d\n\n", static_cast<int>(plat::GetLastError()));
    stopTimer();
    return false;
  }
  // The whole load ends within the directory's wait limit, however many
  // pages the server makes of it. The first page has the whole limit, so
  // that a server that answers none is known as not answering.
  using Clock = std::chrono::steady_clock;
  const long limitMs = DirectoryWaitLimit() * 1000;
  const Clock::time_point start = Clock::now();
  for (long left = limitMs;;
       left = limitMs - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()) {
    plat::LDAPMessage* page = nullptr;
    plat::l_timeval timeout{static_cast<LONG>(left / 1000), static_cast<LONG>(left % 1000) * 1000};
    ULONG rc = left > 0 ? plat::ldap_get_next_page_s(ld, search, &timeout, kPageSize, nullptr, &page)
                        : plat::LDAP_TIMEOUT;
    WarnUnfollowedReferrals(ld, search);
    if (rc == 0 || rc == kSizeLimitExceeded) {
      for (plat::LDAPMessage* e = plat::ldap_first_entry(ld, page); e != nullptr;
           e = plat::ldap_next_entry(ld, e)) {
        onEntry(e);
      }
      if (page != nullptr) plat::ldap_msgfree(page);
      if (rc == 0) continue;
      plat::ldap_search_abandon_page(ld, search);
      stopTimer();
      return true;
    }
    if (page != nullptr) plat::ldap_msgfree(page);
    // The paged search is ended on failure too, so nothing of it is left open.
    plat::ldap_search_abandon_page(ld, search);
    if (rc == kNoMoreResults) {
      stopTimer();
      return true;
    }
    if (FailureToReport(ld, rc)) {
      PrintLdapError("ldap_get_next_page_s", "", static_cast<int>(rc), nullptr);
      printf("\n");
    }
    stopTimer();
    return false;
  }
}

// First text value of an attribute, or "".
std::string FirstValue(plat::LDAP* ld, plat::LDAPMessage* entry, const char* name) {
  std::string text;
  char** values = plat::ldap_get_values(ld, entry, name);
  if (values != nullptr) {
    if (values[0] != nullptr) text = values[0];
    plat::ldap_value_free(values);
  }
  return text;
}

// The GUID text of the first binary value of an attribute; "" when there is
// none or it is shorter than a GUID.
std::string FirstGuidValue(plat::LDAP* ld, plat::LDAPMessage* entry, const char* name) {
  std::string text;
  plat::berval** values = plat::ldap_get_values_len(ld, entry, name);
  if (values != nullptr) {
    text = GuidValueKey(values[0]);
    plat::ldap_value_free_len(values);
  }
  return text;
}

}  // namespace

std::string GuidValueKey(const plat::berval* value) {
  if (value == nullptr || value->bv_val == nullptr || value->bv_len < 16) return std::string();
  return GuidToString(reinterpret_cast<const GUID*>(value->bv_val));
}

bool LoadGuidMap(std::string kind, plat::LDAP* connection, std::string namingContext, CZQTimer* timer,
                 std::map<std::string, std::string>* map) {
  std::string base;
  std::string filter;
  if (kind == "SITE_GUIDS") {
    base = "CN=Sites," + namingContext;
    filter = "(objectCategory=site)";
  } else if (kind == "SCHEMAID_GUIDS") {
    base = "CN=Schema," + namingContext;
    filter = "(|(objectCategory=attributeSchema)(objectCategory=classSchema))";
  } else if (kind == "RIGHTS_GUIDS") {
    base = "CN=Extended-Rights," + namingContext;
    filter = "(objectCategory=controlAccessRight)";
  }
  if (timer != nullptr) timer->Start(kind);

  char a0[] = "name", a1[] = "displayName", a2[] = "lDAPDisplayName", a3[] = "rightsGuid",
       a4[] = "schemaIDGUID", a5[] = "objectGUID";
  char* attrs[] = {a0, a1, a2, a3, a4, a5, nullptr};

  auto onEntry = [&](plat::LDAPMessage* entry) {
    std::string value;
    std::string key;
    if (kind == "SITE_GUIDS") {
      value = FirstValue(connection, entry, "name");
      key = FirstGuidValue(connection, entry, "objectGUID");
    }
    if (kind == "SCHEMAID_GUIDS") {
      value = FirstValue(connection, entry, "lDAPDisplayName");
      key = FirstGuidValue(connection, entry, "SchemaIDGUID");
    }
    if (kind == "RIGHTS_GUIDS") {
      value = FirstValue(connection, entry, "displayName");
      char** rights = plat::ldap_get_values(connection, entry, "rightsGuid");
      if (rights != nullptr) {
        if (rights[0] != nullptr) key = std::string("{") + rights[0] + "}";
        plat::ldap_value_free(rights);
      }
    }
    (*map)[StrToUpper(std::move(key))] = std::move(value);
  };
  return PagedLoad(connection, base, filter, attrs, timer, kind, onEntry);
}

bool LoadGenTimeAttribs(plat::LDAP* connection, std::string namingContext, CZQTimer* timer,
                        std::map<std::string, int>* set) {
  const std::string label = "LOAD_GEN_TIME_ATTRIBS";
  if (timer != nullptr) timer->Start(label);
  char name[] = "lDAPDisplayName";
  char* attrs[] = {name, nullptr};
  auto onEntry = [&](plat::LDAPMessage* entry) {
    (*set)[FirstValue(connection, entry, "lDAPDisplayName")] = 1;
  };
  return PagedLoad(connection, namingContext, "(&(objectcategory=attributeschema)(attributesyntax=2.5.5.11))",
                   attrs, timer, label, onEntry);
}
