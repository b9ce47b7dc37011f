#include "driver/switch_definitions.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TEST(SwitchDefinitionsTest, FlagsThenValueSwitches) {
  Lines defs = BuildSwitchDefinitions();
  ASSERT_EQ(defs.size(), kSwitchDefinitionCount);
  for (size_t i = 0; i < defs.size(); ++i) {
    EXPECT_EQ(defs[i][0] == ':', i < 93) << defs[i];
  }
  EXPECT_EQ(defs.front(), ":q");
  EXPECT_EQ(defs[92], ":sdsizenl");
  EXPECT_EQ(defs[93], "h");
  EXPECT_EQ(defs.back(), "fullrootdse");
}

// The whole vocabulary, in definition order: flags (":") first, then the
// switches that take a value.
TEST(SwitchDefinitionsTest, EveryNameAndKindInOrder) {
  const Lines expected = {
    ":q", ":d", ":help", ":?", ":??", ":????", ":sc?", ":meta?", ":gc", ":gcb",
    ":bit", ":dsq", ":c", ":dn", ":nodn", ":elapsed", ":elapsedms", ":selapsed",
    ":selapsedms", ":tdc", ":tdcs", ":tdcgt", ":tdcgts", ":tdca", ":tdcas",
    ":rawsddl", ":sddc", ":sddl", ":sddc+", ":sddl+", ":showdel", ":udp",
    ":stats", ":stats+", ":statsonly", ":stats+only", ":extname", ":exterr",
    ":simple", ":dloid", ":nr", ":schema", ":null", ":root", ":default",
    ":domain", ":config", ":binenc", ":samdc", ":kerbenc", ":nolabel", ":noctl",
    ":utc", ":nocsvheader", ":po", ":owner", ":ownercsv", ":owneronly", ":sdna",
    ":pr", ":prnr", ":nrss", ":list", ":soao", ":ssl", ":flagdc", ":schdc",
    ":sl", ":rootdse", ":sitenamedc", ":rootdsedc", ":resolvesids",
    ":resolvesidsldap", ":alldc", ":sidbinout", ":guidbinout", ":sddc++",
    ":sddl++", ":noowner", ":nogroup", ":nodacl", ":nosacl", ":recmute",
    ":csvnoq", ":mvfiltercs", ":scexchnosys", ":onlydacl", ":onlysacl",
    ":qlist", ":onlydaclflag", ":onlysaclflag", ":onlyaclflags", ":sdsizenl",
    "h", "b", "rb", "f", "s", "t", "u", "up", "ps", "p", "sort", "rsort",
    "excl", "maxe", "excldn", "excldndelim", "incldn", "incldndelim", "ff",
    "csvdelim", "csvmvdelim", "oao", "csv", "adcsv", "csvq", "e", "ef", "sc",
    "af", "replacedn", "replacedndelim", "mvfilter", "mvnotfilter",
    "mvfilterdelim", "asq", "decutc", "declocal", "encutc", "enclocal",
    "sddlfilter", "sddlnotfilter", "decsddlacl", "sdsize", "metasort",
    "fullrootdse",
  };
  EXPECT_EQ(BuildSwitchDefinitions(), expected);
}

}  // namespace
