// Every filter the shortcut table can produce, with and without an argument
// and an -af value, must be one the LDAP library's filter parser accepts
// once the driver has finished it (default filter, outer parentheses).
#include <gtest/gtest.h>
#include <lber.h>

#include <string>
#include <vector>

#include "platform/ldap_filter.h"
#include "shortcuts/expand_shortcuts.h"
#include "shortcuts/shortcut_table.h"
#include "shortcuts/shortcut_test_store.h"

// libldap's own filter encoder, the one ldap_search_ext runs on the filter.
extern "C" int ldap_pvt_put_filter(BerElement* ber, const char* str);

namespace {

using shortcut_test::Store;

// The filter as the search sends it: the driver's default for an empty
// filter or one that starts with "*", its outer parentheses, and the
// client's removal of redundant ones.
std::string SearchFilter(std::string f) {
  if (f.empty() || f[0] == '*') f = "objectclass=*";
  return std::string(plat::detail::StripRedundantParens("(" + f + ")"));
}

bool LibraryAccepts(const std::string& filter) {
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  if (ber == nullptr) return false;
  const int rc = ldap_pvt_put_filter(ber, filter.c_str());
  ber_free(ber, 1);
  return rc == 0;
}

bool EncoderAccepts(const std::string& filter) {
  std::string ber;
  return plat::detail::EncodeFilter(filter, &ber);
}

TEST(ShortcutFilters, TheParsersTellMalformedFilters) {
  for (const char* bad :
       {"(!systemflags=1610612736)", "(&(cn=x)((!(a=1))b=2))", "(&(cn=x)(a=1)", "(cn=x))"}) {
    EXPECT_FALSE(LibraryAccepts(SearchFilter(bad))) << bad;
    EXPECT_FALSE(EncoderAccepts(SearchFilter(bad))) << bad;
  }
  EXPECT_TRUE(LibraryAccepts(SearchFilter("&(linkid=*)(!(linkid:1.2.840.113556.1.4.803:=1))")));
}

TEST(ShortcutFilters, EveryProducedFilterIsWellFormed) {
  const std::vector<std::string> arguments = {
      "", "csv", "CSV", "x", "fwd", "rev", "attrib", "class", "groups", "users", "contacts",
      "decode", "all", "domain", "pdc", "rid", "im", "forest", "schema", "dnm", "jsmith",
      "Public Information", "S-1-5-21-1004-2002-3003-500",
      "bf967aba-0de6-11d0-a285-00aa003049e2", "OU=QTest,DC=quelby,DC=test", "contoso.com"};
  const std::vector<std::vector<std::string>> extras = {
      {}, {"af=objectclass=user"}, {"af=(objectclass=user)"}, {"af=(mail=*)(cn=a*)"},
      {"af"}, {"scexchnosys"}, {"scexchnosys", "af=mail=*"}, {"scexchnosys", "af=(mail=*)"}};
  int checked = 0;
  for (const ShortcutEntry& entry : ShortcutTable()) {
    for (const std::string& arg : arguments) {
      for (const std::vector<std::string>& extra : extras) {
        std::vector<std::string> before = extra;
        before.push_back("sc=" + std::string(entry.name) + (arg.empty() ? "" : ":" + arg));
        CCmdLine store = Store(before);
        ExpandShortcuts(&store);
        ASSERT_FALSE(store.HasSwitch("????")) << entry.name;
        const std::string filter = SearchFilter(store.GetValue("f"));
        EXPECT_TRUE(LibraryAccepts(filter)) << before.back() << " -> " << filter;
        EXPECT_TRUE(EncoderAccepts(filter)) << before.back() << " -> " << filter;
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 90 * 26 * 8);
}

}  // namespace
