#include "directory/sid_account_lookup.h"

#include <iostream>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "common/console_services.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "directory/connection.h"
#include "directory/filter_escape.h"
#include "directory/resolve_dn.h"
#include "platform/bytes_hash.h"
#include "platform/ldap_client.h"
#include "platform/sid.h"

namespace {

constexpr char kBuiltinSidPrefix[] = "S-1-5-32-";

// Only SIDs of domains ("S-1-5-21-...") are asked in batches and looked for
// in sIDHistory. The others (well-known, BUILTIN) may have several holders in
// partitions of their own (a well-known principal in the configuration
// partition and a foreign security principal for it in the domain), where
// "<SID=...>" fails; and a history holds only SIDs of other domains' accounts.
constexpr char kDomainSidPrefix[] = "S-1-5-21-";

ULONG g_lookupFailure = 0;
size_t g_searchesAlone = 0;  // SID searches of one SID each
std::map<std::string, std::string> g_netbiosNames;  // by domain DN, learnt in the run
// SIDs whose "<SID=...>" search ran into the referral hop limit: not asked
// again in the run, so that the loop is followed, and warned about, once.
std::unordered_set<std::string> g_loopingSids;

void NoteLoop(const std::string& sidText, ULONG rc) {
  if (rc == plat::LDAP_REFERRAL_LIMIT_EXCEEDED) g_loopingSids.insert(sidText);
}

// A search on ld that got no answer, or lost the server, ends the lookups
// of the run: the error line is printed once (not at all when the
// connection's silence was already reported).
void NoteFailure(plat::LDAP* ld, ULONG rc) {
  if (rc != plat::LDAP_TIMEOUT && rc != plat::LDAP_SERVER_DOWN) return;
  g_lookupFailure = rc;
  if (!FailureToReport(ld, rc)) return;
  std::cout.flush();
  PrintLdapError("LDAP_SEARCH_S", g_SidLookupServer, static_cast<int>(rc), nullptr);
}

// What a search learnt of a SID that exactly one object holds: that
// object's DN and account name ("" when it has none).
struct BatchAnswer {
  std::string dn;
  std::string account;
};

using AnswersBySidText = std::unordered_map<std::string, BatchAnswer, plat::BytesHash, std::equal_to<>>;

struct BatchAnswers {
  plat::LDAP* connection = nullptr;
  AnswersBySidText bySidText;  // held by one object, as its objectSid
  // The other SIDs of the batches that ended with success: the account that
  // alone holds the SID in its sIDHistory, an empty DN when none does.
  AnswersBySidText historyBySidText;
  // The SIDs met so far, by their bytes: each is asked once.
  std::unordered_set<std::string, plat::BytesHash, std::equal_to<>> asked;
  bool off = false;  // SetSidBatches(false)
};

BatchAnswers& Batches() {
  static BatchAnswers answers;
  return answers;
}

// The batch's answer for a SID on this connection, null when it has none.
const BatchAnswer* BatchAnswerFor(plat::LDAP* ld, const std::string& sidText) {
  const BatchAnswers& b = Batches();
  if (ld != b.connection) return nullptr;
  auto found = b.bySidText.find(sidText);
  return found != b.bySidText.end() ? &found->second : nullptr;
}

// First value of an attribute of the first entry of a base search, or "".
std::string ReadFirstValue(plat::LDAP* ld, const std::string& base, ULONG scope, const char* filter,
                           const char* attribute, std::string* entryDn = nullptr, ULONG* code = nullptr) {
  const char* attrs[] = {attribute, nullptr};
  plat::LDAPMessage* result = nullptr;
  std::string text;
  if (g_lookupFailure != 0) return text;
  ULONG rc = plat::ldap_search_s(ld, base.c_str(), scope, filter, attrs, 0, &result);
  if (code != nullptr) *code = rc;
  NoteFailure(ld, rc);
  if (rc == 0) {
    plat::LDAPMessage* entry = plat::ldap_first_entry(ld, result);
    if (entry != nullptr) {
      char** values = plat::ldap_get_values(ld, entry, attribute);
      if (values != nullptr) {
        if (values[0] != nullptr) text = values[0];
        plat::ldap_value_free(values);
      }
      if (entryDn != nullptr) {
        char* dn = plat::ldap_get_dn(ld, entry);
        if (dn != nullptr) {
          *entryDn = dn;
          plat::ldap_memfree(dn);
        }
      }
    }
  }
  if (result != nullptr) plat::ldap_msgfree(result);
  return text;
}

// The DN of the domain an object lives in: its DN from the first "DC=" RDN on.
std::string DomainDnOf(const std::string& dn) {
  std::string lower = StrToLower(dn);
  for (size_t at = 0; at < lower.size();) {
    if (lower.compare(at, 3, "dc=") == 0) return dn.substr(at);
    // Next RDN: after the next comma that is not escaped.
    size_t i = at;
    for (; i < lower.size(); ++i) {
      if (lower[i] == '\\') {
        ++i;
      } else if (lower[i] == ',') {
        break;
      }
    }
    if (i >= lower.size()) break;
    at = i + 1;
    while (at < lower.size() && lower[at] == ' ') ++at;
  }
  return std::string();
}

// Escapes the characters that have a meaning inside a filter value.
std::string FilterValue(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c == '*' || c == '(' || c == ')' || c == '\\' || c == 0) {
      out += '\\';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// NetBIOS name of a domain from its cross-reference in the configuration
// partition; remembered for the run.
std::string NetbiosNameOf(plat::LDAP* ld, const std::string& domainDn) {
  std::map<std::string, std::string>& known = g_netbiosNames;
  auto found = known.find(domainDn);
  if (found != known.end()) return found->second;
  std::string config = ReadFirstValue(ld, "", plat::LDAP_SCOPE_BASE, "(objectClass=*)",
                                      "configurationNamingContext");
  std::string netbios;
  if (!config.empty()) {
    std::string filter = "(&(objectClass=crossRef)(nCName=" + FilterValue(domainDn) + "))";
    netbios = ReadFirstValue(ld, "CN=Partitions," + config, plat::LDAP_SCOPE_ONELEVEL, filter.c_str(),
                             "nETBIOSName");
  }
  known[domainDn] = netbios;
  return netbios;
}

// Connections of our own by server name, released when the process ends.
struct OwnConnections {
  ~OwnConnections() {
    for (auto& [server, ld] : open) {
      if (ld != nullptr) plat::ldap_unbind(ld);
    }
  }
  std::map<std::string, plat::LDAP*> open;
};

// A connection of our own to a named server, opened once per server; null
// when it cannot be opened or bound (remembered too, so it is tried once).
plat::LDAP* ConnectionTo(const std::string& server) {
  static OwnConnections connections;
  std::map<std::string, plat::LDAP*>& open = connections.open;
  auto found = open.find(server);
  if (found != open.end()) return found->second;
  plat::LDAP* ld = plat::ldap_sslinit(server.c_str(), plat::LDAP_PORT, 0);
  if (ld != nullptr) {
    ULONG v3 = plat::LDAP_VERSION3;
    plat::ldap_set_option(ld, plat::LDAP_OPT_PROTOCOL_VERSION, &v3);
    plat::ldap_set_option(ld, plat::LDAP_OPT_REFERRALS, plat::LDAP_OPT_OFF);
    if (plat::ldap_bind_s(ld, nullptr, nullptr, plat::LDAP_AUTH_NEGOTIATE) != 0) {
      plat::ldap_unbind(ld);
      ld = nullptr;
    }
  }
  open[server] = ld;
  return ld;
}

// The account that alone holds the SID (sid, its text sidText) in its
// sIDHistory, with no object holding it as objectSid: from what a batch
// search on ld found of the SID, else from a search of its own.
bool HistoryHolder(plat::LDAP* ld, const void* sid, const std::string& sidText, BatchAnswer* holder);

int DirectoryLookup(const std::string& server, const void* sid, std::string* domain, std::string* name) {
  plat::LDAP* ld = g_LdapSession;
  if (ld == nullptr && !server.empty()) ld = ConnectionTo(server);
  if (ld == nullptr) return 0;
  return LookupSidInDirectory(ld, sid, domain, name);
}

}  // namespace

int LookupSidInDirectory(plat::LDAP* connection, const void* sid, std::string* domain, std::string* name) {
  if (connection == nullptr || sid == nullptr || !plat::IsValidSid(sid)) return 0;
  std::string sidText;
  if (!plat::ConvertSidToStringSidA(sid, &sidText)) return 0;
  std::string dn;
  std::string account;
  if (const BatchAnswer* answer = BatchAnswerFor(connection, sidText)) {
    if (g_lookupFailure != 0) return 0;
    dn = answer->dn;
    account = answer->account;
  } else {
    if (g_loopingSids.count(sidText) != 0) return 0;
    ++g_searchesAlone;
    ULONG rc = 0;
    account = ReadFirstValue(connection, "<SID=" + sidText + ">", plat::LDAP_SCOPE_BASE,
                             "(objectClass=*)", "sAMAccountName", &dn, &rc);
    NoteLoop(sidText, rc);
    // No object holds it as objectSid: like the system's account lookup, name
    // it after the account it was migrated to, when one alone holds it.
    BatchAnswer holder;
    if (rc == plat::LDAP_NO_SUCH_OBJECT && sidText.rfind(kDomainSidPrefix, 0) == 0 &&
        HistoryHolder(connection, sid, sidText, &holder)) {
      dn = std::move(holder.dn);
      account = std::move(holder.account);
    }
  }
  if (account.empty()) return 0;
  if (sidText.rfind(kBuiltinSidPrefix, 0) == 0) {
    // The built-in groups live in the domain's tree (CN=Builtin) but belong
    // to the built-in domain, not to the one they are stored in.
    *domain = "BUILTIN";
  } else {
    std::string domainDn = DomainDnOf(dn);
    *domain = domainDn.empty() ? std::string() : NetbiosNameOf(connection, domainDn);
  }
  *name = account;
  return 1;
}

bool LookupSidDnInDirectory(plat::LDAP* connection, const std::string& sidText, std::string* dn) {
  if (connection == nullptr || g_lookupFailure != 0) return false;
  if (const BatchAnswer* answer = BatchAnswerFor(connection, sidText)) {
    *dn = answer->dn;
    return true;
  }
  // A loop is noted under the SID's own "S-1-..." text, as the account lookup
  // notes it, whatever text named it here (a descriptor's alias such as "WR"):
  // the loop is followed, and warned about, once for each SID.
  std::vector<BYTE> sid;
  std::string loopKey;
  if (!plat::ConvertStringSidToSidA(sidText.c_str(), &sid) || !plat::ConvertSidToStringSidA(sid.data(), &loopKey)) {
    loopKey = sidText;
  }
  if (g_loopingSids.count(loopKey) != 0) return false;
  ++g_searchesAlone;
  const std::string base = "<SID=" + sidText + ">";
  ULONG rc = 0;
  std::string resolved = ResolveDN(connection, base, &rc);
  NoteFailure(connection, rc);
  NoteLoop(loopKey, rc);
  if (rc != 0 || resolved == base) return false;
  *dn = std::move(resolved);
  return true;
}

namespace {

// SIDs named by one batch search: a filter of this many terms stays far
// below the request and result sizes servers accept.
constexpr size_t kSidsPerSearch = 250;

// The search options control asking for every naming context the server
// holds under the base (phantom root), as a "<SID=...>" lookup searches them.
plat::LDAPControl* PhantomRootControl() {
  static char value[] = {0x30, 0x03, 0x02, 0x01, 0x02};  // SEQUENCE { INTEGER 2 }
  static char oid[] = "1.2.840.113556.1.4.1340";
  static plat::LDAPControl control = {oid, {sizeof value, value}, 1};
  return &control;
}

// One SID of a search and what the search's entries say of it.
struct BatchSid {
  std::string bytes;
  std::string text;
  int holders = 0;           // values of objectSid and sIDHistory equal to it
  bool asObjectSid = false;  // one of them the only objectSid of its entry
  bool inHistory = false;    // one of them in sIDHistory
  BatchAnswer answer;        // the entry of the last of them
};

// Whether the search named the account that holds the SID in its sIDHistory
// while no other value of objectSid or sIDHistory holds it.
bool HeldInOneHistoryOnly(const BatchSid& sid) {
  return sid.holders == 1 && sid.inHistory && !sid.answer.dn.empty();
}

// One search for the objects holding the SIDs of batch, as objectSid or in
// sIDHistory, at base over every naming context the server holds below it.
// True when it ended with success; then each SID says what it found.
bool SearchHolders(plat::LDAP* ld, const std::string& base, std::vector<BatchSid>* batch) {
  std::unordered_map<std::string_view, BatchSid*, plat::BytesHash> byBytes;
  std::string filter = "(|";
  for (BatchSid& sid : *batch) {
    byBytes.emplace(sid.bytes, &sid);
    const std::string value = SidToFilterValue(sid.bytes.data());
    filter.append("(objectSid=").append(value).append(")(sIDHistory=").append(value).append(")");
  }
  filter += ')';

  // Continuation references are not followed: like "<SID=...>", a batch
  // asks the naming contexts this server holds.
  ULONG chase = 0;
  plat::ldap_get_option(ld, plat::LDAP_OPT_REFERRALS, &chase);
  plat::ldap_set_option(ld, plat::LDAP_OPT_REFERRALS, plat::LDAP_OPT_OFF);
  const char* attrs[] = {"objectSid", "sIDHistory", "sAMAccountName", nullptr};
  plat::LDAPControl* controls[] = {PhantomRootControl(), nullptr};
  plat::LDAPMessage* result = nullptr;
  const ULONG rc = plat::ldap_search_ext_s(ld, base.c_str(), plat::LDAP_SCOPE_SUBTREE, filter.c_str(),
                                           attrs, 0, controls, nullptr, nullptr, 0, &result);
  plat::ldap_set_option(ld, plat::LDAP_OPT_REFERRALS, chase != 0 ? plat::LDAP_OPT_ON : plat::LDAP_OPT_OFF);
  NoteFailure(ld, rc);
  if (rc == plat::LDAP_SUCCESS) {
    for (plat::LDAPMessage* e = plat::ldap_first_entry(ld, result); e != nullptr;
         e = plat::ldap_next_entry(ld, e)) {
      for (int history = 0; history < 2; ++history) {
        plat::berval** values = plat::ldap_get_values_len(ld, e, attrs[history]);
        const bool sole =
            history == 0 && values != nullptr && values[0] != nullptr && values[1] == nullptr;
        for (plat::berval** v = values; v != nullptr && *v != nullptr; ++v) {
          auto held = byBytes.find(std::string_view((*v)->bv_val, (*v)->bv_len));
          if (held == byBytes.end()) continue;
          BatchSid& sid = *held->second;
          ++sid.holders;
          sid.asObjectSid = sid.asObjectSid || sole;
          sid.inHistory = sid.inHistory || history == 1;
          sid.answer = BatchAnswer();
          char* dn = plat::ldap_get_dn(ld, e);
          if (dn != nullptr) {
            sid.answer.dn = dn;
            plat::ldap_memfree(dn);
          }
          char** names = plat::ldap_get_values(ld, e, "sAMAccountName");
          if (names != nullptr && names[0] != nullptr) sid.answer.account = names[0];
          plat::ldap_value_free(names);
        }
        plat::ldap_value_free_len(values);
      }
    }
  }
  if (result != nullptr) plat::ldap_msgfree(result);
  return rc == plat::LDAP_SUCCESS;
}

// One batch search; false when it got no answer (the failure is noted). Its
// entries answer only for the SIDs it asked, and only when it ended with
// success: a SID answers when exactly one value of objectSid or sIDHistory
// holds it, and that value is the sole objectSid of its entry. The other
// SIDs are left to the lookups one by one, which need no search of their
// own for the sIDHistory then: the batch answers that too.
bool SearchBatch(plat::LDAP* ld, const std::string& base, std::vector<BatchSid>* batch, size_t* found) {
  if (SearchHolders(ld, base, batch)) {
    BatchAnswers& answers = Batches();
    for (BatchSid& sid : *batch) {
      if (sid.holders == 1 && sid.asObjectSid && !sid.answer.dn.empty()) {
        answers.bySidText.emplace(std::move(sid.text), std::move(sid.answer));
        ++*found;
      } else {
        const bool held = HeldInOneHistoryOnly(sid);
        answers.historyBySidText.emplace(std::move(sid.text), held ? std::move(sid.answer) : BatchAnswer());
      }
    }
  }
  return g_lookupFailure == 0;
}

bool HistoryHolder(plat::LDAP* ld, const void* sid, const std::string& sidText, BatchAnswer* holder) {
  const BatchAnswers& b = Batches();
  if (ld == b.connection) {
    auto found = b.historyBySidText.find(sidText);
    if (found != b.historyBySidText.end()) {
      if (found->second.dn.empty()) return false;
      *holder = found->second;
      return true;
    }
  }
  std::vector<BatchSid> one(1);
  one[0].bytes.assign(static_cast<const char*>(sid), plat::GetLengthSid(sid));
  one[0].text = sidText;
  if (!SearchHolders(ld, "", &one) || !HeldInOneHistoryOnly(one[0])) return false;
  *holder = std::move(one[0].answer);
  return true;
}

}  // namespace

size_t PrefetchSidAccounts(plat::LDAP* connection, const std::string& base,
                           const std::vector<std::string_view>& sids) {
  BatchAnswers& answers = Batches();
  if (connection != answers.connection) {
    const bool off = answers.off;
    answers = BatchAnswers();
    answers.connection = connection;
    answers.off = off;
  }
  size_t found = 0;
  if (connection == nullptr || answers.off) return found;
  std::vector<BatchSid> batch;
  for (const std::string_view sid : sids) {
    if (g_lookupFailure != 0) return found;
    if (answers.asked.find(sid) != answers.asked.end()) continue;
    answers.asked.emplace(sid);
    BatchSid asked;
    if (!plat::ConvertSidToStringSidA(sid.data(), sid.size(), &asked.text) ||
        asked.text.rfind(kDomainSidPrefix, 0) != 0 || g_SidNameCache.count(asked.text) != 0) {
      continue;
    }
    asked.bytes = sid.substr(0, plat::GetLengthSid(sid.data()));
    batch.push_back(std::move(asked));
    if (batch.size() == kSidsPerSearch) {
      if (!SearchBatch(connection, base, &batch, &found)) return found;
      batch.clear();
    }
  }
  if (!batch.empty()) SearchBatch(connection, base, &batch, &found);
  return found;
}

void SetSidBatches(bool on) { Batches().off = !on; }

size_t SidSearchesAlone() { return g_searchesAlone; }

unsigned long DirectoryLookupFailure() { return g_lookupFailure; }

void ResetSidLookups() {
  Batches() = BatchAnswers();
  g_netbiosNames.clear();
  g_loopingSids.clear();
  g_lookupFailure = 0;
}

void InstallDirectorySidLookup() { SetSidAccountLookup(&DirectoryLookup); }
