// File operations of the shell's job files: whole-file reads, writes that never leave a
// half file in place of the old one, moves that replace a target only once the source
// exists, and exact path comparison.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kavrinth {

// The whole file (found without regard to the case of its last component), or nothing.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes the bytes to a temporary beside the path, syncs it and renames it over the path.
// 0, or -1 with *error naming the file and the system's reason (and, when asked, the
// system's error number in *cause); the old file is then left as it was.
int WriteFileReplacing(const std::string& path, std::string_view bytes, std::string* error,
                       int* cause = nullptr);

// Moves source to target, replacing an existing target only after the source has arrived
// (rename, or across file systems a copy through a temporary beside the target). 0, or -1
// with *error (and *cause, as above); a missing source is an error and leaves the target
// alone.
int MoveFileReplacing(const std::string& source, const std::string& target, std::string* error,
                      int* cause = nullptr);

// Copies source over target through a temporary; 0 or -1 with *error (and *cause).
int CopyFileReplacing(const std::string& source, const std::string& target, std::string* error,
                      int* cause = nullptr);

// True when both paths name the same file: compared exactly after making them canonical
// (symbolic links, "." and ".." resolved; a missing file's directory resolved). Never
// without regard to case.
bool SamePath(const std::string& first, const std::string& second);

// The file's size, or -1 when it does not exist.
int64_t FileSize(const std::string& path);

// The file's size (-1 when it does not exist) and the time of its last change in
// nanoseconds, which together tell whether it is still the file it was.
struct FileStamp {
  int64_t size = -1;
  int64_t time = 0;
};
FileStamp StampOf(const std::string& path);

// Removes the file when it exists; true when it is gone afterwards.
bool RemoveFile(const std::string& path);

}  // namespace kavrinth
