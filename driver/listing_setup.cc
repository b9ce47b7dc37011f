#include "driver/listing_setup.h"

#include <iostream>

#include "common/cmdline.h"
#include "driver/entry_output.h"
#include "driver/help.h"

void SetUpSortCsvAndListing(CCmdLine& cmdLine, QuerySettings& settings) {
  // In list mode an empty sort key means the first requested attribute.
  if (settings.listLayout && !cmdLine.args.empty()) {
    for (const char* sw : {"sort", "rsort"}) {
      if (cmdLine.HasSwitch(sw) && cmdLine.GetValue(sw).empty()) {
        cmdLine.SetValue(sw, cmdLine.args.front());
      }
    }
  }

  if (settings.csvLayout) {
    settings.csvEmptyText = cmdLine.GetValue("csv");
    if (cmdLine.args.empty()) cmdLine.AddPositional("name");
    if (cmdLine.HasSwitch("csvdelim")) {
      settings.csvDelim = cmdLine.GetValueUnescaped("csvdelim");
    }
    if (cmdLine.HasSwitch("csvmvdelim")) {
      settings.csvMvDelim = cmdLine.GetValueUnescaped("csvmvdelim");
    }
    if (cmdLine.HasSwitch("csvq")) settings.csvQuote = cmdLine.GetValue("csvq");
    if (cmdLine.HasSwitch("csvnoq")) settings.csvQuote.clear();

    if (!cmdLine.HasSwitch("nodn")) settings.columns.push_back("dn");
    if (settings.owner) settings.columns.push_back("_OBJECT_OWNER");
    for (const std::string& attr : cmdLine.args) {
      if (attr == "*") {
        std::cout << "\nERROR: Can not use * for attribute with -csv.\n\n";
        PrintUsageHint();
      }
      settings.columns.push_back(attr);
    }
    if (!cmdLine.HasSwitch("nocsvheader")) {
      std::string header;
      for (size_t i = 0; i < settings.columns.size(); ++i) {
        if (i != 0) header += settings.csvDelim;
        AppendCsvField(settings.columns[i], settings.csvQuote, &header);
      }
      std::cout << header << "\n";
    }
  }

  if (cmdLine.HasSwitch("po")) {
    std::cout << "Selected Switches\n";
    for (const auto& [name, value] : cmdLine.switchValues) {
      std::cout << "    -" << name << " " << value << "\n";
    }
    std::cout << "\nSelected Attributes\n";
    for (const std::string& attr : cmdLine.args) {
      std::cout << "    " << attr << "\n";
    }
    std::cout << "\n\n";
  }
  std::cout.flush();
}
