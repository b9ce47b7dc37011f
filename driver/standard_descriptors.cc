#include "driver/standard_descriptors.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

void HoldClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // A new descriptor gets the lowest free number: fd, as those below it
    // are open by now. Without /dev/null (a bare chroot), the read end of a
    // pipe whose write end is closed does as well.
    if (open("/dev/null", O_RDONLY) == fd) continue;
    int ends[2];
    if (pipe(ends) == 0) close(ends[1]);
  }
}
