// INI files read and edited line by line, saved through a synced temporary and a rename.
#include "platform/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>

#include "platform/files.h"

namespace kavrinth {
namespace {

// A stray CR is trimmed with the blanks: it is what is left of a CR LF whose LF is missing.
constexpr std::string_view kBlanks = " \t\r";
constexpr uint64_t kUnsignedMax = 4294967295u;
constexpr uint64_t kNegativeMax = 2147483648u;

std::string_view Trim(std::string_view text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

bool HoldsLineBreakOrZero(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The text stored for a value: within quotes when reading would otherwise trim it or take
// off its own enclosing quotes.
std::string StoredText(std::string_view value) {
  const bool trimmed = !value.empty() && (kBlanks.find(value.front()) != std::string_view::npos ||
                                          kBlanks.find(value.back()) != std::string_view::npos);
  if (!trimmed && Unquote(value).size() == value.size()) return std::string(value);
  return "\"" + std::string(value) + "\"";
}

bool IsValidName(std::string_view name) { return !name.empty() && !HoldsLineBreakOrZero(name); }

bool IsValidKey(std::string_view key) {
  return IsValidName(key) && key.find('=') == std::string_view::npos && key.front() != ';' &&
         key.front() != '[';
}

// Closes the descriptor when it goes out of scope, unless it was closed (and checked).
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadWholeFile(const std::string& path, std::string* bytes) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
  }
  // Only regular files: a directory or a device is not a settings file, and a device
  // such as /dev/zero would never end.
  struct stat st;
  if (fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::kFailed;
  bytes->clear();
  bytes->reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    ssize_t got = ::read(file.get(), chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ReadResult::kFailed;
    if (got == 0) return ReadResult::kRead;
    bytes->append(chunk, static_cast<size_t>(got));
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a save must replace: the target of a symbolic link, so the link survives.
std::string SaveTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;  // a dangling link: the rename replaces it
  std::string target(real);
  free(real);
  return target;
}

// Creates a temporary beside the target; its name is returned through temp_path.
int CreateTemporary(const std::string& target, mode_t mode, std::string* temp_path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp_path = target + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
    int fd = ::open(temp_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void SyncDirectory(const std::string& directory) {
  FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
}

}  // namespace

std::optional<int32_t> ParseProfileInt(std::string_view text) {
  if (text.empty()) return std::nullopt;
  size_t at = 0;
  bool negative = text[0] == '-';
  if (text[0] == '-' || text[0] == '+') at = 1;
  uint64_t magnitude = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[at] - '0');
    if (magnitude > kUnsignedMax) return std::nullopt;
  }
  if (negative) {
    if (magnitude > kNegativeMax) return std::nullopt;
    return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  }
  return static_cast<int32_t>(static_cast<uint32_t>(magnitude));
}

IniFile::Line IniFile::ParseLine(std::string text, std::string ending) {
  Line line;
  line.text = std::move(text);
  line.ending = std::move(ending);
  std::string_view body = Trim(line.text);
  if (body.empty() || body.front() == ';') return line;
  if (body.front() == '[') {
    // The name runs to the last ']' so that names holding ']' read back as written.
    size_t close = body.rfind(']');
    if (close == std::string_view::npos) return line;
    line.kind = LineKind::kSection;
    line.name = Trim(body.substr(1, close - 1));
    return line;
  }
  size_t equals = body.find('=');
  if (equals == std::string_view::npos) return line;
  std::string_view key = Trim(body.substr(0, equals));
  if (key.empty()) return line;
  line.kind = LineKind::kKey;
  line.name = key;
  line.value = Trim(body.substr(equals + 1));
  return line;
}

bool IniFile::Load(const std::string& path) {
  path_ = ResolveExistingPath(path);
  lines_.clear();
  line_end_ = "\r\n";
  changed_ = false;
  std::string bytes;
  ReadResult read = ReadWholeFile(path_, &bytes);
  readable_ = read != ReadResult::kFailed;
  if (read != ReadResult::kRead) return readable_;

  bool first_end = true;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t newline = bytes.find('\n', start);
    if (newline == std::string::npos) {
      lines_.push_back(ParseLine(bytes.substr(start), ""));
      break;
    }
    size_t text_end = newline > start && bytes[newline - 1] == '\r' ? newline - 1 : newline;
    std::string ending = bytes.substr(text_end, newline + 1 - text_end);
    if (first_end) line_end_ = ending;
    first_end = false;
    lines_.push_back(ParseLine(bytes.substr(start, text_end - start), std::move(ending)));
    start = newline + 1;
  }
  return true;
}

std::optional<IniFile::Range> IniFile::FindSection(std::string_view section) const {
  section = Trim(section);
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != LineKind::kSection || !EqualNoCase(lines_[i].name, section)) continue;
    size_t end = i + 1;
    while (end < lines_.size() && lines_[end].kind != LineKind::kSection) ++end;
    return Range{i, end};
  }
  return std::nullopt;
}

std::optional<size_t> IniFile::FindKey(const Range& range, std::string_view key) const {
  key = Trim(key);
  for (size_t i = range.header + 1; i < range.end; ++i) {
    if (lines_[i].kind == LineKind::kKey && EqualNoCase(lines_[i].name, key)) return i;
  }
  return std::nullopt;
}

namespace {

// The value Get gives for a stored value text.
std::string ReadValue(std::string_view value) {
  value = Trim(value.substr(0, value.find('\0')));
  return std::string(Unquote(value));
}

std::string LowerKey(std::string_view key) {
  std::string lower(key);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

}  // namespace

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  std::optional<Range> range = FindSection(section);
  if (!range) return std::nullopt;
  std::optional<size_t> at = FindKey(*range, key);
  if (!at) return std::nullopt;
  return ReadValue(lines_[*at].value);
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view default_value, size_t size) const {
  if (size == 0) return {};
  std::optional<std::string> value = Get(section, key);
  std::string result = value ? std::move(*value) : std::string(default_value);
  if (result.size() > size - 1) result.resize(size - 1);
  return result;
}

int32_t IniFile::GetInt(std::string_view section, std::string_view key,
                        int32_t default_value) const {
  std::optional<std::string> value = Get(section, key);
  if (!value) return default_value;
  return ParseProfileInt(*value).value_or(default_value);
}

void IniFile::InsertLine(size_t index, std::string text) {
  Line line = ParseLine(std::move(text), line_end_);
  // A file whose last line has no end keeps it that way: the old last line gets one and
  // the new last line goes without.
  if (index == lines_.size() && !lines_.empty() && lines_.back().ending.empty()) {
    lines_.back().ending = line_end_;
    line.ending.clear();
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
  changed_ = true;
}

bool IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (!IsValidName(section) || !IsValidKey(key) || HoldsLineBreakOrZero(value)) return false;
  const std::string stored = StoredText(value);
  std::string line = std::string(key) + "=" + stored;

  std::optional<Range> range = FindSection(section);
  if (!range) {
    InsertLine(lines_.size(), "[" + std::string(section) + "]");
    InsertLine(lines_.size(), std::move(line));
    return true;
  }
  if (std::optional<size_t> at = FindKey(*range, key)) {
    Line& old = lines_[*at];
    if (old.value == stored) return true;  // unchanged: keep the line as it is spelt
    old = ParseLine(old.name + "=" + stored, std::move(old.ending));
    changed_ = true;
    return true;
  }
  size_t insert_at = range->header + 1;
  for (size_t i = range->end; i > range->header + 1; --i) {
    if (!Trim(lines_[i - 1].text).empty()) {
      insert_at = i;
      break;
    }
  }
  InsertLine(insert_at, std::move(line));
  return true;
}

bool IniFile::SetValues(std::string_view section,
                        const std::vector<std::pair<std::string, std::string>>& values) {
  section = Trim(section);
  if (!IsValidName(section)) return false;
  std::optional<Range> range = FindSection(section);
  if (!range) {
    // Set makes the section only for a value it takes.
    const bool any_valid = std::any_of(values.begin(), values.end(), [](const auto& value) {
      return IsValidKey(Trim(value.first)) && !HoldsLineBreakOrZero(value.second);
    });
    if (!any_valid) return values.empty();
    InsertLine(lines_.size(), "[" + std::string(section) + "]");
    range = Range{lines_.size() - 1, lines_.size()};
  }
  // The first line of each key, and where Set puts a new one: after the last non-blank
  // line of the section.
  std::unordered_map<std::string, size_t> first_line;
  size_t insert_at = range->header + 1;
  for (size_t i = range->header + 1; i < range->end; ++i) {
    if (lines_[i].kind == LineKind::kKey) first_line.try_emplace(LowerKey(lines_[i].name), i);
    if (!Trim(lines_[i].text).empty()) insert_at = i + 1;
  }
  bool all_set = true;
  std::vector<Line> added;
  std::unordered_map<std::string, size_t> added_line;
  for (const auto& [raw_key, value] : values) {
    const std::string_view key = Trim(raw_key);
    if (!IsValidKey(key) || HoldsLineBreakOrZero(value)) {
      all_set = false;
      continue;
    }
    const std::string stored = StoredText(value);
    const std::string lower = LowerKey(key);
    Line* old = nullptr;
    if (auto at = first_line.find(lower); at != first_line.end()) {
      old = &lines_[at->second];
    } else if (auto at_added = added_line.find(lower); at_added != added_line.end()) {
      old = &added[at_added->second];
    }
    if (old != nullptr) {
      if (old->value == stored) continue;
      *old = ParseLine(old->name + "=" + stored, std::move(old->ending));
      changed_ = true;
      continue;
    }
    added_line.emplace(lower, added.size());
    added.push_back(ParseLine(std::string(key) + "=" + stored, line_end_));
  }
  if (added.empty()) return all_set;
  // A file whose last line has no end keeps it that way, as InsertLine does.
  if (insert_at == lines_.size() && !lines_.empty() && lines_.back().ending.empty()) {
    lines_.back().ending = line_end_;
    added.back().ending.clear();
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at),
                std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
  changed_ = true;
  return all_set;
}

bool IniFile::RemoveKey(std::string_view section, std::string_view key) {
  std::optional<Range> range = FindSection(section);
  if (!range) return false;
  bool removed = false;
  while (std::optional<size_t> at = FindKey(*range, key)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
    --range->end;
    removed = true;
  }
  changed_ = changed_ || removed;
  return removed;
}

bool IniFile::RemoveSection(std::string_view section) {
  // Every occurrence goes: leaving a later one would bring the section back.
  bool removed = false;
  while (std::optional<Range> range = FindSection(section)) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
    removed = true;
  }
  changed_ = changed_ || removed;
  return removed;
}

std::vector<std::string> IniFile::Sections() const {
  std::vector<std::string> names;
  for (const Line& line : lines_) {
    if (line.kind != LineKind::kSection) continue;
    auto same = [&](const std::string& name) { return EqualNoCase(name, line.name); };
    if (std::none_of(names.begin(), names.end(), same)) names.push_back(line.name);
  }
  return names;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
  std::vector<std::string> names;
  std::optional<Range> range = FindSection(section);
  if (!range) return names;
  for (size_t i = range->header + 1; i < range->end; ++i) {
    if (lines_[i].kind != LineKind::kKey) continue;
    auto same = [&](const std::string& name) { return EqualNoCase(name, lines_[i].name); };
    if (std::none_of(names.begin(), names.end(), same)) names.push_back(lines_[i].name);
  }
  return names;
}

std::vector<std::pair<std::string, std::string>> IniFile::Values(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> values;
  std::optional<Range> range = FindSection(section);
  if (!range) return values;
  std::unordered_set<std::string> seen;
  for (size_t i = range->header + 1; i < range->end; ++i) {
    if (lines_[i].kind != LineKind::kKey || !seen.insert(LowerKey(lines_[i].name)).second) {
      continue;
    }
    values.emplace_back(lines_[i].name, ReadValue(lines_[i].value));
  }
  return values;
}

bool IniFile::Save() {
  if (!changed_) return true;
  if (!readable_ || path_.empty() || !WriteTo(SaveTarget(path_))) return false;
  changed_ = false;
  return true;
}

bool IniFile::WriteTo(const std::string& target) const {
  std::string bytes;
  for (const Line& line : lines_) bytes.append(line.text).append(line.ending);

  struct stat st;
  bool exists = stat(target.c_str(), &st) == 0;
  // A file the user may not write stays as it is, although the rename could replace it.
  if (exists && access(target.c_str(), W_OK) != 0) return false;
  std::string temp_path;
  // A new file takes the usual 0666 less the umask; a replaced one its old bits.
  FileDescriptor file(CreateTemporary(target, exists ? 0600 : 0666, &temp_path));
  if (file.get() < 0) return false;
  bool written = WriteAll(file.get(), bytes) &&
                 (!exists || fchmod(file.get(), st.st_mode & 07777) == 0) && fsync(file.get()) == 0;
  written = file.Close() && written;
  if (!written || rename(temp_path.c_str(), target.c_str()) != 0) {
    unlink(temp_path.c_str());
    return false;
  }
  SyncDirectory(DirectoryOf(target));
  return true;
}

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view default_value, size_t size) {
  IniFile file;
  file.Load(path);  // an unreadable file reads as empty, so the default is returned
  return file.GetString(section, key, default_value, size);
}

int32_t ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                       int32_t default_value) {
  IniFile file;
  file.Load(path);
  return file.GetInt(section, key, default_value);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        const char* value) {
  IniFile file;
  // Never save over a file that could not be read: its contents would be lost.
  if (!file.Load(path)) return false;
  if (value) {
    if (!file.Set(section, key, value)) return false;
  } else {
    file.RemoveKey(section, key);
  }
  return file.Save();
}

}  // namespace kavrinth
