// The engine program as the shell runs it: with libvantor.so, through the result
// channel, with Cancel by SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/run_program.h"
#include "tabreng/tests/engine_test_support.h"

namespace kavrinth {
namespace {

using testing::Layout;
using testing::ScratchJob;
using testing::Square;

const std::string kEngine = std::string(KAVRINTH_BIN_DIR) + "/tabreng";

// Twice the area of a closed polygon (x, y pairs, the closing point included).
int64_t TwiceArea(const std::vector<int32_t>& xy) {
  int64_t sum = 0;
  for (size_t i = 0; i + 3 < xy.size(); i += 2) {
    sum += int64_t{xy[i]} * xy[i + 3] - int64_t{xy[i + 2]} * xy[i + 1];
  }
  return sum < 0 ? -sum : sum;
}

class TabrengProgramTest : public ::testing::Test {
 protected:
  TabrengProgramTest() {
    setenv("KAVRINTH_PROGRAM_DIR", job_.bin().c_str(), 1);
    unsetenv("KAVRINTH_PROGRESS_FD");
    ScratchJob::Write("pg.cfg", "SMALLANGLE\n0.1\n\n");
  }
  ~TabrengProgramTest() override { unsetenv("KAVRINTH_PROGRAM_DIR"); }

  int32_t Run(const std::string& arguments) {
    int32_t result = 12345;
    EXPECT_EQ(RunProgram(nullptr, kEngine, job_.path().c_str(), arguments, &result, true), 1);
    return result;
  }

  ScratchJob job_;
};

void WriteChip() {
  Layout l("chip.gds");
  l.Begin("TOP");
  l.Sref("SUB", {0, 0});
  l.Boundary(1, Square(0, 0, 1000));
  l.Box(2, Square(2000, 0, 500));
  l.Path(1, 0, 0, {{0, 0}, {500, 0}, {500, 500}});
  l.Path(3, 100, 0, {{0, 0}, {1000, 0}});
  l.Path(3, 100, 2, {{0, 2000}, {1000, 2000}, {1000, 3000}});
  l.Text(1, "LABEL", {10, 10});
  l.End();
  l.Begin("SUB");
  l.Boundary(5, Square(100, 100, 200));
  l.Path(5, 0, 0, {{0, 0}, {0, 900}});
  l.End();
  l.Finish();
  ScratchJob::Write("chip.ssn",
                    "LAYERS_CONTAINING_DATA\r\n--\r\n1,2,3,5\r\n\r\n"
                    "HIERARCHY of INDEPENDENT STRUCTURES\r\nTOP\r\n  |__ SUB\r\n");
}

TEST_F(TabrengProgramTest, CountingPassThenRealPass) {
  WriteChip();
  EXPECT_EQ(Run("chip.gds 1.5 = = -s1.0 -polycnt"), 4);
  EXPECT_FALSE(ScratchJob::Exists("chip.gdx")) << "the counting pass leaves no stream";

  EXPECT_EQ(Run("chip.gds 1.5 = = -s1.0 -polycnt:4 -opost"), 1);  // the text, not stroked
  EXPECT_TRUE(ScratchJob::Exists("pg.log"));
  EXPECT_TRUE(ScratchJob::Exists("chip.out"));
  // The totals count the text left out, as the result does.
  EXPECT_NE(ScratchJob::Read("chip.log").find("1 warning(s) and 0 error(s)"), std::string::npos);
  // The trapezoids of the two path outlines cover them exactly.
  int64_t twice_area = 0;
  const std::vector<testing::ReadRecord> records = testing::ReadRecords("chip.gdx");
  for (size_t i = 0; i + 2 < records.size(); ++i) {
    if (records[i].type == kGdsLayer && records[i].ints[0] == 3) {
      ASSERT_EQ(records[i + 2].type, kGdsXy);
      ASSERT_EQ(records[i + 2].ints.size(), 10u);
      twice_area += TwiceArea(records[i + 2].ints);
    }
  }
  EXPECT_EQ(twice_area, 2 * (1000 * 100 + 1050 * 100 + 100 * 1050));
}

TEST_F(TabrengProgramTest, ThePostProcessorWritesTheLayersIntermediateFiles) {
  WriteChip();
  std::filesystem::copy_file(std::string(KAVRINTH_BIN_DIR) + "/libquenrix.so",
                             job_.bin() + "/libquenrix.so",
                             std::filesystem::copy_options::overwrite_existing);
  // The post-processor's warnings, if any, count in the exit code.
  ASSERT_GE(Run("chip.gds 1.5 = = -s1.0 -polycnt:4"), 0);
  // One file per output layer of the scan report, named from the top structure.
  for (const char* name : {"TOP01.int", "TOP02.int", "TOP03.int", "TOP05.int"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(ScratchJob::Exists(name));
  }
  EXPECT_GT(ScratchJob::Read("TOP03.int").size(), 23u);
  EXPECT_FALSE(ScratchJob::Exists("chip.hdx"));
  EXPECT_FALSE(ScratchJob::Exists("chip.gdx"));
}

TEST_F(TabrengProgramTest, TrapezoidBoundariesCoverEachPolygonExactly) {
  // Random histograms (Manhattan, many vertices) and a square with a hole joined to its
  // outline by a cut line, each on a layer of its own.
  std::srand(4711);
  std::vector<testing::Points> polygons;
  for (int p = 0; p < 12; ++p) {
    const int columns = 2 + std::rand() % 40;
    testing::Points points = {{0, 0}, {columns * 50, 0}};
    for (int i = columns - 1; i >= 0; --i) {
      const int32_t height = 10 + std::rand() % 1000;
      points.push_back({(i + 1) * 50, height});
      points.push_back({i * 50, height});
    }
    points.push_back({0, 0});
    polygons.push_back(points);
  }
  polygons.push_back({{0, 0},
                      {100, 0},
                      {100, 100},
                      {0, 100},
                      {0, 50},
                      {25, 50},
                      {25, 75},
                      {75, 75},
                      {75, 25},
                      {25, 25},
                      {25, 50},
                      {0, 50},
                      {0, 0}});
  {
    Layout l("shapes.gds");
    l.Begin("TOP");
    for (size_t i = 0; i < polygons.size(); ++i) l.Boundary(static_cast<int>(10 + i), polygons[i]);
    l.End();
    l.Finish();
  }
  ScratchJob::Write("shapes.ssn", "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n");
  ASSERT_EQ(Run("shapes.gds 1.5 = = -pg -opost"), 0);

  std::vector<int64_t> twice_area(polygons.size(), 0);
  const std::vector<testing::ReadRecord> records = testing::ReadRecords("shapes.gdx");
  for (size_t i = 0; i + 2 < records.size(); ++i) {
    if (records[i].type != kGdsLayer) continue;
    ASSERT_EQ(records[i + 2].ints.size(), 10u) << "a trapezoid boundary has five points";
    twice_area.at(static_cast<size_t>(records[i].ints[0] - 10)) += TwiceArea(records[i + 2].ints);
  }
  for (size_t i = 0; i < polygons.size(); ++i) {
    std::vector<int32_t> xy;
    for (const GdsIntPoint& point : polygons[i]) xy.insert(xy.end(), {point.x, point.y});
    EXPECT_EQ(twice_area[i], TwiceArea(xy)) << "polygon " << i;
  }
  EXPECT_EQ(twice_area.back(), 2 * 7500);
}

TEST_F(TabrengProgramTest, FailureReachesTheShellAsMinusOne) {
  WriteChip();
  std::filesystem::remove("pg.cfg");
  EXPECT_EQ(Run("chip.gds 1.5 = = -polycnt:5"), -1);
  EXPECT_NE(ScratchJob::Read("chip.err")
                .find("Error occurred in getting translation options from pg.cfg."),
            std::string::npos);
}

// What the engine shows reaches the stderr it was started with as well as its ".err" file,
// once, whether the fault is found before or after the side files are opened.
TEST_F(TabrengProgramTest, FailuresReachTheStderrItWasStartedWith) {
  {
    Layout l("big.gds");
    l.Begin("B");
    l.Boundary(1, Square(0, 0, 1000));
    l.Boundary(1031, Square(0, 0, 1000));
    l.End();
    l.Finish();
  }
  ScratchJob::Write("big.ssn",
                    "LAYERS_CONTAINING_DATA\n--\n1,1031\n\n"
                    "HIERARCHY of INDEPENDENT STRUCTURES\nB\n");
  ScratchJob::Write("packed.gds", std::string("\x1f\x8b\x08\x00", 4) + ScratchJob::Read("big.gds"));
  ScratchJob::Write("packed.ssn", ScratchJob::Read("big.ssn"));
  std::filesystem::copy_file("big.gds", "alone.gds");
  const std::string outside =
      "Layer 1031 in structure B of the GDS file 'big.gds' is outside 0..1023.";
  const struct {
    const char* what;
    std::string arguments;
    std::string text;
    const char* err_file;  // that holds the text too, or null when the fault comes before it
  } cases[] = {
      {"listed layer", "big.gds 1.5 1,1031 = -polycnt",
       "Found '1,1031'; expected list of layer numbers.\n" + outside, nullptr},
      {"layer met in the loop", "big.gds 1.5 = = -polycnt", outside, "big.err"},
      {"compressed file", "packed.gds 1.5 = = -polycnt",
       "Unable to read the GDS file 'packed.gds': the file is compressed (gzip), not a GDSII "
       "stream; decompress it first (gunzip).",
       "packed.err"},
      {"no scan report", "alone.gds 1.5 = = -polycnt",
       "The scan report 'alone.ssn' does not exist in the working directory, so no structure "
       "can be selected.\nMake it with: selvar alone.gds -sh -o:alone.ssn",
       "alone.err"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // The child inherits this process's stderr, for the run a file of its own.
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    const int file = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ::dup2(file, STDERR_FILENO);
    const int32_t result = Run(c.arguments);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(file);
    EXPECT_EQ(result, -1);
    const std::string seen = ScratchJob::Read("stderr.txt");
    EXPECT_EQ(seen, c.text + "\n");
    if (c.err_file != nullptr) {
      EXPECT_NE(ScratchJob::Read(c.err_file).find(c.text), std::string::npos);
    }
  }
}

TEST_F(TabrengProgramTest, SigtermCancels) {
  {
    Layout l("many.gds");
    std::string report = "HIERARCHY of INDEPENDENT STRUCTURES\nTOP\n";
    l.Begin("TOP");
    for (int i = 0; i < 600; ++i) l.Sref("S" + std::to_string(i), {0, 0});
    l.End();
    for (int i = 0; i < 600; ++i) {
      l.Begin("S" + std::to_string(i));
      l.Path(1, 10, 0, {{0, 0}, {100, 0}});
      l.End();
      report += "  |__ S" + std::to_string(i) + "\n";
    }
    l.Finish();
    ScratchJob::Write("many.ssn", report);
  }
  // A small progress pipe that nobody drains holds the engine inside its loop.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(fds[0], F_SETPIPE_SZ, 4096);
  setenv("KAVRINTH_PROGRESS_FD", std::to_string(fds[1]).c_str(), 1);
  ChildProcess child;
  ASSERT_EQ(child.Start({kEngine, "many.gds", "1.5", "=", "=", "-polycnt:600"}, job_.path().c_str(),
                        true),
            0);
  unsetenv("KAVRINTH_PROGRESS_FD");
  ::close(fds[1]);
  // The first line comes after the engine took over SIGTERM.
  char block[4096];
  ASSERT_GT(::read(fds[0], block, sizeof block), 0);
  ASSERT_EQ(::kill(child.id(), SIGTERM), 0);
  while (::read(fds[0], block, sizeof block) > 0) {
  }
  ::close(fds[0]);
  int error = 0;
  ChildStatus status;
  while ((status = child.Poll(&error)) == ChildStatus::kRunning) ::usleep(5000);
  ASSERT_EQ(status, ChildStatus::kEnded);
  EXPECT_EQ(child.result(), CancelledExitCode);
  EXPECT_NE(ScratchJob::Read("many.log").find("The translation was cancelled."), std::string::npos);
}

}  // namespace
}  // namespace kavrinth
