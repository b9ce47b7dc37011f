// Search set-up: scope, attribute list, server controls, sort key and the
// search header lines.
#include "driver/search_setup.h"

#include <cstring>
#include <iostream>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "driver/search_phases.h"
#include "platform/ldap_client.h"

namespace {

constexpr char kShowDeletedOid[] = "1.2.840.113556.1.4.417";
constexpr char kStatsOid[] = "1.2.840.113556.1.4.970";
constexpr char kExtendedDnOid[] = "1.2.840.113556.1.4.529";
constexpr char kSdFlagsOid[] = "1.2.840.113556.1.4.801";
constexpr char kSearchOptionsOid[] = "1.2.840.113556.1.4.1340";
constexpr char kDomainScopeOid[] = "1.2.840.113556.1.4.1339";
constexpr char kAsqOid[] = "1.2.840.113556.1.4.1504";
constexpr int kPhantomRoot = 2;

plat::LDAPControl* NewControl(const char* oid, const plat::berval* value) {
  auto* control = new plat::LDAPControl{};
  control->ldctl_oid = const_cast<char*>(oid);
  control->ldctl_iscritical = 1;
  if (value != nullptr && value->bv_len != 0) {
    control->ldctl_value.bv_len = value->bv_len;
    control->ldctl_value.bv_val = new char[value->bv_len];
    std::memcpy(control->ldctl_value.bv_val, value->bv_val, value->bv_len);
  }
  return control;
}

template <typename Encode>
plat::LDAPControl* EncodedControl(const char* oid, Encode encode) {
  plat::BerElement* ber = plat::ber_alloc_t(plat::LBER_USE_DER);
  if (ber == nullptr) return nullptr;
  plat::berval* flat = nullptr;
  plat::LDAPControl* control = nullptr;
  if (encode(ber) != plat::LBER_ERROR && plat::ber_flatten(ber, &flat) == 0 && flat != nullptr) {
    control = NewControl(oid, flat);
  }
  plat::ber_free(ber, 1);
  plat::ber_bvfree(flat);
  return control;
}

}  // namespace

int SearchScopeOf(const std::string& scopeText) {
  if (scopeText.empty()) return 2;
  if (scopeText.find("base") != std::string::npos) return 0;
  if (scopeText.find("one") != std::string::npos) return 1;
  return 2;
}

plat::LDAPControl* MakeControl(const char* oid) { return NewControl(oid, nullptr); }

plat::LDAPControl* MakeIntegerControl(const char* oid, int number) {
  return EncodedControl(oid, [number](plat::BerElement* ber) {
    return plat::ber_printf(ber, "{i}", number);
  });
}

plat::LDAPControl* MakeTextControl(const char* oid, const std::string& text) {
  return EncodedControl(oid, [&text](plat::BerElement* ber) {
    return plat::ber_printf(ber, "{s}", text.c_str());
  });
}

bool SetUpSearch(QueryRun& run, int* /*exitCode*/) {
  QuerySettings& s = run.settings;
  SearchState& st = run.search;
  CCmdLine& cmdLine = run.cmdLine;

  st.searchScope = SearchScopeOf(s.scope);

  if (s.ownerOnly) cmdLine.ClearArgs();

  st.requestedAttributeSet.clear();
  for (const std::string& name : cmdLine.args) st.requestedAttributeSet[StrToLower(name)] = 1;

  if (s.decodeSecurityDescriptors || s.owner) {
    if (cmdLine.args.empty()) {
      if (!s.ownerOnly) cmdLine.AddPositional("*");
      cmdLine.AddPositional("ntSecurityDescriptor");
      if (s.decodeSecurityDescriptors && !s.ownerOnly) {
        st.requestedAttributeSet["ntsecuritydescriptor"] = 1;
      }
    } else if (s.owner) {
      cmdLine.AddPositional("ntSecurityDescriptor");
    }
  }

  st.attributeNames.clear();
  st.searchAttributes.clear();
  st.attributesOnly = false;
  if (!cmdLine.args.empty()) {
    st.attributeNames = cmdLine.args;
  } else if (s.countOnly || s.dnOnly) {
    st.attributeNames.push_back("1.1");
    st.attributesOnly = true;
  }
  for (const std::string& name : st.attributeNames) st.searchAttributes.push_back(name.c_str());
  st.searchAttributes.push_back(nullptr);

  st.sortKeyList = {nullptr, nullptr};
  if (s.serverSort && !s.sortKey.empty()) {
    st.sortAttribute = s.sortKey;
    // Names compare without case, but a server may leave a requested
    // attribute out of sorted results when the key spells it otherwise: the
    // key takes the spelling of the request.
    const std::string lowerKey = StrToLower(s.sortKey);
    for (const std::string& name : st.attributeNames) {
      if (StrToLower(name) == lowerKey) {
        st.sortAttribute = name;
        break;
      }
    }
    st.sortKey.sk_attrtype = st.sortAttribute.data();
    st.sortKey.sk_matchruleoid = nullptr;
    st.sortKey.sk_reverseorder = s.reverseSort ? 1 : 0;
    st.sortKeyList[0] = &st.sortKey;
  }

  // Server controls, in their fixed order; a control that cannot be encoded
  // is left out.
  size_t next = 0;
  auto add = [&st, &next](plat::LDAPControl* control) {
    if (control != nullptr && next + 1 < st.serverControls.size()) st.serverControls[next++] = control;
  };
  if (s.showDeleted) add(MakeControl(kShowDeletedOid));
  if (s.stats || s.statsAnalysis || s.statsOnly) add(MakeControl(kStatsOid));
  if (s.extendedDn) add(MakeControl(kExtendedDnOid));

  int sdFlags = 0;
  if (!g_SdNoOwner) sdFlags |= 1;
  if (!g_SdNoGroup) sdFlags |= 2;
  if (!g_SdNoDacl) sdFlags |= 4;
  if (!g_SdNoSacl) sdFlags |= 8;
  const bool ownerWithoutDescriptor =
      s.owner && st.requestedAttributeSet.count("ntsecuritydescriptor") == 0;
  if (ownerWithoutDescriptor) sdFlags = 1;
  if (g_SdNoOwner || g_SdNoGroup || g_SdNoDacl || g_SdNoSacl || ownerWithoutDescriptor) {
    add(MakeIntegerControl(kSdFlagsOid, sdFlags));
  }
  if (s.phantomRoot) add(MakeIntegerControl(kSearchOptionsOid, kPhantomRoot));
  if (s.noServerReferrals) add(MakeControl(kDomainScopeOid));
  if (s.attributeScopedQuery) add(MakeTextControl(kAsqOid, s.asqAttribute));

  // Header.
  const CRootDSE& root = *st.rootDse;
  if (!g_Quiet) {
    const int port = s.port >= 2 ? s.port : (s.port == 1 ? 3268 : 389);
    std::cout << "Using server: " << root.dnsHostName << ":" << port << "\n";
    if (!st.serverType.empty()) std::cout << "Directory: " << st.serverType << "\n";
    if (s.anySpecialBase) std::cout << "Base DN: " << s.base << "\n";
  }
  if (!s.csvLayout) std::cout << "\n";
  return true;
}
