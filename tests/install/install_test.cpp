// The suite installed with cmake --install into a scratch prefix: every file the programs
// find beside themselves in the build lands in <prefix>/lib/kavrinth, the programs are
// linked from <prefix>/bin, and the installed programs, started through those links from a
// directory of their own, find their companions and give the build's results.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "testing/temp_dir.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;
using test_support::ReadBytes;
using test_support::TempDirTest;

const std::string kBinDir = KAVRINTH_BIN_DIR;
const std::string kSamplesDir = KAVRINTH_SAMPLES_DIR;

// Runs argv in `directory` and hands back its 32-bit result; a run that outlives the time
// limit is killed and fails the test.
std::optional<int32_t> RunWithin(const std::vector<std::string>& argv, const std::string& directory,
                                 int seconds = 120) {
  ChildProcess child;
  if (child.Start(argv, directory.c_str(), true) != 0) {
    ADD_FAILURE() << "cannot start " << argv[0];
    return std::nullopt;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int error = 0;
  ChildStatus status;
  while ((status = child.Poll(&error)) == ChildStatus::kRunning) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child.id(), SIGKILL);
      ADD_FAILURE() << argv[0] << " ran longer than " << seconds << " s";
      return std::nullopt;
    }
    ::usleep(5000);
  }
  if (status != ChildStatus::kEnded) return std::nullopt;
  return child.result();
}

class InstallTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    prefix_ = temp_.File("prefix");
    private_ = prefix_ + "/lib/kavrinth";
    // The installed programs must find each other by their own files, not by the tests'
    // setting.
    ::unsetenv(std::string(kProgramDirVariable).c_str());
    ASSERT_EQ(RunWithin({CMAKE_COMMAND_PATH, "--install", KAVRINTH_BUILD_DIR, "--prefix", prefix_},
                        temp_.path()),
              0);
  }

  // A working directory holding copies of the samples.
  std::string WorkDirectory(const std::string& name, const std::vector<std::string>& samples) {
    const std::string dir = temp_.File(name);
    fs::create_directories(dir);
    for (const std::string& sample : samples) {
      fs::copy_file(kSamplesDir + "/" + sample, dir + "/" + sample);
    }
    return dir;
  }

  std::string prefix_;
  std::string private_;
};

TEST_F(InstallTest, PrivateDirectoryHoldsEveryFileOfTheBuildAndBinLinksIntoIt) {
  for (const fs::directory_entry& entry : fs::directory_iterator(kBinDir)) {
    const std::string name = entry.path().filename().string();
    const fs::path installed = private_ + "/" + name;
    ASSERT_TRUE(fs::is_regular_file(installed)) << name << " is not installed";
    // Programs stay executable; shared libraries are installed as plain files, as Debian's are.
    const fs::perms exec = fs::perms::owner_exec;
    if (entry.path().extension() != ".so") {
      EXPECT_EQ(fs::status(installed).permissions() & exec, entry.status().permissions() & exec)
          << name;
    }
  }
  EXPECT_EQ(ReadBytes(private_ + "/README.md"), ReadBytes(KAVRINTH_SOURCE_DIR "/README.md"));
  EXPECT_EQ(fs::canonical(prefix_ + "/share/doc/kavrinth/README.md"),
            fs::canonical(private_ + "/README.md"));
  EXPECT_TRUE(fs::is_regular_file(prefix_ + "/share/mime/packages/kavrinth.xml"));

  std::vector<std::string> linked;
  for (const fs::directory_entry& entry : fs::directory_iterator(prefix_ + "/bin")) {
    const std::string name = entry.path().filename().string();
    ASSERT_TRUE(entry.is_symlink()) << name;
    // Relative, so that a staged or moved tree keeps working.
    EXPECT_EQ(fs::read_symlink(entry.path()), fs::path("../lib/kavrinth") / name);
    EXPECT_EQ(fs::canonical(entry.path()), fs::canonical(private_ + "/" + name));
    linked.push_back(name);
  }
  for (const char* program : {"tabreng", "corvitex", "corvaxen", "selvar", "ferolt", "mistrel"}) {
    EXPECT_NE(std::find(linked.begin(), linked.end(), program), linked.end()) << program;
  }
}

TEST_F(InstallTest, DesktopEntriesStartTheInstalledProgramsWithTheirIcons) {
  for (const char* program : {"vexil", "tabrun", "corvane"}) {
    const bool built = fs::exists(kBinDir + "/" + program);
    const std::string entry = prefix_ + "/share/applications/" + program + ".desktop";
    ASSERT_EQ(fs::exists(entry), built) << entry;
    if (!built) continue;
    std::ifstream in(entry);
    std::map<std::string, std::string> keys;
    for (std::string line; std::getline(in, line);) {
      const size_t equals = line.find('=');
      if (equals != std::string::npos) keys[line.substr(0, equals)] = line.substr(equals + 1);
    }
    const std::string path = prefix_ + "/bin/" + program;
    EXPECT_EQ(keys["Exec"], path + " %f");
    EXPECT_EQ(keys["TryExec"], path);
    EXPECT_TRUE(fs::is_regular_file(prefix_ + "/share/icons/hicolor/scalable/apps/" + keys["Icon"] +
                                    ".svg"))
        << keys["Icon"];
  }
}

TEST_F(InstallTest, InstalledProgramsRunThroughTheirLinksFromAnyDirectory) {
  const std::vector<std::string> samples = {"demo.gds", "demo.cfg", "demo.em", "demo-em.job"};
  const std::string built = WorkDirectory("built", samples);
  const std::string installed = WorkDirectory("installed", samples);
  EXPECT_EQ(RunWithin({prefix_ + "/bin/tabreng", "--help"}, installed), 0);

  // The GDSII -> PG engine with its post-processor, PG library and font, as the build's
  // own programs run it: the Intermediate files and the PG log match byte for byte.
  for (const auto& [dir, programs] : {std::pair{built, kBinDir}, {installed, prefix_ + "/bin"}}) {
    fs::copy_file(dir + "/demo.cfg", dir + "/gds.cfg");
    fs::copy_file(dir + "/demo.cfg", dir + "/pg.cfg");
    ASSERT_EQ(
        RunWithin({programs + "/selvar", dir + "/demo.gds", "-sh", "-o:" + dir + "/demo.ssn"}, dir),
        0);
    ASSERT_EQ(RunWithin({programs + "/tabreng", dir + "/demo.gds", "0.5", "=", "=", "-s1"}, dir), 0)
        << ReadBytes(dir + "/demo.log");
  }
  int intermediate_files = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(built)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".int" && name != "pg.log") continue;
    intermediate_files += entry.path().extension() == ".int";
    EXPECT_EQ(ReadBytes(installed + "/" + name), ReadBytes(entry.path().string())) << name;
  }
  EXPECT_GT(intermediate_files, 0);

  // The PG -> GDSII engine: the ring's 20 turned bars have their corners rounded to the
  // library's 0.01 mil, counted warnings.
  ASSERT_EQ(
      RunWithin({prefix_ + "/bin/corvitex", "@demo-em.job", "-o:demo-em.gds", "-u:E"}, installed),
      20);
  EXPECT_TRUE(ReadBytes(installed + "/demo-em.gds").starts_with(std::string("\0\6\0\2", 4)));
}

}  // namespace
}  // namespace kavrinth
