// Tests of file-name handling: splitting and joining, extensions, enumeration,
// search lists, temporary names and moving files.
#include "support/paths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "support/notifier.h"
#include "testing/temp_dir.h"
#include "testing/unprivileged.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;

using test_support::ScopedCurrentDirectory;
using test_support::TempDir;

// Sets the working directory for one test and clears it afterwards.
class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::string& directory) { SetWorkingDirectory(directory); }
  ~ScopedWorkingDirectory() { SetWorkingDirectory(""); }
};

void WriteFile(const std::string& path, const std::string& content = "x") {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> FindAll(const std::string& pattern) {
  std::vector<std::string> found;
  std::string path;
  for (int result = FindFirst(pattern, &path); result == 0; result = FindNext(&path)) {
    found.push_back(path);
  }
  return found;
}

template <typename List>
std::vector<std::string> ListAll(List& list, const std::string& pattern) {
  std::vector<std::string> found;
  std::string path;
  for (int result = list.First(pattern, &path); result == 0; result = list.Next(&path)) {
    found.push_back(path);
  }
  return found;
}

// A directory name longer than the 260 characters the programs were written for.
std::string LongDirectory(const std::string& base) {
  std::string path = base;
  for (int i = 0; i < 4; ++i) path += "/" + std::string(90, static_cast<char>('a' + i));
  fs::create_directories(path);
  return path;
}

// ---- names ----------------------------------------------------------------------

TEST(SplitPathTest, SplitsAtTheLastSeparator) {
  struct Case {
    const char* path;
    const char* directory;
    const char* name;
  } cases[] = {
      {"/dir/file.txt", "/dir", "file.txt"},
      {"/a.txt", "/", "a.txt"},
      {"file.txt", "", "file.txt"},
      {"dir/sub/", "dir/sub", ""},
      {"", "", ""},
      {"/", "/", ""},
      {"//a", "/", "a"},
      {"dir.x/name.y", "dir.x", "name.y"},
  };
  for (const Case& c : cases) {
    std::string directory = "junk", name = "junk";
    EXPECT_EQ(SplitPath(c.path, &directory, &name), c.directory) << c.path;
    EXPECT_EQ(directory, c.directory) << c.path;
    EXPECT_EQ(name, c.name) << c.path;
    std::string name_only;
    EXPECT_EQ(SplitPath(c.path, nullptr, &name_only), c.name) << c.path;
    EXPECT_EQ(SplitPath(c.path, nullptr, nullptr), c.name) << c.path;
  }
}

TEST(MakePathTest, JoinsWithOneSeparator) {
  struct Case {
    const char* directory;
    const char* name;
    const char* path;
  } cases[] = {
      {"", "x", "x"},
      {"/", "x", "/x"},
      {"dir", "x", "dir/x"},
      {"dir/", "x", "dir/x"},
      {"/a/b", "c.txt", "/a/b/c.txt"},
      {"dir", "", "dir/"},
  };
  for (const Case& c : cases) EXPECT_EQ(MakePath(c.directory, c.name), c.path) << c.directory;

  std::string empty;
  EXPECT_EQ(AppendBackslash(empty), "");
  std::string directory = "dir";
  EXPECT_EQ(&AppendBackslash(directory), &directory);
  EXPECT_EQ(AppendBackslash(directory), "dir/");
}

TEST(MakeExePathTest, DropsTheExtensionOfTheLastComponent) {
  EXPECT_EQ(MakeExePath("/opt/bin", "selvar.exe"), "/opt/bin/selvar");
  EXPECT_EQ(MakeExePath("/opt/bin", "SELVAR.EXE"), "/opt/bin/SELVAR");
  EXPECT_EQ(MakeExePath("bin.d", "tool"), "bin.d/tool");
  EXPECT_EQ(MakeExePath("", "a.b.exe"), "a.b");
}

TEST(ReplaceExtensionTest, KeepsTheCapitalsOfTheWholeName) {
  struct Case {
    const char* name;
    const char* extension;
    const char* result;
  } cases[] = {
      {"/DATA/FILE.GDS", ".cfg", "/DATA/FILE.CFG"},
      {"/data/FILE.GDS", ".cfg", "/data/FILE.cfg"},
      {"/DATA/FILE", ".Log", "/DATA/FILE.LOG"},
      {"/1234/5678.9", ".cfg", "/1234/5678.cfg"},
      {"/DATA/file.GDS", ".CFG", "/DATA/file.CFG"},
      {"dir.x/name", ".log", "dir.x/name.log"},
      {"a.b.c", ".d", "a.b.d"},
      {"name.gds", "", "name"},
      {"", ".x", ".x"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReplaceExtension(c.name, c.extension), c.result) << c.name;
}

TEST(SplitExtensionTest, TakesTheLastDotOfTheLastComponent) {
  struct Case {
    const char* name;
    const char* stem;
    const char* extension;
  } cases[] = {
      {"a.b.c", "a.b", ".c"},
      {"dir.x/name", "dir.x/name", ""},
      {"/d/file.GDS", "/d/file", ".GDS"},
      {"name.", "name", "."},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    std::string stem, extension;
    EXPECT_EQ(SplitExtension(c.name, &stem, &extension), c.stem) << c.name;
    EXPECT_EQ(stem, c.stem) << c.name;
    EXPECT_EQ(extension, c.extension) << c.name;
    EXPECT_EQ(SplitExtension(c.name, nullptr, nullptr), c.extension) << c.name;
  }
}

TEST(ForwardToBackslashTest, TurnsStoredSeparatorsIntoNativeOnes) {
  std::string stored = "dir\\sub\\file.gds";
  EXPECT_EQ(ForwardToBackslash(stored), 1);
  EXPECT_EQ(stored, "dir/sub/file.gds");
  EXPECT_EQ(ForwardToBackslash(stored), 0);
  EXPECT_EQ(stored, "dir/sub/file.gds");
}

TEST(SetPathStringTest, KeepsWhatIsNotGiven) {
  struct Case {
    const char* path;
    const char* directory;
    const char* name;
    const char* result;
  } cases[] = {
      {"/a/b.txt", nullptr, "c.txt", "/a/c.txt"},
      {"/a/b.txt", "/x", nullptr, "/x/b.txt"},
      {"/a/b.txt", nullptr, nullptr, "/a/b.txt"},
      {"/a/b.txt", "", "c", "c"},
      {"b.txt", "dir", "c", "dir/c"},
  };
  for (const Case& c : cases) {
    std::string path = c.path;
    SetPathString(path, c.directory, c.name);
    EXPECT_EQ(path, c.result) << c.path;
  }
}

// ---- enumeration and existence ---------------------------------------------------

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    for (const char* name : {"b.txt", "A.TXT", "c.dat", "README", ".hidden.txt"}) {
      WriteFile(dir_.File(name));
    }
    fs::create_directory(dir_.File("sub.txt"));
    FindEnd();
  }
  void TearDown() override { FindEnd(); }

  std::vector<std::string> In(std::initializer_list<const char*> names) const {
    std::vector<std::string> paths;
    for (const char* name : names) paths.push_back(dir_.File(name));
    return paths;
  }

  TempDir dir_{"paths_test"};
};

TEST_F(FilesTest, FindListsMatchesInNameOrderWithoutRegardToCase) {
  EXPECT_EQ(FindAll(dir_.File("*.txt")), In({".hidden.txt", "A.TXT", "b.txt", "sub.txt"}));
  EXPECT_EQ(FindAll(dir_.File("*.TXT")), In({".hidden.txt", "A.TXT", "b.txt", "sub.txt"}));
  EXPECT_EQ(FindAll(dir_.File("?.dat")), In({"c.dat"}));
  EXPECT_EQ(FindAll(dir_.File("*")),
            In({".hidden.txt", "A.TXT", "b.txt", "c.dat", "README", "sub.txt"}));
  // "*.*" finds names without an extension too, as the programs expect.
  EXPECT_EQ(FindAll(dir_.File("*.*")), FindAll(dir_.File("*")));
  EXPECT_EQ(FindAll(dir_.File("readme.*")), In({"README"}));
  EXPECT_TRUE(FindAll(dir_.File("*.gds")).empty());
  EXPECT_TRUE(FindAll(dir_.File("missing/*")).empty());
}

TEST_F(FilesTest, FindNameWithoutWildcardFindsTheEntryInAnyCase) {
  EXPECT_EQ(FindAll(dir_.File("a.txt")), In({"A.TXT"}));
  EXPECT_EQ(FindAll(dir_.File("B.TXT")), In({"b.txt"}));
  EXPECT_EQ(FindAll(dir_.File("sub.txt")), In({"sub.txt"}));
  std::string stored = dir_.path() + "\\c.dat";
  EXPECT_EQ(FindAll(stored), In({"c.dat"}));
}

TEST_F(FilesTest, FindNextEndsAndStaysEnded) {
  std::string path = "unchanged";
  EXPECT_EQ(FindNext(&path), -1);
  EXPECT_EQ(path, "unchanged");

  ASSERT_EQ(FindFirst(dir_.File("?.*"), &path), 0);
  EXPECT_EQ(path, dir_.File("A.TXT"));
  EXPECT_EQ(FindNext(&path), 0);
  EXPECT_EQ(path, dir_.File("b.txt"));
  EXPECT_EQ(FindNext(&path), 0);
  EXPECT_EQ(path, dir_.File("c.dat"));
  EXPECT_EQ(FindNext(&path), -1);
  EXPECT_EQ(FindNext(&path), -1);

  ASSERT_EQ(FindFirst(dir_.File("*.dat"), &path), 0);
  EXPECT_EQ(FindEnd(), 0);
  EXPECT_EQ(FindNext(&path), -1);

  // A new search replaces one still open, and a failed one leaves none open.
  ASSERT_EQ(FindFirst(dir_.File("*.txt"), &path), 0);
  EXPECT_EQ(FindFirst(dir_.File("*.gds"), &path), -1);
  EXPECT_EQ(FindNext(&path), -1);
}

TEST_F(FilesTest, FileExistsLeavesAnEnumerationAlone) {
  std::string path;
  ASSERT_EQ(FindFirst(dir_.File("?.txt"), &path), 0);
  EXPECT_EQ(FileExists(dir_.File("c.dat")), 1);
  EXPECT_EQ(FileExists(dir_.File("none")), 0);
  ASSERT_EQ(FindNext(&path), 0);
  EXPECT_EQ(path, dir_.File("b.txt"));
}

TEST_F(FilesTest, FileExistsCountsFilesDirectoriesAndWildcardMatches) {
  struct Case {
    std::string name;
    int exists;
  } cases[] = {
      {"", 0},
      {dir_.File("b.txt"), 1},
      {dir_.File("B.Txt"), 1},
      {dir_.File("sub.txt"), 1},
      {dir_.path(), 1},
      {dir_.File("*.dat"), 1},
      {dir_.File("*.gds"), 0},
      {dir_.File("missing"), 0},
      {dir_.File("missing/b.txt"), 0},
      {dir_.path() + "\\README", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(FileExists(c.name), c.exists) << c.name;
  EXPECT_EQ(PathStringExists(dir_.File("readme")), 1);
  EXPECT_EQ(PathStringExists(dir_.File("readme.txt")), 0);
}

TEST_F(FilesTest, DirExistsIgnoresOneTrailingSeparator) {
  struct Case {
    std::string path;
    int exists;
  } cases[] = {
      {"/", 1},
      {dir_.path(), 1},
      {dir_.path() + "/", 1},
      {dir_.File("sub.txt"), 1},
      {dir_.File("SUB.TXT"), 1},
      {dir_.File("b.txt"), 0},
      {dir_.File("missing"), 0},
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(DirExists(c.path), c.exists) << c.path;
}

TEST_F(FilesTest, WildcardListGivesPlainFilesInNameOrder) {
  CWildcardFileList list;
  std::string path = "unchanged";
  EXPECT_EQ(list.Next(&path), -1);
  EXPECT_EQ(path, "unchanged");

  EXPECT_EQ(ListAll(list, dir_.File("*.txt")), In({".hidden.txt", "A.TXT", "b.txt"}));
  EXPECT_EQ(list.Next(&path), -1);
  std::string stored = dir_.path() + "\\*.DAT";
  EXPECT_EQ(ListAll(list, stored), In({"c.dat"}));
  EXPECT_EQ(list.First(dir_.File("*.gds"), &path), -1);
  EXPECT_EQ(list.Next(&path), -1);
}

TEST_F(FilesTest, WildcardListGivesANameWithoutWildcardsAsItStands) {
  CWildcardFileList list;
  std::string path;
  ASSERT_EQ(list.First(dir_.File("b.txt"), &path), 0);
  EXPECT_EQ(path, dir_.File("b.txt"));
  EXPECT_EQ(list.Next(&path), -1);
  ASSERT_EQ(list.First(dir_.path() + "\\a.txt", &path), 0);
  EXPECT_EQ(path, dir_.File("a.txt"));
  EXPECT_EQ(list.First(dir_.File("none.txt"), &path), -1);
  EXPECT_EQ(list.Next(&path), -1);
}

TEST_F(FilesTest, DirMatchKeepsOneListForTheProcess) {
  std::string path;
  ASSERT_EQ(DirMatchFirst(dir_.File("*.txt"), &path), 0);
  EXPECT_EQ(path, dir_.File(".hidden.txt"));
  ASSERT_EQ(DirMatchNext(&path), 0);
  EXPECT_EQ(path, dir_.File("A.TXT"));
  ASSERT_EQ(DirMatchFirst(dir_.File("*.dat"), &path), 0);
  EXPECT_EQ(path, dir_.File("c.dat"));
  EXPECT_EQ(DirMatchNext(&path), -1);
  EXPECT_EQ(DirMatchNext(&path), -1);
  EXPECT_EQ(DirMatchFirst(dir_.File("*.gds"), &path), -1);
}

// ---- search list -------------------------------------------------------------------

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    for (const char* sub : {"cwd", "one", "two"}) fs::create_directory(dir_.File(sub));
  }
  TempDir dir_{"paths_test"};
};

TEST_F(SearchTest, TriesTheCurrentDirectoryThenTheListInOrder) {
  ScopedCurrentDirectory cwd(dir_.File("cwd"));
  std::string list = dir_.File("one") + ";;" + dir_.File("two");

  EXPECT_EQ(SearchFileInPath(nullptr, "job.cfg"), std::nullopt);
  EXPECT_EQ(SearchFileInPath(list.c_str(), "job.cfg"), std::nullopt);

  WriteFile(dir_.File("two/job.cfg"));
  EXPECT_EQ(SearchFileInPath(nullptr, "job.cfg"), std::nullopt);
  EXPECT_EQ(SearchFileInPath(list.c_str(), "job.cfg"), dir_.File("two/job.cfg"));

  WriteFile(dir_.File("one/job.cfg"));
  EXPECT_EQ(SearchFileInPath(list.c_str(), "job.cfg"), dir_.File("one/job.cfg"));

  WriteFile(dir_.File("cwd/job.cfg"));
  EXPECT_EQ(SearchFileInPath(list.c_str(), "job.cfg"), dir_.File("cwd/job.cfg"));
  EXPECT_EQ(SearchFileInPath(nullptr, "job.cfg"), dir_.File("cwd/job.cfg"));
}

TEST_F(SearchTest, GivesAnAbsoluteNormalisedPath) {
  ScopedCurrentDirectory cwd(dir_.File("cwd"));
  WriteFile(dir_.File("two/font.shx"));
  EXPECT_EQ(SearchFileInPath("../one;./../two/", "font.shx"), dir_.File("two/font.shx"));
  EXPECT_EQ(SearchFileInPath(";", "../two/./font.shx"), dir_.File("two/font.shx"));
  std::string long_directory = LongDirectory(dir_.File("cwd"));
  WriteFile(long_directory + "/deep.cfg");
  std::string list = long_directory + "/../" + fs::path(long_directory).filename().string();
  EXPECT_EQ(SearchFileInPath(list.c_str(), "deep.cfg"), long_directory + "/deep.cfg");
}

// ---- temporary names ------------------------------------------------------------

// The counter of a name "!%07ld.TMP".
long TempNumber(const std::string& path) {
  std::string name;
  SplitPath(path, nullptr, &name);
  EXPECT_EQ(name.size(), 12u) << path;
  EXPECT_EQ(name.front(), '!') << path;
  EXPECT_TRUE(name.ends_with(".TMP")) << path;
  return std::strtol(name.c_str() + 1, nullptr, 10);
}

std::string TempPath(const std::string& directory, long number) {
  std::string digits = std::to_string(number);
  return directory + "/!" + std::string(7 - digits.size(), '0') + digits + ".TMP";
}

class TempNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    previous_umask_ = umask(022);
  }
  void TearDown() override { umask(previous_umask_); }
  TempDir dir_{"paths_test"};
  mode_t previous_umask_ = 0;
};

TEST_F(TempNameTest, CreatesTheFileAndNeverReturnsATakenName) {
  WriteFile(dir_.File("!0000000.TMP"), "keep");
  ScopedWorkingDirectory working(dir_.path());
  std::string first = MakeTempFileName();
  std::string second = MakeTempFileName();
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, dir_.File("!0000000.TMP"));
  EXPECT_EQ(test_support::ReadBytes(dir_.File("!0000000.TMP")), "keep");
  EXPECT_EQ(TempPath(dir_.path(), TempNumber(first)), first);
  EXPECT_EQ(TempNumber(second), TempNumber(first) + 1);
  for (const std::string& path : {first, second}) {
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(st.st_size, 0);
  }
}

TEST_F(TempNameTest, SkipsNamesOthersHaveTaken) {
  ScopedWorkingDirectory working(dir_.path());
  long number = TempNumber(MakeTempFileName());
  WriteFile(TempPath(dir_.path(), number + 1));
  WriteFile(TempPath(dir_.path(), number + 2));
  EXPECT_EQ(MakeTempFileName(), TempPath(dir_.path(), number + 3));
  EXPECT_EQ(MakeTempFileName(), TempPath(dir_.path(), number + 4));
}

TEST_F(TempNameTest, UsesTheCurrentDirectoryWhenNoneIsStored) {
  ScopedCurrentDirectory cwd(dir_.path());
  SetWorkingDirectory("");
  std::string path = MakeTempFileName();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(TempPath(fs::current_path().string(), TempNumber(path)), path);
  EXPECT_TRUE(Exists(path));
}

TEST_F(TempNameTest, GivesAnEmptyNameWhenNoFileCanBeCreated) {
  WriteFile(dir_.File("plain"));
  for (std::string directory : {dir_.File("missing"), dir_.File("plain")}) {
    ScopedWorkingDirectory working(directory);
    EXPECT_EQ(MakeTempFileName(), "") << directory;
  }
  // Root writes into read-only directories, so an ordinary user tries.
  fs::create_directory(dir_.File("readonly"));
  ASSERT_EQ(chmod(dir_.File("readonly").c_str(), 0555), 0);
  test_support::HandOver(dir_.path());
  ScopedWorkingDirectory working(dir_.File("readonly"));
  EXPECT_EQ(test_support::RunUnprivileged([] { return MakeTempFileName().empty(); }), true);
  EXPECT_TRUE(fs::is_empty(dir_.File("readonly")));
}

TEST_F(TempNameTest, WorksInADirectoryPastTheOldPathLimit) {
  std::string long_directory = LongDirectory(dir_.path());
  ASSERT_GT(long_directory.size(), 300u);
  ScopedWorkingDirectory working(long_directory);
  std::string path = MakeTempFileName();
  EXPECT_EQ(TempPath(long_directory, TempNumber(path)), path);
  EXPECT_EQ(FileExists(path), 1);
  EXPECT_EQ(FindAll(long_directory + "/!*.tmp"), std::vector<std::string>{path});
  std::string directory;
  SplitPath(path, &directory, nullptr);
  EXPECT_EQ(directory, long_directory);
}

TEST_F(TempNameTest, TwoProcessesNeverGetTheSameName) {
  constexpr int kNames = 300;
  ScopedWorkingDirectory working(dir_.path());
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child starts from the same counter value as the parent.
    close(pipe_ends[0]);
    std::string names;
    for (int i = 0; i < kNames; ++i) names += MakeTempFileName() + "\n";
    bool written =
        write(pipe_ends[1], names.data(), names.size()) == static_cast<ssize_t>(names.size());
    _exit(written ? 0 : 1);
  }
  close(pipe_ends[1]);
  std::vector<std::string> parent_names;
  for (int i = 0; i < kNames; ++i) parent_names.push_back(MakeTempFileName());

  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, got);
  close(pipe_ends[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::set<std::string> all(parent_names.begin(), parent_names.end());
  std::istringstream lines(text);
  int child_count = 0;
  for (std::string line; std::getline(lines, line); ++child_count) all.insert(line);
  EXPECT_EQ(child_count, kNames);
  EXPECT_EQ(all.size(), 2u * kNames);
  EXPECT_EQ(all.count(""), 0u);
  for (const std::string& path : all) EXPECT_TRUE(Exists(path)) << path;
}

// ---- moving files ---------------------------------------------------------------

class MoveTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }
  TempDir dir_{"paths_test"};
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
};

TEST_F(MoveTest, MissingFileIsNoErrorAndNoMessage) {
  EXPECT_EQ(MoveFileSafe(dir_.File("none"), dir_.File("new")), 0);
  EXPECT_EQ(MoveFileSafe("", dir_.File("new")), 0);
  EXPECT_TRUE(notifier_.shown.empty());
  EXPECT_FALSE(Exists(dir_.File("new")));
}

TEST_F(MoveTest, RenamesAndReplacesTheTarget) {
  WriteFile(dir_.File("old.pg"), "data");
  WriteFile(dir_.File("new.pg"), "stale");
  EXPECT_EQ(MoveFileSafe(dir_.File("OLD.PG"), dir_.File("new.pg")), 1);
  EXPECT_FALSE(Exists(dir_.File("old.pg")));
  EXPECT_EQ(test_support::ReadBytes(dir_.File("new.pg")), "data");

  std::string stored = dir_.path() + "\\new.pg";
  EXPECT_EQ(MoveFileSafe(stored, dir_.path() + "\\moved.pg"), 1);
  EXPECT_EQ(test_support::ReadBytes(dir_.File("moved.pg")), "data");
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(MoveTest, FailureShowsTheSystemTextCaptionedWithTheNewName) {
  WriteFile(dir_.File("old.pg"), "data");
  std::string target = dir_.File("missing/new.pg");
  EXPECT_EQ(MoveFileSafe(dir_.File("old.pg"), target), 0);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, std::strerror(ENOENT));
  EXPECT_EQ(notifier_.shown[0].caption, target);
  EXPECT_EQ(notifier_.shown[0].icon, MessageIcon::kStop);
  EXPECT_EQ(test_support::ReadBytes(dir_.File("old.pg")), "data");
}

TEST_F(MoveTest, WorksWithPathsPastTheOldLimit) {
  std::string long_directory = LongDirectory(dir_.path());
  WriteFile(long_directory + "/old.pg", "data");
  EXPECT_EQ(MoveFileSafe(long_directory + "/old.pg", long_directory + "/new.pg"), 1);
  EXPECT_EQ(test_support::ReadBytes(long_directory + "/new.pg"), "data");
}

TEST_F(MoveTest, CopiesAcrossFileSystems) {
  TempDir other("paths_test", "/dev/shm");
  struct stat here, there;
  if (!other.ok() || stat(dir_.path().c_str(), &here) != 0 ||
      stat(other.path().c_str(), &there) != 0 || here.st_dev == there.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  std::string content(200000, 'q');
  content += "end";
  WriteFile(dir_.File("old.pg"), content);
  chmod((dir_.File("old.pg")).c_str(), 0640);
  WriteFile(other.File("new.pg"), "stale");

  EXPECT_EQ(MoveFileSafe(dir_.File("old.pg"), other.File("new.pg")), 1);
  EXPECT_TRUE(notifier_.shown.empty());
  EXPECT_FALSE(Exists(dir_.File("old.pg")));
  EXPECT_EQ(test_support::ReadBytes(other.File("new.pg")), content);
  struct stat moved;
  ASSERT_EQ(stat((other.File("new.pg")).c_str(), &moved), 0);
  EXPECT_EQ(moved.st_mode & 0777, 0640u);
  // Nothing but the target is left in its directory.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(other.path())) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"new.pg"});

  // A directory cannot be copied: the target stays as it was.
  fs::create_directory(dir_.File("folder"));
  EXPECT_EQ(MoveFileSafe(dir_.File("folder"), other.File("new.pg")), 0);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].caption, other.File("new.pg"));
  EXPECT_EQ(test_support::ReadBytes(other.File("new.pg")), content);
  EXPECT_TRUE(DirExists(dir_.File("folder")));
}

TEST(FindReadmeTest, BesideTheProgramsElseInThePackagesDocumentation) {
  TempDir prefix("readme");
  const std::string programs = prefix.File("lib/kavrinth");
  const std::string documentation = prefix.File("share/doc/kavrinth");
  fs::create_directories(programs);
  fs::create_directories(documentation);
  EXPECT_EQ(FindReadme(programs), std::nullopt);
  fs::create_directory(programs + "/README.md");  // a directory is no README
  EXPECT_EQ(FindReadme(programs), std::nullopt);
  test_support::WriteBytes(documentation + "/README.md", "# Kavrinth\n");
  EXPECT_EQ(FindReadme(programs), programs + "/../../share/doc/kavrinth/README.md");
  fs::remove(programs + "/README.md");
  test_support::WriteBytes(programs + "/README.md", "# Kavrinth\n");
  EXPECT_EQ(FindReadme(programs), programs + "/README.md");
  EXPECT_EQ(FindReadme(programs + "/"), programs + "/README.md");
}

TEST(WorkingDirectoryTest, KeepsWhatTheApplicationStores) {
  EXPECT_EQ(GetWorkingDirectory(), "");
  SetWorkingDirectory("/srv/jobs");
  EXPECT_EQ(GetWorkingDirectory(), "/srv/jobs");
  SetWorkingDirectory("");
  EXPECT_EQ(GetWorkingDirectory(), "");
}

}  // namespace
}  // namespace kavrinth
