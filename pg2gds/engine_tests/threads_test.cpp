// The conversion on several threads writes what the one-thread conversion writes: the
// same library bytes, log, progress lines, warnings, extents and result, also when a file
// turns bad or Cancel comes in the middle of one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "gdsii/writer.h"
#include "pg2gds/engine_main.h"
#include "support/progress_protocol.h"
#include "testing/unprivileged.h"

namespace kavrinth {
namespace {

// Records every line and asks for Cancel at the first percentage of the file that reaches
// the given one (above 100: never).
class CancelAtSink : public RecordingProgressSink {
 public:
  CancelAtSink(std::string file, int percent) : file_(std::move(file)), percent_(percent) {}
  void Send(const ProgressLine& line) override {
    RecordingProgressSink::Send(line);
    if (line.command != ProgressCommand::kText) return;
    if (line.index == 1) in_file_ = line.text == "Processing " + file_ + ":";
    if (line.index == 3 && in_file_ && !line.text.empty() && line.text.back() == '%' &&
        std::stoi(line.text) >= percent_) {
      in_file_ = false;
      RequestCancel();
    }
  }

 private:
  std::string file_;
  int percent_;
  bool in_file_ = false;
};

struct Outcome {
  int code = 0;
  int32_t warnings = 0;
  bool cancelled = false;
  double extents[4] = {};
  std::string library;
  std::string log;
  std::string progress;
  bool operator==(const Outcome&) const = default;
};

// An Electromask file of flashes at many angles, with flashes without sides, and flashes
// that a scale of 1.5 pushes beyond the 32-bit range; `bad_at` puts a number that does not
// fit 32 bits in place of that flash.
std::string Flashes(int count, int seed, int bad_at = -1) {
  std::string text = "<\"flashes\"\r\n";
  uint32_t state = static_cast<uint32_t>(seed);
  auto next = [&state](uint32_t limit) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % limit;
  };
  for (int i = 0; i < count; ++i) {
    if (i == bad_at) {
      text += "X99999999999S\r\n";
    } else if (i % 97 == 5) {
      text += "X" + std::to_string(next(100000)) + "Y7W0V0U0S\r\n";
    } else if (i % 89 == 3) {
      text += "X2000000000Y" + std::to_string(next(1000)) + "W30V10U0S\r\n";
    } else {
      // Odd values scaled by 1.5 and sides at any angle (in tenths of a degree) give
      // coordinates that round at halves of the database unit and near them.
      text += "X" + std::to_string(next(2000000)) + "Y-" + std::to_string(next(2000000)) + "W" +
              std::to_string(1 + next(5001)) + "V" + std::to_string(1 + next(5001)) + "U" +
              std::to_string(next(3600)) + "S\r\n";
    }
  }
  return text + "Z";
}

class ThreadsTest : public EngineDirTest {
 protected:
  void SetUp() override {
    EngineDirTest::SetUp();
    // Flashes go to the workers 16384 to a batch: a.em fills two and part of a third,
    // b.em one and part of a second, and bad.em turns bad in its second. Each file is
    // large enough to be converted with threads.
    WriteFile("a.em", Flashes(36000, 1));
    WriteFile("b.em", Flashes(20000, 2));
    WriteFile("bad.em", Flashes(30000, 3, 25000));
    for (const char* name : {"a.em", "b.em", "bad.em"}) {
      ASSERT_GT(std::filesystem::file_size(name), 512u * 1024) << name;
    }
    DefaultGdsWriter().SetClock([] { return GdsDateTime{1998, 4, 24, 12, 0, 0}; });
  }
  void TearDown() override {
    DefaultGdsWriter().SetClock(GdsLocalTime);
    unsetenv("CORVITEX_THREADS");
    EngineDirTest::TearDown();
  }

  Outcome Run(int threads, const std::vector<std::string>& files, const std::string& options,
              const std::string& cancel_file = "", int cancel_at = 101) {
    std::vector<std::pair<std::string, std::string>> layers;
    for (size_t i = 0; i < files.size(); ++i) layers.emplace_back(std::to_string(i + 1), files[i]);
    WriteFile("job.job", JobText(layers));
    setenv("CORVITEX_THREADS", std::to_string(threads).c_str(), 1);
    ResetCancelForTesting();
    CancelAtSink sink(cancel_file, cancel_at);
    ProgressSink* previous = SetProgressSink(&sink);
    EngineRun run(EngineBuild::kCorvitex);
    std::vector<std::string> args = {"corvitex", "@job.job", "-o:out.gds", "-u:E", "-scale", "1.5"};
    if (!options.empty()) args.push_back(options);
    Outcome outcome;
    outcome.code = RunConversion(run, args);
    SetProgressSink(previous);
    outcome.cancelled = ProgressCancelFlag() != 0;
    ResetCancelForTesting();
    EXPECT_TRUE(CloseLog(run));
    outcome.warnings = run.warnings;
    outcome.extents[0] = run.extents.min_x;
    outcome.extents[1] = run.extents.min_y;
    outcome.extents[2] = run.extents.max_x;
    outcome.extents[3] = run.extents.max_y;
    outcome.library = ReadFile("out.gds");
    outcome.log = ReadFile("job.log");
    for (const ProgressLine& line : sink.lines) outcome.progress += EncodeProgressLine(line);
    return outcome;
  }
};

void ExpectSame(const Outcome& one, const Outcome& many) {
  EXPECT_EQ(many.code, one.code);
  EXPECT_EQ(many.warnings, one.warnings);
  EXPECT_EQ(many.cancelled, one.cancelled);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(many.extents[i], one.extents[i]) << "side " << i;
  EXPECT_EQ(many.log, one.log);
  EXPECT_EQ(many.progress, one.progress);
  EXPECT_EQ(many.library.size(), one.library.size());
  EXPECT_TRUE(many.library == one.library) << "the libraries differ";
}

TEST_F(ThreadsTest, EveryThreadCountWritesWhatOneThreadWrites) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::string options;
    std::string cancel_file;
    int cancel_at;  // percent
    int code;       // of the run, as a check that the case does what it says
  };
  const Case cases[] = {
      {"boundaries of two files", {"a.em", "b.em", "a.em"}, "", "", 101, 0},
      {"paths", {"a.em", "b.em"}, "-p", "", 101, 0},
      {"bad data in the middle of the second file", {"b.em", "bad.em", "a.em"}, "", "", 101, -1},
      {"Cancel in the middle of the second file", {"b.em", "a.em", "b.em"}, "", "a.em", 50, 0},
      {"Cancel at the end of a file", {"b.em", "a.em"}, "-p", "b.em", 100, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome one = Run(1, c.files, c.options, c.cancel_file, c.cancel_at);
    ASSERT_EQ(one.code, c.code);
    EXPECT_EQ(one.cancelled, c.cancel_at <= 100);
    EXPECT_NE(one.log.find("without length skipped"), std::string::npos);
    EXPECT_NE(one.log.find("beyond the 32-bit coordinate range skipped"), std::string::npos);
    EXPECT_GT(one.library.size(), 100000u);
    for (int threads : {2, 3, 8}) {
      SCOPED_TRACE("threads " + std::to_string(threads));
      ExpectSame(one, Run(threads, c.files, c.options, c.cancel_file, c.cancel_at));
    }
    // Where the user may start no more threads, the conversion runs on this one instead.
    test_support::HandOver(dir_);
    EXPECT_EQ(test_support::RunUnprivileged([&] {
                return test_support::ForbidNewThreads() &&
                       Run(8, c.files, c.options, c.cancel_file, c.cancel_at) == one;
              }),
              true);
  }
}

}  // namespace
}  // namespace kavrinth
