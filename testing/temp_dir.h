// A scratch directory for tests: made fresh under /tmp, holding the test's small files,
// removed with everything in it when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// Not kavrinth::testing: tests inside namespace kavrinth write gtest's `testing::` unqualified.
namespace kavrinth::test_support {

// The whole content of a file as bytes; empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes the bytes as the whole file, making missing parent directories first.
inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::error_code ignored;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

// A directory /tmp/kavrinth_<name>_XXXXXX (or under another base), removed recursively at
// the end of its scope, also when a test left parts of it without write permission.
class TempDir {
 public:
  explicit TempDir(std::string_view name = "test", const std::string& base = "/tmp") {
    std::string pattern = base + "/kavrinth_" + std::string(name) + "_XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    if (path_.empty()) return;
    MakeRemovable();
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // False when the directory could not be made; path() is then empty.
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

  // Writes the file `name` in the directory and returns its path.
  std::string Write(std::string_view name, std::string_view bytes) const {
    WriteBytes(File(name), bytes);
    return File(name);
  }
  std::string Write(std::string_view name, const std::vector<uint8_t>& bytes) const {
    return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  std::string Read(std::string_view name) const { return ReadBytes(File(name)); }

  // The names directly in the directory, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(path_, error), end; !error && it != end;
         it.increment(error)) {
      names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  // Gives the owner back full access to every directory a test may have locked.
  void MakeRemovable() const {
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (fs::recursive_directory_iterator it(path_, ignored), end; !ignored && it != end;
         it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
      }
    }
  }

  std::string path_;
};

// Makes a directory below base whose path is `length` characters long, in components of at
// most 200 characters, and returns that path ("" when it cannot be made). For paths far
// longer than the 260 characters of other platforms.
inline std::string MakeLongDirectory(const std::string& base, size_t length) {
  std::string path = base;
  for (char letter = 'a'; path.size() + 1 < length; letter = letter == 'z' ? 'a' : letter + 1) {
    const size_t room = length - path.size() - 1;  // after the separator
    size_t part = std::min<size_t>(room, 200);
    if (room - part == 1) --part;  // never leave room for a separator alone
    path += "/" + std::string(part, letter);
  }
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return !error && path.size() == length ? path : std::string();
}

// Makes `directory` the current directory for one scope and returns to the previous one.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string& directory)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
  }
  ~ScopedCurrentDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// A fixture with one fresh directory per test, named after the test suite.
class TempDirTest : public ::testing::Test {
 protected:
  TempDirTest() : temp_(SuiteName()) {}
  void SetUp() override { ASSERT_TRUE(temp_.ok()) << "cannot make a temporary directory"; }

  // Runs the rest of the test inside the directory; the previous one comes back at its end.
  void EnterTempDir() { current_.emplace(temp_.path()); }

  TempDir temp_;

 private:
  static std::string SuiteName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? info->test_suite_name() : "test";
    std::replace(name.begin(), name.end(), '/', '_');  // parameterised suites have a prefix
    return name;
  }

  std::optional<ScopedCurrentDirectory> current_;
};

}  // namespace kavrinth::test_support
