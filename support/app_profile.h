// The settings store of one interactive program: named string and integer values kept in
// one section of $XDG_CONFIG_HOME/Kavrinth/<program>.ini (default ~/.config).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ini.h"

namespace kavrinth {

// The directory of the settings files: $XDG_CONFIG_HOME/Kavrinth when that is an absolute
// path, else $HOME/.config/Kavrinth (the password entry's home when HOME is unset);
// empty when there is no home at all.
std::string SettingsDirectory();

// Results are the store's integers: 1 success, 0 failure, a missing value, or no store open.
class CAppProfile {
 public:
  class Batch;

  CAppProfile() = default;
  CAppProfile(const CAppProfile&) = delete;
  CAppProfile& operator=(const CAppProfile&) = delete;

  // Opens the store of a program. The name is cut at its first '\' or '/': the part
  // before names the file "<part>.ini", the part after is the section (the whole name
  // when there is no separator). False, with no store open, for a name with an empty
  // part or when there is no settings directory. Nothing is created until a write.
  bool Open(std::string_view program);
  void Close();
  bool IsOpen() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  const std::string& section() const { return section_; }

  // 1 with the value, at most size-1 characters, in *out (a stored empty value gives
  // ""); 0 when it is missing, and *out is left as it was.
  int GetString(const char* name, std::string* out, size_t size) const;
  // 1 with the value in *out; 0 when it is missing, empty or not a 32-bit number. Both
  // signed text and the unsigned text older stores hold ("4294967295" for -1) are read.
  int GetInt(const char* name, int32_t* out) const;

  // Each write is one load-modify-save of the file, whose directory is made when
  // missing. A null text removes the value.
  int WriteString(const char* name, const char* text);
  // Writes the value as signed decimal text.
  int WriteInt(const char* name, int32_t value);

 private:
  bool MakeDirectory() const;

  std::string directory_;
  std::string path_;
  std::string section_;
};

// Several values of one store written in one load-modify-save: collect them, then Commit.
// Nothing is saved without Commit.
class CAppProfile::Batch {
 public:
  explicit Batch(const CAppProfile& profile);
  int WriteString(const char* name, const char* text);
  int WriteInt(const char* name, int32_t value);
  // Saves every value accepted: 1 on success, 0 on failure (also when the store was not
  // open or its file could not be read).
  int Commit();

 private:
  const CAppProfile& profile_;
  IniFile file_;
  bool usable_ = false;
};

}  // namespace kavrinth
