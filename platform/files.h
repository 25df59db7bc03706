// File-system boundary: stored paths may use '\' and "NUL"; existing files are
// found without regard to the case of their last component, as the programs
// were written for a case-insensitive file system.
#pragma once

#include <string>
#include <string_view>

namespace kavrinth {

// The null device as the programs name it, and as this system knows it.
inline constexpr std::string_view kNullDeviceName = "NUL";
inline constexpr std::string_view kNullDevicePath = "/dev/null";

// A path as the file system takes it: every '\' becomes '/', and the name "NUL"
// (any case) becomes the null device.
std::string NativePath(std::string_view path);

// The path to open for a file that must already exist: the native path when it
// names an entry; otherwise the entry of its directory whose name matches the
// last component without regard to case (the first in name order when several
// do); otherwise the native path unchanged, so the open fails as it should.
// Directory parts are never re-cased.
std::string ResolveExistingPath(std::string_view path);

// True when both paths name one existing file (same device and inode), so that an output
// about to be written would replace an input. Each path is taken as the file system takes
// it (NativePath), without the case-insensitive retry: callers pass a resolved name for a
// file they opened through ResolveExistingPath.
bool SameExistingFile(std::string_view first, std::string_view second);

}  // namespace kavrinth
