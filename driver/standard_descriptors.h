// A standard descriptor (0, 1 or 2) closed when the process starts is the
// number the next file or socket it opens would get: the run's output would
// then go into that file or to the directory server. Each one found closed is
// given /dev/null opened read-only, so that its number stays taken: standard
// input reads as at end of file, and a write to standard output or error fails
// (EBADF), which the output check reports as any unwritable output.
#pragma once

// Fills the closed ones of descriptors 0, 1 and 2. To be called first, before
// anything can open a file or a socket.
void HoldClosedStandardDescriptors();
