#include "driver/output_modes.h"

#include <iostream>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "driver/help.h"

void ReadOutputModes(CCmdLine& cmdLine, QuerySettings& settings) {
  if (cmdLine.HasSwitch("q")) g_Quiet = true;
  if (cmdLine.HasSwitch("d")) g_Debug = true;
  if (cmdLine.HasSwitch("nolabel")) settings.noLabel = true;
  if (cmdLine.HasSwitch("c")) settings.countOnly = true;
  if (cmdLine.HasSwitch("owner")) settings.owner = true;
  if (cmdLine.HasSwitch("recmute")) settings.muteEmptyRecords = true;
  if (cmdLine.HasSwitch("dsq")) {
    settings.quotedDn = true;
    settings.dnOnly = true;
    settings.countOnly = false;
    g_Quiet = true;
  }
  if (cmdLine.HasSwitch("list") || cmdLine.HasSwitch("qlist")) {
    settings.listLayout = true;
    settings.noLabel = true;
    settings.noDnLine = true;
    g_Quiet = true;
    if (cmdLine.HasSwitch("qlist")) settings.quotedList = true;
  }
  if (cmdLine.HasSwitch("csv")) {
    settings.noDnLine = true;
    settings.csvLayout = true;
    settings.noLabel = false;
    g_Quiet = true;
    g_CsvOutput = true;
    if (cmdLine.HasSwitch("dn")) {
      std::cout << "\nERROR: Can not use -dn with -csv.\n\n";
      PrintUsageHint();
    }
    if (cmdLine.HasSwitch("oao") || cmdLine.HasSwitch("soao")) {
      std::cout << "\nERROR: Can not use -oao or -soao with -csv.\n\n";
      PrintUsageHint();
    }
  }
}

void PrintVersionBanner() {
  if (g_Quiet) return;
  std::cerr << "\nQuelby " << kQuelbyVersion << " " << kQuelbyDate << "\n\n";
  std::cerr.flush();
}

void ValidateSwitches(CCmdLine& cmdLine,
                      const std::vector<std::string>& definitions) {
  if (cmdLine.Validate(definitions) < 1) return;
  if (cmdLine.missingCount != 0) {
    std::cerr << "ERROR: Missing Command Line Arg(s)\n";
    for (const std::string& name : cmdLine.missingSwitches) {
      std::cerr << "ERROR:  " << name << "\n";
    }
  }
  if (cmdLine.badCount != 0) {
    std::cerr << "ERROR: Bad Command Line Arg(s)\n";
    for (const std::string& name : cmdLine.badSwitches) {
      std::cerr << "ERROR:  " << name << "\n";
    }
  }
  std::cerr << "\n\n";
  std::cerr.flush();
  PrintUsageHint();
}
