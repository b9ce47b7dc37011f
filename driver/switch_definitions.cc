// The 138 switch definitions, in the order the switch store receives them.
#include "driver/switch_definitions.h"

std::vector<std::string> BuildSwitchDefinitions() {
  return {
      // Flags: no value.
      ":q", ":d", ":help", ":?", ":??", ":????", ":sc?", ":meta?", ":gc",
      ":gcb", ":bit", ":dsq", ":c", ":dn", ":nodn", ":elapsed", ":elapsedms",
      ":selapsed", ":selapsedms", ":tdc", ":tdcs", ":tdcgt", ":tdcgts", ":tdca",
      ":tdcas", ":rawsddl", ":sddc", ":sddl", ":sddc+", ":sddl+", ":showdel",
      ":udp", ":stats", ":stats+", ":statsonly", ":stats+only", ":extname",
      ":exterr", ":simple", ":dloid", ":nr", ":schema", ":null", ":root",
      ":default", ":domain", ":config", ":binenc", ":samdc", ":kerbenc",
      ":nolabel", ":noctl", ":utc", ":nocsvheader", ":po", ":owner",
      ":ownercsv", ":owneronly", ":sdna", ":pr", ":prnr", ":nrss", ":list",
      ":soao", ":ssl", ":flagdc", ":schdc", ":sl", ":rootdse", ":sitenamedc",
      ":rootdsedc", ":resolvesids", ":resolvesidsldap", ":alldc", ":sidbinout",
      ":guidbinout", ":sddc++", ":sddl++", ":noowner", ":nogroup", ":nodacl",
      ":nosacl", ":recmute", ":csvnoq", ":mvfiltercs", ":scexchnosys",
      ":onlydacl", ":onlysacl", ":qlist", ":onlydaclflag", ":onlysaclflag",
      ":onlyaclflags", ":sdsizenl",
      // Switches that take the next word as their value.
      "h", "b", "rb", "f", "s", "t", "u", "up", "ps", "p", "sort", "rsort",
      "excl", "maxe", "excldn", "excldndelim", "incldn", "incldndelim", "ff",
      "csvdelim", "csvmvdelim", "oao", "csv", "adcsv", "csvq", "e", "ef", "sc",
      "af", "replacedn", "replacedndelim", "mvfilter", "mvnotfilter",
      "mvfilterdelim", "asq", "decutc", "declocal", "encutc", "enclocal",
      "sddlfilter", "sddlnotfilter", "decsddlacl", "sdsize", "metasort",
      "fullrootdse",
  };
}
