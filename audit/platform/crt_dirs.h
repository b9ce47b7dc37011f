// The C runtime's date and directory services, on Linux folders.
//
// Paths keep their Windows form in the program ("d:\Junk\12-09-26\mine\") and
// are translated here: a leading drive letter names a folder under the drive
// root (AUDIT_DRIVE_ROOT, default /mnt, so drive D is /mnt/d) and every
// backslash is a folder separator.
#pragma once

#include <string>

namespace plat {

constexpr unsigned MAX_PATH = 260;

// A folder named by an environment variable, or the fallback when it is
// unset or empty; without trailing slashes.
std::string EnvFolder(const char* variable, const char* fallback);

// The drive root folder: AUDIT_DRIVE_ROOT, or /mnt.
std::string DriveRoot();

// Windows-form path to the Linux path it names.
std::string ToLinuxPath(const std::string& winPath);

// Linux path to its Windows form: a folder under the drive root becomes
// "x:\...", any other path keeps its names with backslashes as separators.
std::string ToWindowsPath(const std::string& linuxPath);

// Today's local date as "MM/DD/YY" written into buffer (at least 9 bytes).
char* _strdate(char* buffer);

// Bit mask of the drives present, bit 0 = drive A: a drive is present when
// its folder under the drive root exists.
unsigned long _getdrives();

// 0 when the file or folder exists (mode 0) or allows the access asked for
// (2 write, 4 read, 6 both); -1 with errno otherwise.
int _access(const std::string& path, int mode);

// 0 when the folder was made; -1 with errno otherwise.
int _mkdir(const std::string& path);

// Deletes a file; like the platform it refuses a read-only file (EACCES).
// 0 on success; -1 with errno otherwise.
int remove(const std::string& path);

// Renames a file, replacing an existing file in one step. Like remove it
// refuses to replace a read-only file or a folder (EACCES).
// 0 on success; -1 with errno otherwise.
int rename(const std::string& from, const std::string& to);

}  // namespace plat
