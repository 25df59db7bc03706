// The settings store on an INI file in the user's configuration directory.
#include "support/app_profile.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace kavrinth {
namespace {

constexpr std::string_view kVendorDirectory = "Kavrinth";

std::string HomeDirectory() {
  const char* home = getenv("HOME");
  if (home && *home) return home;
  const passwd* entry = getpwuid(getuid());
  return entry && entry->pw_dir ? entry->pw_dir : "";
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Makes every missing directory of the path; settings are private, so new ones are 0700.
bool MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string SettingsDirectory() {
  const char* config = getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && config[0] == '/') {
    base = WithoutTrailingSlashes(config);
  } else {
    std::string home = HomeDirectory();
    if (home.empty()) return {};
    base = WithoutTrailingSlashes(home) + "/.config";
  }
  return base + "/" + std::string(kVendorDirectory);
}

bool CAppProfile::Open(std::string_view program) {
  Close();
  size_t cut = program.find_first_of("\\/");
  std::string_view file = program.substr(0, cut);
  std::string_view section = cut == std::string_view::npos ? program : program.substr(cut + 1);
  std::string directory = SettingsDirectory();
  if (file.empty() || section.empty() || directory.empty()) return false;
  directory_ = std::move(directory);
  path_ = directory_ + "/" + std::string(file) + ".ini";
  section_ = section;
  return true;
}

void CAppProfile::Close() {
  directory_.clear();
  path_.clear();
  section_.clear();
}

int CAppProfile::GetString(const char* name, std::string* out, size_t size) const {
  if (!IsOpen() || !name || !out) return 0;
  IniFile file;
  if (!file.Load(path_)) return 0;
  std::optional<std::string> value = file.Get(section_, name);
  if (!value) return 0;
  *out = size == 0 ? std::string() : value->substr(0, size - 1);
  return 1;
}

int CAppProfile::GetInt(const char* name, int32_t* out) const {
  if (!IsOpen() || !name || !out) return 0;
  IniFile file;
  if (!file.Load(path_)) return 0;
  std::optional<std::string> text = file.Get(section_, name);
  std::optional<int32_t> value = text ? ParseProfileInt(*text) : std::nullopt;
  if (!value) return 0;
  *out = *value;
  return 1;
}

int CAppProfile::WriteString(const char* name, const char* text) {
  Batch batch(*this);
  if (!batch.WriteString(name, text)) return 0;
  return batch.Commit();
}

int CAppProfile::WriteInt(const char* name, int32_t value) {
  return WriteString(name, std::to_string(value).c_str());
}

bool CAppProfile::MakeDirectory() const { return MakeDirectories(directory_); }

CAppProfile::Batch::Batch(const CAppProfile& profile) : profile_(profile) {
  usable_ = profile_.IsOpen() && file_.Load(profile_.path_);
}

int CAppProfile::Batch::WriteString(const char* name, const char* text) {
  if (!usable_ || !name) return 0;
  if (!text) {
    file_.RemoveKey(profile_.section_, name);
    return 1;
  }
  return file_.Set(profile_.section_, name, text) ? 1 : 0;
}

int CAppProfile::Batch::WriteInt(const char* name, int32_t value) {
  return WriteString(name, std::to_string(value).c_str());
}

int CAppProfile::Batch::Commit() {
  if (!usable_) return 0;
  if (!file_.changed()) return 1;
  return profile_.MakeDirectory() && file_.Save() ? 1 : 0;
}

}  // namespace kavrinth
