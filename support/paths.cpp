// File names: splitting, joining, extensions, wildcard enumeration, search lists,
// temporary names and moving files.
#include "support/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "platform/files.h"
#include "support/notifier.h"

namespace kavrinth {
namespace {

// ---- names ------------------------------------------------------------------

// Index of the extension's dot in the last component, or the size when it has none.
size_t ExtensionStart(std::string_view name) {
  size_t slash = name.rfind('/');
  size_t component = slash == std::string_view::npos ? 0 : slash + 1;
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot < component ? name.size() : dot;
}

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
char ToUpper(char c) { return IsLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }
char ToLower(char c) { return IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

// A name written in capitals only gets its new extension in capitals too.
bool AllCapitals(std::string_view name) {
  return std::any_of(name.begin(), name.end(), IsUpper) &&
         std::none_of(name.begin(), name.end(), IsLower);
}

bool HasWildcard(std::string_view pattern) {
  return pattern.find_first_of("*?") != std::string_view::npos;
}

// '*' matches any run of characters, '?' exactly one; letters match without regard
// to case.
bool GlobMatch(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || ToLower(pattern[p]) == ToLower(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// The programs were written for a platform where "name.*" also finds "name" and
// "*.*" finds every file; callers rely on that.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (GlobMatch(pattern, name)) return true;
  return pattern.ends_with(".*") && name.find('.') == std::string_view::npos &&
         GlobMatch(pattern, std::string(name) + ".");
}

// Name order as the programs' sorted lists show it: letters without regard to case,
// then bytes, so that the order never depends on how the directory stores entries.
bool NameLess(const std::string& a, const std::string& b) {
  auto lower_less = [](char x, char y) {
    return static_cast<unsigned char>(ToLower(x)) < static_cast<unsigned char>(ToLower(y));
  };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), lower_less)) {
    return true;
  }
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), lower_less)) {
    return false;
  }
  return a < b;
}

// ---- directory scans ---------------------------------------------------------

enum class EntryKind { kAny, kPlainFile };

bool IsPlainFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Full paths of the entries of a native directory whose names match the pattern,
// in name order.
std::vector<std::string> ScanDirectory(const std::string& directory, std::string_view pattern,
                                       EntryKind kind) {
  std::vector<std::string> names;
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !WildcardMatch(pattern, name)) continue;
    std::string path = MakePath(directory, name);
    if (kind == EntryKind::kPlainFile && !IsPlainFile(path)) continue;
    names.push_back(std::move(path));
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), NameLess);
  return names;
}

// Full paths of everything a pattern names: the wildcard matches of its last
// component, or the one existing entry a name without wildcards stands for.
std::vector<std::string> MatchPattern(std::string_view pattern, EntryKind kind) {
  std::string native = NativePath(pattern);
  std::string directory, name;
  SplitPath(native, &directory, &name);
  if (name.empty()) return {};
  if (HasWildcard(name)) return ScanDirectory(directory, name, kind);

  std::string resolved = ResolveExistingPath(native);
  struct stat st;
  if (lstat(resolved.c_str(), &st) != 0) return {};
  std::string found_name;
  SplitPath(resolved, nullptr, &found_name);
  std::string path = MakePath(directory, found_name);
  if (kind == EntryKind::kPlainFile && !IsPlainFile(path)) return {};
  return {path};
}

// The process-wide enumeration of FindFirst/FindNext.
struct Enumeration {
  bool open = false;
  std::vector<std::string> paths;
  size_t next = 0;
};

Enumeration& FindState() {
  static Enumeration state;
  return state;
}

std::string& WorkingDirectoryStorage() {
  static std::string directory;
  return directory;
}

// ---- files ---------------------------------------------------------------------

// Owns a file descriptor; Release hands back the close result so writers can check it.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Close() {
    int result = close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// Creates the file only when no entry of that name exists: 0, or the errno value.
int CreateExclusive(const std::string& path) {
  FileDescriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!file.valid()) return errno;
  return file.Close() == 0 ? 0 : errno;
}

// Copies every byte of one descriptor to another: 0, or the errno value.
int CopyData(int from, int to) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t got = read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return errno;
      done += put;
    }
  }
}

// Writes a copy of the source into a fresh temporary beside the target and renames it
// over the target, so that a failure leaves the target as it was: 0, or the errno value.
int CopyOver(const std::string& source, const std::string& target) {
  FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (!in.valid() || fstat(in.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EXDEV;  // only plain files can be copied

  std::string directory;
  SplitPath(target, &directory, nullptr);
  std::string temporary = MakePath(directory, "!moveXXXXXX");
  FileDescriptor out(mkostemp(temporary.data(), O_CLOEXEC));
  if (!out.valid()) return errno;
  int error = CopyData(in.get(), out.get());
  if (error == 0 && fchmod(out.get(), st.st_mode & 07777) != 0) error = errno;
  if (error == 0 && fsync(out.get()) != 0) error = errno;
  if (out.Close() != 0 && error == 0) error = errno;
  if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) unlink(temporary.c_str());
  return error;
}

// The counter runs modulo this value; names run from !0000000.TMP upwards.
constexpr int32_t kTempCounterLimit = 0xFFFFFFF;

std::string TempName(int32_t value) {
  std::string digits = std::to_string(value);
  if (digits.size() < 7) digits.insert(0, 7 - digits.size(), '0');
  return "!" + digits + ".TMP";
}

int32_t& TempCounter() {
  static int32_t counter = 0;
  return counter;
}

std::optional<std::string> CurrentDirectory() {
  std::error_code error;
  std::filesystem::path current = std::filesystem::current_path(error);
  if (error) return std::nullopt;
  return current.string();
}

}  // namespace

std::string SplitPath(std::string_view path, std::string* directory, std::string* name) {
  size_t root = !path.empty() && path[0] == '/' ? 1 : 0;
  size_t slash = path.rfind('/');
  std::string dir, rest;
  if (slash == std::string_view::npos || slash < root) {
    dir = path.substr(0, root);
    rest = path.substr(root);
  } else {
    dir = path.substr(0, slash);
    rest = path.substr(slash + 1);
  }
  if (directory) *directory = dir;
  if (name) *name = rest;
  return directory ? dir : rest;
}

std::string& AppendBackslash(std::string& directory) {
  if (!directory.empty() && directory.back() != '/') directory += '/';
  return directory;
}

std::string MakePath(std::string_view directory, std::string_view name) {
  std::string path(directory);
  AppendBackslash(path);
  path += name;
  return path;
}

std::string MakeExePath(std::string_view directory, std::string_view name) {
  return ReplaceExtension(MakePath(directory, name), "");
}

std::string ReplaceExtension(std::string_view name, std::string_view extension) {
  std::string result(name.substr(0, ExtensionStart(name)));
  size_t start = result.size();
  result += extension;
  if (AllCapitals(name))
    std::transform(result.begin() + start, result.end(), result.begin() + start, ToUpper);
  return result;
}

std::string SplitExtension(std::string_view name, std::string* stem, std::string* extension) {
  size_t dot = ExtensionStart(name);
  std::string head(name.substr(0, dot));
  std::string tail(name.substr(dot));
  if (stem) *stem = head;
  if (extension) *extension = tail;
  return stem ? head : tail;
}

int ForwardToBackslash(std::string& path) {
  bool any = path.find('\\') != std::string::npos;
  std::replace(path.begin(), path.end(), '\\', '/');
  return any ? 1 : 0;
}

int FindFirst(std::string_view pattern, std::string* full_path) {
  Enumeration& state = FindState();
  state = Enumeration{};
  state.paths = MatchPattern(pattern, EntryKind::kAny);
  if (state.paths.empty()) return -1;
  state.open = true;
  return FindNext(full_path);
}

int FindNext(std::string* full_path) {
  Enumeration& state = FindState();
  if (!state.open) return -1;
  if (state.next >= state.paths.size()) {
    FindEnd();
    return -1;
  }
  if (full_path) *full_path = state.paths[state.next];
  ++state.next;
  return 0;
}

int FindEnd() {
  FindState() = Enumeration{};
  return 0;
}

int FileExists(std::string_view name) {
  if (name.empty()) return 0;
  return MatchPattern(name, EntryKind::kAny).empty() ? 0 : 1;
}

int DirExists(std::string_view path) {
  std::string native = NativePath(path);
  if (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return 0;
  struct stat st;
  std::string resolved = ResolveExistingPath(native);
  return stat(resolved.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

std::optional<std::string> FindReadme(std::string_view program_directory) {
  for (const char* relative : {"README.md", "../../share/doc/kavrinth/README.md"}) {
    std::string path = MakePath(program_directory, relative);
    if (FileExists(path) && !DirExists(path)) return path;
  }
  return std::nullopt;
}

std::optional<std::string> SearchFileInPath(const char* search_list, std::string_view name) {
  auto try_directory = [name](std::string_view directory) -> std::optional<std::string> {
    std::error_code error;
    std::filesystem::path absolute =
        std::filesystem::absolute(NativePath(MakePath(directory, name)), error);
    if (error) return std::nullopt;
    std::string qualified = absolute.lexically_normal().string();
    if (!FileExists(qualified)) return std::nullopt;
    return qualified;
  };
  if (auto found = try_directory(".")) return found;
  std::string_view list = search_list ? search_list : "";
  while (!list.empty()) {
    size_t end = std::min(list.find(';'), list.size());
    std::string_view directory = list.substr(0, end);
    list.remove_prefix(std::min(end + 1, list.size()));
    if (directory.empty()) continue;
    if (auto found = try_directory(directory)) return found;
  }
  return std::nullopt;
}

void SetWorkingDirectory(std::string_view directory) { WorkingDirectoryStorage() = directory; }

const std::string& GetWorkingDirectory() { return WorkingDirectoryStorage(); }

std::string MakeTempFileName() {
  std::string directory = GetWorkingDirectory();
  if (directory.empty()) {
    std::optional<std::string> current = CurrentDirectory();
    if (!current) return {};
    directory = *current;
  }
  int32_t& counter = TempCounter();
  const int32_t start = counter;
  for (int32_t value = counter;;) {
    std::string path = MakePath(directory, TempName(value));
    value = (value + 1) % kTempCounterLimit;
    counter = value;
    int error = CreateExclusive(NativePath(path));
    if (error == 0) return path;
    if (error != EEXIST || value == start) break;
  }
  return {};
}

int MoveFileSafe(std::string_view old_name, std::string_view new_name) {
  std::string source = ResolveExistingPath(old_name);
  struct stat st;
  if (source.empty() || lstat(source.c_str(), &st) != 0) return 0;
  std::string target = NativePath(new_name);
  if (rename(source.c_str(), target.c_str()) == 0) return 1;
  int error = errno;
  if (error == EXDEV) {
    error = CopyOver(source, target);
    // The data is safe at the target; an old file that cannot be deleted stays.
    if (error == 0) unlink(source.c_str());
  }
  if (error == 0) return 1;
  ShowMessage(std::strerror(error), std::string(new_name), MessageIcon::kStop);
  return 0;
}

int PathStringExists(const std::string& path) { return FileExists(path); }

void SetPathString(std::string& path, const char* directory, const char* name) {
  std::string own_directory, own_name;
  SplitPath(path, &own_directory, &own_name);
  path = MakePath(directory ? std::string_view(directory) : std::string_view(own_directory),
                  name ? std::string_view(name) : std::string_view(own_name));
}

int CWildcardFileList::First(std::string_view pattern, std::string* full_path) {
  paths_.clear();
  next_ = 0;
  std::string path(pattern);
  ForwardToBackslash(path);
  if (full_path) *full_path = path;
  if (!HasWildcard(path)) {
    if (!FileExists(path)) return -1;
    paths_.push_back(path);
  } else {
    paths_ = MatchPattern(path, EntryKind::kPlainFile);
  }
  return Next(full_path);
}

int CWildcardFileList::Next(std::string* full_path) {
  if (next_ >= paths_.size()) return -1;
  if (full_path) *full_path = paths_[next_];
  ++next_;
  return 0;
}

namespace {
CWildcardFileList& DirMatchList() {
  static CWildcardFileList list;
  return list;
}
}  // namespace

int DirMatchFirst(std::string_view pattern, std::string* full_path) {
  return DirMatchList().First(pattern, full_path);
}

int DirMatchNext(std::string* full_path) { return DirMatchList().Next(full_path); }

}  // namespace kavrinth
