// The main routine of quelby: one pass from the command line to the exit
// code.
#pragma once

// Runs the program; the result is the exit code before it is narrowed to
// the 8 bits the system keeps (see ExitStatus). Help and usage errors end
// the process directly with exit code 1.
int QuelbyMain(int argc, char** argv, char** envp);

// The process exit status for a result code: 0..255 as is, anything else
// 255, so that a failure never looks like success.
int ExitStatus(int resultCode);
