// quelby with every SID name looked up one by one (the batch searches off),
// for the test that compares its output with quelby's byte for byte.
#include "directory/sid_account_lookup.h"
#include "driver/quelby_main.h"

int main(int argc, char** argv, char** envp) {
  SetSidBatches(false);
  return ExitStatus(QuelbyMain(argc, argv, envp));
}
