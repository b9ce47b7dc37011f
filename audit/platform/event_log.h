// The platform's event-log functions over log files.
//
// The three logs are files in the log folder (AUDIT_LOG_DIR, default
// /var/log): System = syslog, Application = user.log, Security = auth.log.
// Only a regular file is a log; anything else (a FIFO, a device, a folder)
// is refused without being waited on.
//
// A backup is a complete copy of the log, written with mode 0600 under a
// temporary name that no other file can have (created exclusively) and put
// in place only once it is complete; it never replaces an existing file
// (ERROR_ALREADY_EXISTS).
//
// Clearing never drops a record: the log is swapped in one step for a fresh
// empty file with the same owner, mode and extended attributes (access
// control list, security labels), so writers that open the log by name write
// into the fresh one. The old file stays under the name
// "<log>.cleared-XXXXXX" beside it while it is open anywhere; everything it
// holds goes into the backup. When no process has it open any more it is
// removed; while a writer keeps it open, it stays, and that writer's records
// go on landing in it (see audit/README.md), with a note
// "<log>.backedup-XXXXXX" of how much of it the backup holds. When the backup
// cannot take every record, the old file takes the log's name back: the log
// is not cleared and the backup holds whole records only.
//
// A later backup of the log first takes the records of such leftovers that
// no backup holds yet (all of one without a note), once no process has them
// open, and removes them when it is in place. It also removes the temporary
// copies (".evtbackup.XXXXXX") that runs ended midway left in its folder.
// Failures set the last-error value to a Windows error code.
#pragma once

#include <string>
#include <vector>

#include "audit/platform/win_defs.h"

namespace plat {

struct EventLog;
using HANDLE = EventLog*;

// The log folder: AUDIT_LOG_DIR, or /var/log.
std::string EventLogFolder();

// The file under the log folder that holds the named log ("" for none).
std::string EventLogFile(const std::string& logName);

// Opens the named log of the local computer (server NULL or empty).
// NULL on failure, with the last error set; a log that is not a regular file
// gives ERROR_EVENTLOG_FILE_CORRUPT.
HANDLE OpenEventLogA(const char* server, const char* logName);

// Writes a complete copy of the log into backupFile (Windows-form path).
// Nonzero on success; 0 with the last error set (183 when the file exists).
BOOL BackupEventLogA(HANDLE log, const char* backupFile);

// Writes a complete copy of the log into a new file beside backupFile, under
// a name made for it and created exclusively, and gives that name
// (Windows form) in *tempFile; the caller moves it into place. It becomes the
// backup that a later ClearEventLogA completes. Nonzero on success; 0 with
// the last error set.
BOOL BackupEventLogBesideA(HANDLE log, const char* backupFile, std::string* tempFile);

// Empties the log. With backupFile NULL the log must have been backed up
// completely through this handle; every record the old file holds goes into
// that backup. A log whose file was replaced since it was opened (rotated) is
// not cleared (ERROR_EVENTLOG_FILE_CHANGED). With a backup file name the log
// is first backed up there. Afterwards the handle reads the fresh log.
// Nonzero on success; 0 with the last error set.
BOOL ClearEventLogA(HANDLE log, const char* backupFile);

// Tells the handle that the copy BackupEventLogBesideA made is now in place
// as the backup: the leftovers whose records it took are removed.
void KeepEventLogBackup(HANDLE log);

// The leftovers of clears beside the log ("<log>.cleared-XXXXXX", Windows
// form): records that a writer put there after a clear may be in them only.
std::vector<std::string> EventLogLeftoversA(HANDLE log);

// Releases the handle.
BOOL CloseEventLog(HANDLE log);

}  // namespace plat
