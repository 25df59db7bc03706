// Native paths and the case-insensitive lookup of existing files.
#include "platform/files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace kavrinth {

std::string NativePath(std::string_view path) {
  if (path.size() == kNullDeviceName.size() &&
      strncasecmp(path.data(), kNullDeviceName.data(), path.size()) == 0) {
    return std::string(kNullDevicePath);
  }
  std::string native(path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

std::string ResolveExistingPath(std::string_view path) {
  std::string native = NativePath(path);
  struct stat st;
  if (native.empty() || lstat(native.c_str(), &st) == 0) return native;

  size_t slash = native.rfind('/');
  std::string directory = slash == std::string::npos ? "." : native.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return native;

  DIR* dir = opendir(directory.c_str());
  if (!dir) return native;
  std::vector<std::string> matches;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) matches.emplace_back(entry->d_name);
  }
  closedir(dir);
  if (matches.empty()) return native;
  std::sort(matches.begin(), matches.end());
  return slash == std::string::npos ? matches.front()
                                    : native.substr(0, slash + 1) + matches.front();
}

bool SameExistingFile(std::string_view first, std::string_view second) {
  struct stat a, b;
  return stat(NativePath(first).c_str(), &a) == 0 && stat(NativePath(second).c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace kavrinth
