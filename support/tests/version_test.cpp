// Version resources: every program and library of the build carries the project's
// version, read from a file, from the running program and from a loaded library.
#include "support/version.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kavrinth {
namespace {

std::string ProgramDir() { return KAVRINTH_BIN_DIR; }

TEST(VersionTest, TheRunningProgramAndTheBuiltProgramsCarryTheProjectVersion) {
  FileVersion own;
  std::vector<uint8_t> block;
  ASSERT_EQ(GetModuleVersion(nullptr, &own, &block), 1);
  EXPECT_EQ(VersionText(own), KAVRINTH_PROJECT_VERSION);
  const std::string key = std::string("KAVRINTH_") + "VERSION=";
  EXPECT_EQ(std::string(block.begin(), block.end()), key + KAVRINTH_PROJECT_VERSION + ".0");
  for (const char* program : {"ferolt", "tabreng", "corvitex", "selvar"}) {
    FileVersion version;
    ASSERT_EQ(GetFileVersion(ProgramDir() + "/" + program, &version), 1) << program;
    EXPECT_EQ(version.most, own.most) << program;
    EXPECT_EQ(version.least, own.least) << program;
  }
}

// The bytes this process has read so far (its "rchar" in /proc/self/io).
int64_t BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string name;
  int64_t value = -1;
  while (io >> name >> value) {
    if (name == "rchar:") return value;
  }
  return -1;
}

// The About boxes ask for the version while the window waits: it is the build's own, and
// reading it reads no file (the program's file is megabytes long).
TEST(VersionTest, TheProgramVersionIsTheBuildsAndReadsNoFile) {
  const int64_t before = BytesRead();
  ASSERT_GE(before, 0) << "no /proc/self/io";
  const std::string first = ProgramVersionText();
  const std::string second = ProgramVersionText();
  const int64_t read = BytesRead() - before;
  EXPECT_EQ(first, KAVRINTH_PROJECT_VERSION);
  EXPECT_EQ(second, first);
  EXPECT_LT(read, 4096) << "bytes read for the version; the program file has "
                        << std::filesystem::file_size("/proc/self/exe");
}

TEST(VersionTest, ALoadedLibraryAnswersForItsOwnFile) {
  void* library = ::dlopen((ProgramDir() + "/libvantor.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  const void* entry = ::dlsym(library, "PG_INIT");
  ASSERT_NE(entry, nullptr);
  FileVersion version, own;
  EXPECT_EQ(GetModuleVersion(entry, &version), 1);
  ASSERT_EQ(GetModuleVersion(nullptr, &own), 1);
  EXPECT_EQ(VersionText(version), VersionText(own));
  ::dlclose(library);
}

TEST(VersionTest, FilesWithoutAStampHaveNoVersion) {
  const std::string key = std::string("KAVRINTH_") + "VERSION=";
  const std::string path =
      (std::filesystem::temp_directory_path() / "kavrinth_version_test.bin").string();
  struct Case {
    std::string bytes;
    int result;
    uint32_t most, least;
  };
  const Case cases[] = {
      {"no stamp here", 0, 0, 0},
      {key + "\0" + key + "x", 0, 0, 0},  // keys without numbers
      {key + "1.2.3", 0, 0, 0},           // three numbers
      {key + "1.70000.3.4", 0, 0, 0},     // beyond 16 bits
      {"lead" + key + "2.5.7.1tail", 1, 0x00020005, 0x00070001},
      {key + "x" + key + "3.0.12.0", 1, 0x00030000, 0x000C0000},  // the first good one
  };
  for (const Case& c : cases) {
    std::ofstream(path, std::ios::binary) << c.bytes;
    FileVersion version;
    EXPECT_EQ(GetFileVersion(path, &version), c.result) << c.bytes;
    EXPECT_EQ(version.most, c.most) << c.bytes;
    EXPECT_EQ(version.least, c.least) << c.bytes;
  }
  std::filesystem::remove(path);
  FileVersion version;
  EXPECT_EQ(GetFileVersion(path, &version), 0) << "a missing file";
}

}  // namespace
}  // namespace kavrinth
