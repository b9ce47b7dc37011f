// For tests of the directory phases: a run with its own switch store,
// settings and stopwatch set, and a RootDSE record that a test fills in by
// hand instead of reading one.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/zqtimer.h"
#include "directory/root_dse.h"
#include "driver/search_phases.h"

struct TestQueryRun {
  QuerySettings settings;
  CZQTimer timers{""};
  std::unique_ptr<CCmdLine> cmdLine;
  std::unique_ptr<QueryRun> run;

  // A new run (the settings stay) whose positional words are attributes.
  QueryRun& Start(const std::vector<std::string>& attributes = {}) {
    std::vector<std::string> words{"quelby"};
    words.insert(words.end(), attributes.begin(), attributes.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    cmdLine = std::make_unique<CCmdLine>(static_cast<int>(words.size()), argv.data(),
                                         std::vector<std::string>{}, false);
    run.reset(new QueryRun{*cmdLine, settings, &timers});
    return *run;
  }

  // Gives the run an empty RootDSE record: the read of a null connection
  // fails, and what it prints is swallowed.
  CRootDSE& HandMadeRootDse() {
    const bool debug = g_Debug;
    g_Debug = false;
    testing::internal::CaptureStderr();
    run->search.rootDse = std::make_unique<CRootDSE>(nullptr);
    testing::internal::GetCapturedStderr();
    g_Debug = debug;
    return *run->search.rootDse;
  }
};
