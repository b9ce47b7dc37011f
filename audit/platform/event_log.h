// The platform's event-log functions over log files.
//
// The three logs are files in the log folder (AUDIT_LOG_DIR, default
// /var/log): System = syslog, Application = user.log, Security = auth.log.
// A backup is a complete copy of the log, written with mode 0600 under a
// temporary name and put in place only once it is complete; it never
// replaces an existing file (ERROR_ALREADY_EXISTS). A log is cleared only
// after a complete backup through the same handle, and the records written
// to the log since that backup are added to the backup before the log is
// emptied. Failures set the last-error value to a Windows error code.
#pragma once

#include <string>

#include "audit/platform/win_defs.h"

namespace plat {

struct EventLog;
using HANDLE = EventLog*;

// The log folder: AUDIT_LOG_DIR, or /var/log.
std::string EventLogFolder();

// The file under the log folder that holds the named log ("" for none).
std::string EventLogFile(const std::string& logName);

// Opens the named log of the local computer (server NULL or empty).
// NULL on failure, with the last error set.
HANDLE OpenEventLogA(const char* server, const char* logName);

// Writes a complete copy of the log into backupFile (Windows-form path).
// Nonzero on success; 0 with the last error set (183 when the file exists).
BOOL BackupEventLogA(HANDLE log, const char* backupFile);

// Empties the log. With backupFile NULL the log must have been backed up
// completely through this handle; records written since are added to that
// backup first. A log whose file was replaced since it was opened (rotated)
// is not cleared (ERROR_EVENTLOG_FILE_CHANGED). With a backup file name the log is first backed up there.
// Nonzero on success; 0 with the last error set.
BOOL ClearEventLogA(HANDLE log, const char* backupFile);

// Releases the handle.
BOOL CloseEventLog(HANDLE log);

}  // namespace plat
