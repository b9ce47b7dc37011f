// The main routine of quelby: one pass from the command line to the exit
// code.
#pragma once

class CCmdLine;

// Runs the program; the result is the exit code before it is narrowed to
// the 8 bits the system keeps (see ExitStatus), kUnwritableOutputCode when
// standard output could not be written (driver/output_check.h). Help and
// usage errors end the process directly with exit code 1. A standard
// descriptor closed at start is held first (driver/standard_descriptors.h).
int QuelbyMain(int argc, char** argv, char** envp);

// A password typed on the command line would stay readable by every local
// user (the process list, /proc/<pid>/cmdline) for the whole run: once the
// switch store holds it, every byte of each -up value word in the process's
// own argument area is overwritten with zeros. The store keeps the value.
void HideSecretArguments(const CCmdLine& cmdLine, char** argv);

// The process exit status for a result code: 0..255 as is, anything else
// 255, so that a failure never looks like success.
int ExitStatus(int resultCode);
