// Tests of the INI module: reading rules, edits in place, byte-exact round trips, safe saves.
#include "platform/ini.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "testing/temp_dir.h"
#include "testing/unprivileged.h"

namespace kavrinth {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

using test_support::ReadBytes;
using test_support::WriteBytes;

class IniTest : public test_support::TempDirTest {
 protected:
  // Writes the text to a file, loads it and returns the loaded file.
  IniFile LoadText(const std::string& text, const std::string& name = "test.ini") {
    WriteBytes(temp_.File(name), text);
    IniFile file;
    EXPECT_TRUE(file.Load(temp_.File(name)));
    return file;
  }
};

TEST(ParseProfileIntTest, FollowsThePlatformRules) {
  struct Case {
    const char* text;
    std::optional<int32_t> expected;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"007", 7},
      {"-7", -7},
      {"+9", 9},
      {"12abc", 12},
      {"abc", 0},
      {"-", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MIN},
      {"4294967295", -1},
      {"4294967196", -100},
      {"-2147483648", INT32_MIN},
      {"4294967296", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999999", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseProfileInt(c.text), c.expected) << "text: " << c.text;
  }
}

// A file with every form the reader meets; LF and CR LF line ends are mixed on purpose.
const char kMixedFile[] =
    "; leading comment=not a key\r\n"
    "orphan=before any section\r\n"
    "  [ Colours ]  ; trailing text\n"
    "Red = 255\t\r\n"
    " green=\t'0' \r\n"
    "Blue=\"128\"\n"
    "Mixed='abc\"\r\n"
    "Quoted=\" spaced \"\r\n"
    "Job=ON,255,0,0,Paint \"C:\\pg\\a.em\"\r\n"
    "Empty=\r\n"
    ";Hidden=1\r\n"
    "NoEquals line\r\n"
    "Spaced Key = two words\r\n"
    "dup=first\r\n"
    "DUP=second\r\n"
    "[colours]\r\n"
    "Later=in the repeated section\r\n"
    "[Other]\r\n"
    "red=other\r\n"
    "[broken\r\n"
    "after=under a header without ']'\r\n"
    "tail=last line without end";

TEST_F(IniTest, ReadsKeysTrimmedUnquotedAndWithoutCase) {
  IniFile file = LoadText(kMixedFile);
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"Colours", "Red", "255"},
      {"COLOURS", "red", "255"},
      {" Colours ", " RED ", "255"},
      {"Colours", "green", "0"},
      {"Colours", "Blue", "128"},
      {"Colours", "Mixed", "'abc\""},
      {"Colours", "Quoted", " spaced "},
      {"Colours", "Job", "ON,255,0,0,Paint \"C:\\pg\\a.em\""},
      {"Colours", "Empty", ""},
      {"Colours", "Hidden", std::nullopt},
      {"Colours", ";Hidden", std::nullopt},
      {"Colours", "NoEquals line", std::nullopt},
      {"Colours", "Spaced Key", "two words"},
      {"Colours", "dup", "first"},
      {"Colours", "Later", std::nullopt},  // only the first occurrence of a section counts
      {"Colours", "orphan", std::nullopt},
      {"", "orphan", std::nullopt},
      {"Other", "red", "other"},
      {"Other", "after", "under a header without ']'"},
      {"Other", "tail", "last line without end"},
      {"broken", "after", std::nullopt},
      {"Missing", "Red", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(file.Get(c.section, c.key), c.expected) << c.section << "/" << c.key;
  }
  EXPECT_EQ(file.Sections(), (std::vector<std::string>{"Colours", "Other"}));
  EXPECT_EQ(file.Keys("colours"),
            (std::vector<std::string>{"Red", "green", "Blue", "Mixed", "Quoted", "Job", "Empty",
                                      "Spaced Key", "dup"}));
  EXPECT_TRUE(file.Keys("Missing").empty());
}

TEST_F(IniTest, GetStringCutsToTheCallersSize) {
  IniFile file = LoadText("[S]\r\nk=abcdef\r\n");
  struct Case {
    const char* key;
    size_t size;
    const char* expected;
  };
  const Case cases[] = {
      {"k", 0, ""},         {"k", 1, ""},         {"k", 4, "abc"},         {"k", 7, "abcdef"},
      {"k", 100, "abcdef"}, {"missing", 3, "xy"}, {"missing", 100, "xyz"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(file.GetString("S", c.key, "xyz", c.size), c.expected) << c.key << " size " << c.size;
  }
}

TEST_F(IniTest, GetIntTakesTheDefaultOnlyWithoutANumber) {
  IniFile file =
      LoadText("[S]\r\nn=12\r\nempty=\r\nword=abc\r\nold=4294967295\r\nhuge=99999999999\r\n");
  EXPECT_EQ(file.GetInt("S", "n", 5), 12);
  EXPECT_EQ(file.GetInt("S", "missing", 5), 5);
  EXPECT_EQ(file.GetInt("S", "empty", 5), 5);
  EXPECT_EQ(file.GetInt("S", "word", 5), 0);
  EXPECT_EQ(file.GetInt("S", "old", 5), -1);
  EXPECT_EQ(file.GetInt("S", "huge", 5), 5);
}

TEST_F(IniTest, UnchangedFileIsNotWritten) {
  IniFile file = LoadText(kMixedFile);
  struct stat before;
  ASSERT_EQ(stat(temp_.File("test.ini").c_str(), &before), 0);
  EXPECT_TRUE(file.Set("Colours", "Red", "255"));  // the same value
  EXPECT_FALSE(file.changed());
  EXPECT_TRUE(file.Save());
  struct stat after;
  ASSERT_EQ(stat(temp_.File("test.ini").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(ReadBytes(temp_.File("test.ini")), kMixedFile);
}

TEST_F(IniTest, SetReplacesOnlyTheKeysLine) {
  IniFile file = LoadText(kMixedFile);
  ASSERT_TRUE(file.Set("colours", "BLUE", "64"));
  ASSERT_TRUE(file.Set("Other", "TAIL", "changed"));
  ASSERT_TRUE(file.Save());
  std::string expected = kMixedFile;
  expected.replace(expected.find("Blue=\"128\"\n"), 11, "Blue=64\n");
  expected.replace(expected.find("tail=last line without end"), std::string::npos, "tail=changed");
  EXPECT_EQ(ReadBytes(temp_.File("test.ini")), expected);
  IniFile reread;
  ASSERT_TRUE(reread.Load(temp_.File("test.ini")));
  EXPECT_EQ(reread.Get("Colours", "Blue"), "64");
  EXPECT_EQ(reread.Get("Other", "tail"), "changed");
}

TEST_F(IniTest, SetPlacesNewLinesWithTheFilesLineEnd) {
  struct Case {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    std::string after;
  };
  const Case cases[] = {
      {"new key before the blank lines that end its section", "[A]\nx=1\n\n\n[B]\ny=2\n", "A", "z",
       "[A]\nx=1\nz=v\n\n\n[B]\ny=2\n"},
      {"empty section", "[A]\r\n\r\n[B]\r\n", "a", "k", "[A]\r\nk=v\r\n\r\n[B]\r\n"},
      {"new section at the end", "[A]\nx=1\n", "B", "k", "[A]\nx=1\n[B]\nk=v\n"},
      {"last line keeps having no end", "[A]\r\nx=1", "A", "y", "[A]\r\nx=1\r\ny=v"},
      {"new section after a last line without end", "[A]\nx=1", "B", "k", "[A]\nx=1\n[B]\nk=v"},
      {"empty file", "", "S", "k", "[S]\r\nk=v\r\n"},
      {"file without any line end", "; note", "S", "k", "; note\r\n[S]\r\nk=v"},
      {"existing key spelt otherwise keeps its spelling", "[Sec]\r\n  MyKey = old\r\n", "SEC",
       "mykey", "[Sec]\r\nMyKey=v\r\n"},
      {"only the first of repeated keys changes", "[A]\nk=1\nk=2\n", "A", "k", "[A]\nk=v\nk=2\n"},
      {"names are trimmed before use", "[A]\n", " A ", " k ", "[A]\nk=v\n"},
  };
  for (const Case& c : cases) {
    IniFile file = LoadText(c.before);
    ASSERT_TRUE(file.Set(c.section, c.key, "v")) << c.name;
    ASSERT_TRUE(file.Save()) << c.name;
    EXPECT_EQ(ReadBytes(temp_.File("test.ini")), c.after) << c.name;
  }
}

TEST_F(IniTest, MissingFileIsCreatedOnWriteWithCrLf) {
  IniFile file;
  ASSERT_TRUE(file.Load(temp_.File("new.ini")));
  EXPECT_TRUE(file.Sections().empty());
  EXPECT_TRUE(file.Save());  // nothing to write: still no file
  EXPECT_FALSE(fs::exists(temp_.File("new.ini")));
  ASSERT_TRUE(file.Set("General", "FormatType", "2"));
  ASSERT_TRUE(file.Set("General", "UnitType", "1"));
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(ReadBytes(temp_.File("new.ini")), "[General]\r\nFormatType=2\r\nUnitType=1\r\n");
}

// What Set stores, Get gives back: a value that reading would trim or unquote is written
// within quotes.
TEST_F(IniTest, ValuesReadBackAsTheyWereSet) {
  const std::string values[] = {"plain",    " leading", "trailing\t", " both ",   "\"quoted\"",
                                "'single'", "\"",       "\"half",     "half'",    "'mixed\"",
                                "\"\"",     "",         " ",          "a \"b\" c"};
  for (const std::string& value : values) {
    SCOPED_TRACE("[" + value + "]");
    IniFile file = LoadText("[S]\r\nk=old\r\n");
    ASSERT_TRUE(file.Set("S", "k", value));
    ASSERT_TRUE(file.Set("S", "new", value));
    EXPECT_EQ(file.Get("S", "k"), value);
    ASSERT_TRUE(file.Save());
    IniFile again;
    ASSERT_TRUE(again.Load(temp_.File("test.ini")));
    EXPECT_EQ(again.Get("S", "k"), value);
    EXPECT_EQ(again.Get("S", "new"), value);
    // Setting the value read back changes nothing.
    ASSERT_TRUE(again.Set("S", "k", *again.Get("S", "k")));
    EXPECT_FALSE(again.changed());
  }
  IniFile file = LoadText("[S]\r\nk=old\r\n");
  ASSERT_TRUE(file.Set("S", "k", "plain"));
  ASSERT_TRUE(file.Set("S", "q", " spaced "));
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(ReadBytes(temp_.File("test.ini")), "[S]\r\nk=plain\r\nq=\" spaced \"\r\n");
}

// A zero byte ends a value, as it ends the text the write calls take; the rest is read as
// the value would be without it.
TEST_F(IniTest, AZeroByteEndsTheValue) {
  IniFile file = LoadText("[S]\r\nk=\"C:\\x\"\0 tail\r\nn=abc \0z\r\nq=\"a\0b\"\r\n"s);
  EXPECT_EQ(file.Get("S", "k"), "C:\\x");
  EXPECT_EQ(file.Get("S", "n"), "abc");
  EXPECT_EQ(file.Get("S", "q"), "\"a");
}

TEST_F(IniTest, SetRefusesWhatCannotBeStoredOnOneLine) {
  const std::string original = "[A]\r\nk=1\r\n";
  struct Case {
    std::string section;
    std::string key;
    std::string value;
  };
  const Case cases[] = {
      {"", "k", "v"},      {"  ", "k", "v"},   {"A\nB", "k", "v"},
      {"A", "", "v"},      {"A", "k=x", "v"},  {"A", ";k", "v"},
      {"A", "[k", "v"},    {"A", "k\rx", "v"}, {"A", "k", "v\r\n[B]\r\nx=1"},
      {"A", "k", "v\0w"s},
  };
  for (const Case& c : cases) {
    IniFile file = LoadText(original);
    EXPECT_FALSE(file.Set(c.section, c.key, c.value)) << c.section << "/" << c.key;
    EXPECT_FALSE(file.changed());
    EXPECT_EQ(file.Get("A", "k"), "1");
  }
}

TEST_F(IniTest, RemoveTakesOutEveryOccurrenceAndKeepsTheRest) {
  const std::string text =
      "; top\r\n[A]\r\nk=1\r\nkeep=yes\r\nK=2\r\n[B]\r\nb=1\r\n[a]\r\nk=3\r\n[C]\r\nc=1\r\n";
  IniFile file = LoadText(text);
  EXPECT_TRUE(file.RemoveKey("a", "K"));
  EXPECT_EQ(file.Get("A", "k"), std::nullopt);
  EXPECT_EQ(file.Get("A", "keep"), "yes");
  EXPECT_FALSE(file.RemoveKey("A", "k"));
  EXPECT_FALSE(file.RemoveKey("Missing", "k"));
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(ReadBytes(temp_.File("test.ini")),
            "; top\r\n[A]\r\nkeep=yes\r\n[B]\r\nb=1\r\n[a]\r\nk=3\r\n[C]\r\nc=1\r\n");

  IniFile again = LoadText(text);
  EXPECT_TRUE(again.RemoveSection("A"));
  EXPECT_EQ(again.Sections(), (std::vector<std::string>{"B", "C"}));
  EXPECT_EQ(again.Get("A", "k"), std::nullopt);  // the repeated section is gone as well
  EXPECT_FALSE(again.RemoveSection("A"));
  ASSERT_TRUE(again.Save());
  EXPECT_EQ(ReadBytes(temp_.File("test.ini")), "; top\r\n[B]\r\nb=1\r\n[C]\r\nc=1\r\n");
}

TEST_F(IniTest, ManyKeysWrittenInOneSave) {
  WriteBytes(temp_.File("job.ini"), "[General]\r\nFormatType=0\r\n");
  IniFile file;
  ASSERT_TRUE(file.Load(temp_.File("job.ini")));
  for (int n = 0; n < 1024; ++n) {
    ASSERT_TRUE(file.Set("LAYER_TABLE", "LAYER_" + std::to_string(n),
                         n % 100 == 0 ? "ON,255,0,0,Paint \"l" + std::to_string(n) + ".em\"" : ""));
  }
  ASSERT_TRUE(file.Save());

  std::string bytes = ReadBytes(temp_.File("job.ini"));
  EXPECT_EQ(bytes.rfind("[General]\r\nFormatType=0\r\n[LAYER_TABLE]\r\nLAYER_0=", 0), 0u);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2 + 1 + 1024);
  IniFile reread;
  ASSERT_TRUE(reread.Load(temp_.File("job.ini")));
  EXPECT_EQ(reread.Keys("layer_table").size(), 1024u);
  EXPECT_EQ(reread.Get("LAYER_TABLE", "LAYER_1023"), "");
  EXPECT_EQ(reread.Get("LAYER_TABLE", "LAYER_1000"), "ON,255,0,0,Paint \"l1000.em\"");
  EXPECT_EQ(reread.GetInt("General", "FormatType", 9), 0);
}

// Many keys set in one pass give the bytes and the result of setting them one by one, and
// the values of a section read in one pass are those Get gives key by key.
TEST_F(IniTest, ManyKeysInOnePassEqualOneByOne) {
  using Values = std::vector<std::pair<std::string, std::string>>;
  const Values values = {{"LAYER_0", "ON,255,0,0,Paint \"a.em\""},
                         {"layer_1", ""},
                         {" LAYER_2 ", " padded "},
                         {"NEW", "\"quoted\""},
                         {"bad=key", "x"},
                         {"LAYER_3", "two\nlines"},
                         {"new", "again"},
                         {"LAYER_2", "same as set"}};
  const std::string files[] = {
      "",
      "[General]\r\nFormatType=0",
      "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"a.em\"\r\nLayer_1=old\r\n\r\n; note\r\n"
      "[General]\r\nFormatType=0\r\n",
      "[layer_table]\nLAYER_1=x\nLAYER_1=second\n\n[LAYER_TABLE]\nLAYER_2=later\n",
      "[LAYER_TABLE]",
  };
  for (const std::string& text : files) {
    SCOPED_TRACE(text);
    IniFile one_by_one = LoadText(text, "a.ini");
    bool all = true;
    for (const auto& [key, value] : values) all &= one_by_one.Set("LAYER_TABLE", key, value);
    IniFile one_pass = LoadText(text, "b.ini");
    EXPECT_EQ(one_pass.SetValues("LAYER_TABLE", values), all);
    EXPECT_EQ(one_pass.changed(), one_by_one.changed());
    ASSERT_TRUE(one_by_one.Save());
    ASSERT_TRUE(one_pass.Save());
    EXPECT_EQ(ReadBytes(temp_.File("b.ini")), ReadBytes(temp_.File("a.ini")));

    IniFile reread = LoadText(ReadBytes(temp_.File("a.ini")), "c.ini");
    const Values read = reread.Values("layer_table");
    ASSERT_EQ(read.size(), reread.Keys("LAYER_TABLE").size());
    for (const auto& [key, value] : read) EXPECT_EQ(reread.Get("LAYER_TABLE", key), value) << key;
  }
  IniFile empty = LoadText("", "d.ini");
  EXPECT_FALSE(empty.SetValues("S", {{"k=", "v"}}));
  EXPECT_TRUE(empty.SetValues("S", {}));
  EXPECT_FALSE(empty.changed()) << "no section is made for nothing set";
}

TEST_F(IniTest, MalformedFilesLoadAndRoundTrip) {
  std::mt19937 random(1234);
  std::string garbage(65536, '\0');
  for (char& c : garbage) c = static_cast<char>(random() & 0xff);
  const std::string huge_line = "[S]\r\nbig=" + std::string(1 << 20, 'x') + "\r\n";
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"binary garbage", garbage},      {"zero bytes", "[S\0]\r\nk\0=v\0w\r\n\0\0\0"s},
      {"a 1 MB line", huge_line},       {"missing ']'", "[S\r\nk=v\r\n[T\nu=w"},
      {"lone CRs", "[S]\rk=v\r\r\n\r"},
  };
  for (const Case& c : cases) {
    IniFile file = LoadText(c.bytes);
    for (const std::string& section : file.Sections()) {
      for (const std::string& key : file.Keys(section)) file.Get(section, key);
    }
    ASSERT_TRUE(file.Save()) << c.name;
    EXPECT_EQ(ReadBytes(temp_.File("test.ini")), c.bytes) << c.name;
    ASSERT_TRUE(file.Set("Added", "k", "v")) << c.name;
    ASSERT_TRUE(file.Save()) << c.name;
    std::string saved = ReadBytes(temp_.File("test.ini"));
    EXPECT_EQ(saved.substr(0, c.bytes.size()), c.bytes) << c.name;
    IniFile reread;
    ASSERT_TRUE(reread.Load(temp_.File("test.ini")));
    EXPECT_EQ(reread.Get("added", "K"), "v") << c.name;
  }
  IniFile big = LoadText(huge_line);
  EXPECT_EQ(big.Get("S", "big").value_or("").size(), 1u << 20);
  EXPECT_EQ(big.GetString("S", "big", "", 11), "xxxxxxxxxx");
}

TEST_F(IniTest, SaveKeepsPermissionBitsAndLinks) {
  IniFile file = LoadText("[A]\nk=1\n", "real.ini");
  ASSERT_EQ(chmod(temp_.File("real.ini").c_str(), 0640), 0);
  ASSERT_TRUE(file.Set("A", "k", "2"));
  ASSERT_TRUE(file.Save());
  struct stat st;
  ASSERT_EQ(stat(temp_.File("real.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  ASSERT_EQ(symlink("real.ini", temp_.File("link.ini").c_str()), 0);
  IniFile linked;
  ASSERT_TRUE(linked.Load(temp_.File("link.ini")));
  ASSERT_TRUE(linked.Set("A", "k", "3"));
  ASSERT_TRUE(linked.Save());
  EXPECT_TRUE(fs::is_symlink(temp_.File("link.ini")));
  EXPECT_EQ(ReadBytes(temp_.File("real.ini")), "[A]\nk=3\n");
  EXPECT_EQ(temp_.Entries(), (std::vector<std::string>{"link.ini", "real.ini"}));
}

TEST_F(IniTest, FileIsFoundWithoutCaseAndSavedUnderTheNameFound) {
  WriteBytes(temp_.File("Settings.INI"), "[A]\r\nk=1\r\n");
  IniFile file;
  ASSERT_TRUE(file.Load(temp_.path() + "\\SETTINGS.ini"));
  EXPECT_EQ(file.Get("A", "k"), "1");
  ASSERT_TRUE(file.Set("A", "k", "2"));
  ASSERT_TRUE(file.Save());
  EXPECT_EQ(temp_.Entries(), (std::vector<std::string>{"Settings.INI"}));
  EXPECT_EQ(ReadBytes(temp_.File("Settings.INI")), "[A]\r\nk=2\r\n");
}

TEST_F(IniTest, UnreadableFileIsNeverSavedOver) {
  ASSERT_EQ(mkdir(temp_.File("folder.ini").c_str(), 0700), 0);
  IniFile file;
  EXPECT_FALSE(file.Load(temp_.File("folder.ini")));
  ASSERT_TRUE(file.Set("A", "k", "v"));
  EXPECT_FALSE(file.Save());
  EXPECT_TRUE(fs::is_directory(temp_.File("folder.ini")));
  EXPECT_FALSE(WriteProfileString(temp_.File("folder.ini"), "A", "k", "v"));

  // Write-only: the rename could replace it, but what it holds was never read. Root reads
  // whatever the mode says, so an ordinary user tries.
  const std::string original = "[A]\r\nk=1\r\n";
  WriteBytes(temp_.File("locked.ini"), original);
  ASSERT_EQ(chmod(temp_.File("locked.ini").c_str(), 0200), 0);
  test_support::HandOver(temp_.path());
  const std::string locked_path = temp_.File("locked.ini");
  EXPECT_EQ(test_support::RunUnprivileged([&] {
              IniFile locked;
              const bool loaded = locked.Load(locked_path);
              const bool set = locked.Set("A", "k", "2");
              return !loaded && set && !locked.Save() &&
                     !WriteProfileString(locked_path, "A", "k", "2");
            }),
            true);
  ASSERT_EQ(chmod(temp_.File("locked.ini").c_str(), 0600), 0);
  EXPECT_EQ(ReadBytes(temp_.File("locked.ini")), original);
}

TEST_F(IniTest, SaveFailsWhenTheDirectoryIsAFile) {
  WriteBytes(temp_.File("plain"), "not a directory");
  IniFile file;
  ASSERT_TRUE(file.Load(temp_.File("plain/settings.ini")));  // cannot exist: reads as missing
  ASSERT_TRUE(file.Set("A", "k", "v"));
  EXPECT_FALSE(file.Save());
  EXPECT_TRUE(file.changed());
  EXPECT_EQ(ReadBytes(temp_.File("plain")), "not a directory");
}

// A write that fails part way (here: past the file-size limit, which also stops root, the
// way a full disk would) leaves the old file as it was and no temporary behind.
TEST_F(IniTest, FailedWriteLeavesTheOldFileIntact) {
  const std::string original = "[A]\r\nk=1\r\n";
  IniFile file = LoadText(original);
  ASSERT_TRUE(file.Set("A", "k", std::string(200000, 'y')));

  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  struct rlimit small = old_limit;
  small.rlim_cur = 4096;
  sighandler_t old_handler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool saved = file.Save();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadBytes(temp_.File("test.ini")), original);
  EXPECT_EQ(temp_.Entries(), (std::vector<std::string>{"test.ini"}));
}

// Permissions do not stop root, so the saves run as an ordinary user who owns the files.
TEST_F(IniTest, ReadOnlyPlacesAreLeftAlone) {
  const std::string original = "[A]\r\nk=1\r\n";
  IniFile in_locked_dir = LoadText(original);
  ASSERT_TRUE(in_locked_dir.Set("A", "k", "2"));
  ASSERT_EQ(chmod(temp_.path().c_str(), 0500), 0);
  test_support::HandOver(temp_.path());
  EXPECT_EQ(test_support::RunUnprivileged([&] { return in_locked_dir.Save(); }), false);
  ASSERT_EQ(chmod(temp_.path().c_str(), 0700), 0);
  EXPECT_EQ(ReadBytes(temp_.File("test.ini")), original);
  EXPECT_EQ(temp_.Entries(), (std::vector<std::string>{"test.ini"}));

  IniFile read_only = LoadText(original);
  ASSERT_EQ(chmod(temp_.File("test.ini").c_str(), 0400), 0);
  ASSERT_TRUE(read_only.Set("A", "k", "2"));
  test_support::HandOver(temp_.path());
  EXPECT_EQ(test_support::RunUnprivileged([&] { return read_only.Save(); }), false);
  EXPECT_EQ(ReadBytes(temp_.File("test.ini")), original);
  EXPECT_EQ(temp_.Entries(), (std::vector<std::string>{"test.ini"}));
}

TEST_F(IniTest, OneShotCallsReadAndWriteSingleKeys) {
  const std::string path = temp_.File("job.ini");
  EXPECT_EQ(ReadProfileString(path, "General", "layers", "none", 3), "no");
  EXPECT_EQ(ReadProfileInt(path, "General", "FormatType", 4), 4);
  EXPECT_TRUE(WriteProfileString(path, "General", "layers", nullptr));
  EXPECT_FALSE(fs::exists(path));  // removing from a missing file creates nothing

  EXPECT_TRUE(WriteProfileString(path, "layer0", "layer", "12,C:\\pg\\a.em"));
  EXPECT_TRUE(WriteProfileString(path, "General", "layers", "layer0"));
  EXPECT_TRUE(WriteProfileString(path, "General", "FormatType", "-3"));
  EXPECT_EQ(ReadBytes(path),
            "[layer0]\r\nlayer=12,C:\\pg\\a.em\r\n[General]\r\nlayers=layer0\r\nFormatType=-3\r\n");
  EXPECT_EQ(ReadProfileString(path, "LAYER0", "LAYER", "", 512), "12,C:\\pg\\a.em");
  EXPECT_EQ(ReadProfileInt(path, "general", "formattype", 4), -3);

  EXPECT_TRUE(WriteProfileString(path, "General", "layers", nullptr));
  EXPECT_EQ(ReadProfileString(path, "General", "layers", "gone", 100), "gone");
  EXPECT_FALSE(WriteProfileString(path, "General", "bad=key", "v"));
}

}  // namespace
}  // namespace kavrinth
