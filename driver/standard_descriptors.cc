#include "driver/standard_descriptors.h"

#include <cerrno>

#include <fcntl.h>

void HoldClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // A new descriptor gets the lowest free number: fd, as those below it
    // are open by now.
    (void)open("/dev/null", O_RDONLY);
  }
}
