// Composing, splitting and testing file names: every program joins directories and
// names, finds files and picks temporary names through these functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrinth {

// Names are strings with '/' as the only separator; paths read from stored files may
// hold '\', which the functions that touch the file system convert (NativePath). There
// are no drives and no length limit. Files that must exist are found without regard to
// the case of their last component.

// Splits at the last '/' that follows one optional leading '/'. The directory is
// everything before that '/', except that a path whose only '/' stands first keeps it
// ("/a.txt" gives "/" and "a.txt"); without '/' it is empty. The name is the rest
// (empty for an empty path or a trailing '/': "dir/sub/" gives "dir/sub" and "").
// Either output may be null. Returns the directory when asked for, else the name.
std::string SplitPath(std::string_view path, std::string* directory, std::string* name);

// Makes a non-empty directory end with '/'; an empty string stays empty. (The name is
// kept from the programs' interface.) Returns the directory.
std::string& AppendBackslash(std::string& directory);

// The directory (after AppendBackslash) followed by the name; an empty directory
// gives the name alone.
std::string MakePath(std::string_view directory, std::string_view name);

// The path of a program: MakePath, then the extension of the last component removed,
// since executables here carry none ("bin", "selvar.exe" gives "bin/selvar").
std::string MakeExePath(std::string_view directory, std::string_view name);

// Removes the extension of the last component (from its last '.') and appends the new
// one, given with its dot. The new extension is upper-cased when the whole given name,
// directory included, holds an upper-case letter and no lower-case one.
std::string ReplaceExtension(std::string_view name, std::string_view extension);

// The extension is the last component's, from its last '.' on, or empty; the stem is
// the whole name without it. Either output may be null. Returns the stem when asked
// for, else the extension.
std::string SplitExtension(std::string_view name, std::string* stem, std::string* extension);

// Turns the stored separator into the native one: every '\' becomes '/'. Returns 1 when
// any was replaced, else 0. (The name is kept from the programs' interface.)
int ForwardToBackslash(std::string& path);

// Enumeration of the names matching a pattern whose last component may hold '*' and
// '?' (matched without regard to case; a trailing ".*" also matches names without an
// extension, so "*.*" lists everything). Files and directories are listed in name
// order, never "." and "..". A full path is MakePath of the pattern's directory and
// the found name. One enumeration at a time for the whole process; not thread-safe.
// FindFirst ends any enumeration still open; 0 with the first match, -1 when none.
int FindFirst(std::string_view pattern, std::string* full_path);
// 0 with the next match; -1 when no enumeration is open or it is exhausted (it is
// then ended).
int FindNext(std::string* full_path);
// Ends the open enumeration, if any; returns 0.
int FindEnd();

// 1 when anything matches the name or pattern (a directory counts), 0 for an empty
// name or no match. Leaves an enumeration of FindFirst/FindNext undisturbed.
int FileExists(std::string_view name);

// 1 when the path (one trailing '/' ignored) names a directory, else 0.
int DirExists(std::string_view path);

// Looks for the name in the current directory, then in each directory of the
// ';'-separated list in order (empty entries skipped; a null list is the default, empty
// one). Returns the absolute, lexically normalised path of the first hit, or nothing.
std::optional<std::string> SearchFileInPath(const char* search_list, std::string_view name);

// The README that is the programs' help: beside the programs (build/bin/, and
// <prefix>/lib/kavrinth/ when installed), else in <prefix>/share/doc/kavrinth/, where the
// package links it. Nothing when neither names a file.
std::optional<std::string> FindReadme(std::string_view program_directory);

// The application's working directory (empty at start); this library only reads it.
void SetWorkingDirectory(std::string_view directory);
const std::string& GetWorkingDirectory();

// Creates a new empty file (mode 0644 before the umask) named "!%07ld.TMP" from a
// process-wide counter, in the working directory or, when none is stored, the current
// directory, and returns its path. A name taken by anyone (another caller, another
// process) is skipped, so no two calls ever return the same name. Returns an empty
// string when no file could be created (directory missing or not writable, or every
// number taken): callers treat empty as failure.
std::string MakeTempFileName();

// Moves a file, replacing an existing target. 0 without a message when the old file
// does not exist. Across file systems the data is copied to a temporary beside the
// target and renamed over it, so the target is never half written, and the old file is
// then deleted. 1 on success; on failure shows the system's error text in a stop-icon
// message captioned with the new name and returns 0.
int MoveFileSafe(std::string_view old_name, std::string_view new_name);

// FileExists of the path.
int PathStringExists(const std::string& path);
// Replaces the path by MakePath of the directory and the name; a null directory keeps
// the path's own directory, a null name its own file name.
void SetPathString(std::string& path, const char* directory, const char* name);

// Lists the plain files (not directories) that match a pattern, in name order.
class CWildcardFileList {
 public:
  // Forgets the previous list. A pattern without '*' or '?' gives the name itself
  // (with '\' turned into '/') when FileExists finds it; otherwise the matching plain
  // files of the pattern's directory. 0 with the first full path, or -1 when nothing
  // matches.
  int First(std::string_view pattern, std::string* full_path);
  // 0 with the next full path; -1 before First or after the last entry.
  int Next(std::string* full_path);

 private:
  std::vector<std::string> paths_;
  size_t next_ = 0;
};

// CWildcardFileList::First and Next on one process-wide list.
int DirMatchFirst(std::string_view pattern, std::string* full_path);
int DirMatchNext(std::string* full_path);

}  // namespace kavrinth
