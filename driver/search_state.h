// What the directory phases of a run hold between them: the main connection,
// the RootDSE, the DN replacement switch, the search's request (scope,
// attributes, server controls, sort key), the object count and the search
// stopwatch. Owned by the run; released at the latest when the run ends.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/zqtimer.h"
#include "directory/root_dse.h"
#include "platform/ldap_client.h"

struct SearchState {
  SearchState() = default;
  SearchState(const SearchState&) = delete;
  SearchState& operator=(const SearchState&) = delete;
  ~SearchState();

  // Connection and RootDSE.
  plat::LDAP* connection = nullptr;
  std::unique_ptr<CRootDSE> rootDse;
  std::string serverType;
  bool isLdapInteg = false;
  bool isAD = false;
  bool isADV51 = false;
  bool isADV61 = false;
  bool isADAM = false;

  // DN replacement is applied only when the -replacedn value gave an item.
  bool replaceDnOn = false;

  // The request of the paged search.
  int searchScope = 2;
  std::vector<std::string> attributeNames;     // the names requested, in order
  std::vector<const char*> searchAttributes;   // pointers into attributeNames, then null
  bool attributesOnly = false;
  std::map<std::string, int> requestedAttributeSet;  // lower-cased names asked for
  std::array<plat::LDAPControl*, 10> serverControls{};
  plat::LDAPSortKey sortKey{};
  std::string sortAttribute;
  std::array<plat::LDAPSortKey*, 2> sortKeyList{};

  // The paged search.
  uint32_t objectCount = 0;
  std::unique_ptr<CZQTimer> searchTimer;  // "T1"

  // Frees the control records and the attribute copies of the request.
  void ReleaseRequest();
};
