// Side-file names made from the input, and the guard that keeps them off the input.
#include "tabreng/side_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/notifier.h"
#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

TEST(SideFileNamesTest, NamesComeFromTheFileNameInTheWorkingDirectory) {
  const SideFileNames names = MakeSideFileNames("/data/v1.2/chip.gds", false);
  EXPECT_EQ(names.base, "chip");
  EXPECT_EQ(names.header_stream, "chip.hdx");
  EXPECT_EQ(names.stdout_file, "chip.out");
  EXPECT_EQ(names.stderr_file, "chip.err");
  EXPECT_EQ(names.log_file, "chip.log");
  EXPECT_EQ(names.translated_stream, "chip.gdx");
  EXPECT_EQ(names.scan_report, "chip.ssn");
  // The base is cut at the file name's last dot, not at a dot of a directory.
  EXPECT_EQ(MakeSideFileNames("/data/v1.2/layout", false).base, "layout");
  EXPECT_EQ(MakeSideFileNames("a.b.gds", false).base, "a.b");
  EXPECT_EQ(MakeSideFileNames("jobs\\v2.1\\chip.gds", false).log_file, "chip.log");
}

TEST(SideFileNamesTest, TranslatedStreamExtensionAndScanMode) {
  const std::pair<const char*, const char*> cases[] = {
      {"a.gdx", "a.vu"},  {"a.GDX", "a.gdx"}, {"a.vu", "a.out"},
      {"a.out", "a.tmp"}, {"a.gds", "a.gdx"}, {"a.tmp", "a.gdx"},
  };
  for (const auto& [input, stream] : cases) {
    EXPECT_EQ(MakeSideFileNames(input, false).translated_stream, stream) << input;
  }
  const SideFileNames scan = MakeSideFileNames("a.gds", true);
  EXPECT_EQ(scan.header_stream, "NUL");
  EXPECT_EQ(scan.translated_stream, "NUL");
  EXPECT_EQ(scan.translated_name, "a.gdx");
  EXPECT_EQ(MakeSideFileNames("/x/CHIP.GDS", false).scan_report, "CHIP.SSN");
}

TEST(SideFileCheck, RefusesToOverwriteTheInputOrToReuseAName) {
  testing::ScratchJob job;
  ScriptedNotifier notifier;
  ScopedNotifier scoped(&notifier);
  testing::ScratchJob::Write("x.log", "input");
  testing::ScratchJob::Write("x.gds", "input");
  ASSERT_EQ(::link("x.gds", "other.hdx"), 0);

  EXPECT_EQ(CheckSideFiles("x.log", FilesWritten(MakeSideFileNames("x.log", false), false)), -1);
  // An input in another directory is another file.
  std::filesystem::create_directory("in");
  testing::ScratchJob::Write("in/y.log", "input");
  EXPECT_EQ(CheckSideFiles("in/y.log", FilesWritten(MakeSideFileNames("in/y.log", false), false)),
            0);
  // A hard link is the same file.
  EXPECT_EQ(CheckSideFiles("x.gds", {"other.hdx"}), -1);
  // x.vu's translated stream would be x.out, the redirected standard output.
  testing::ScratchJob::Write("x.vu", "input");
  EXPECT_EQ(CheckSideFiles("x.vu", FilesWritten(MakeSideFileNames("x.vu", false), false)), -1);
  // With -stderr there is no log file: x.log is then not written.
  EXPECT_EQ(CheckSideFiles("x.log", FilesWritten(MakeSideFileNames("x.log", false), true)), 0);

  // pg.gds's log would be the PG library's pg.log.
  testing::ScratchJob::Write("pg.gds", "input");
  EXPECT_EQ(CheckSideFiles("pg.gds", FilesWritten(MakeSideFileNames("pg.gds", false), false)), -1);
  EXPECT_EQ(CheckSideFiles("pg.gds", FilesWritten(MakeSideFileNames("pg.gds", false), true)), 0);

  ASSERT_EQ(notifier.shown.size(), 4u);
  EXPECT_EQ(notifier.shown[3].text, "Two output files of this job would both be named 'pg.log'.");
  EXPECT_EQ(notifier.shown[0].text,
            "The output file 'x.log' would overwrite the input file 'x.log'.");
  EXPECT_EQ(notifier.shown[2].text, "Two output files of this job would both be named 'x.out'.");
  EXPECT_EQ(testing::ScratchJob::Read("x.log"), "input");
}

}  // namespace
}  // namespace kavrinth
