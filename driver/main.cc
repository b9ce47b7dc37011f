// Entry point of quelby.
#include "driver/quelby_main.h"

int main(int argc, char** argv, char** envp) {
  return ExitStatus(QuelbyMain(argc, argv, envp));
}
