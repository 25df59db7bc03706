// The engines' progress line protocol, the sinks and the cancel flag.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/progress_protocol.h"
#include "support/progress_sink.h"

namespace kavrinth {
namespace {

TEST(ProgressProtocol, LinesRoundTrip) {
  const ProgressLine cases[] = {
      {ProgressCommand::kTitle, 0, MessageIcon::kNone, "Tabreng"},
      {ProgressCommand::kButton, 0, MessageIcon::kNone, "Cancel"},
      {ProgressCommand::kText, 2, MessageIcon::kNone, "42%"},
      {ProgressCommand::kText, 3, MessageIcon::kNone, ""},
      {ProgressCommand::kStatus, 7, MessageIcon::kNone, "a b  c "},
      {ProgressCommand::kListClear, 0, MessageIcon::kNone, ""},
      {ProgressCommand::kListAdd, 0, MessageIcon::kNone, "C:\\jobs\\a.em"},
      {ProgressCommand::kListSelect, 0, MessageIcon::kNone, "12"},
      {ProgressCommand::kMessage, 0, MessageIcon::kWarning, "line one\nline two\r\n\\n"},
      {ProgressCommand::kMessage, 0, MessageIcon::kStop, ""},
  };
  for (const ProgressLine& line : cases) {
    std::string encoded = EncodeProgressLine(line);
    SCOPED_TRACE(encoded);
    ASSERT_EQ(encoded.back(), '\n');
    EXPECT_EQ(encoded.find('\n'), encoded.size() - 1) << "one command, one line";
    std::optional<ProgressLine> parsed = ParseProgressLine(encoded);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->command, line.command);
    EXPECT_EQ(parsed->index, line.index);
    EXPECT_EQ(parsed->icon, line.icon);
    EXPECT_EQ(parsed->text, line.text);
  }
}

TEST(ProgressProtocol, ExactEncoding) {
  EXPECT_EQ(
      EncodeProgressLine({ProgressCommand::kText, 1, MessageIcon::kNone, "Processing Polygons..."}),
      "TEXT 1 Processing Polygons...\n");
  EXPECT_EQ(EncodeProgressLine({ProgressCommand::kMessage, 0, MessageIcon::kWarning, "a\\b\nc"}),
            "MESSAGE warning a\\\\b\\nc\n");
  EXPECT_EQ(EncodeProgressLine({ProgressCommand::kListClear, 0, MessageIcon::kNone, ""}),
            "LIST-CLEAR\n");
}

TEST(ProgressProtocol, MalformedLinesAreRejected) {
  const char* bad[] = {"",         "TEXT",       "TEXT 0 x",    "TEXT 4 x",
                       "TEXT x y", "STATUS 8 x", "STATUS -1 x", "MESSAGE loud x",
                       "text 1 x", "NOPE 1 x",   "TEXT 1x y"};
  for (const char* line : bad) EXPECT_FALSE(ParseProgressLine(line)) << line;
  // CR LF line ends are accepted.
  ASSERT_TRUE(ParseProgressLine("STATUS 1 abc\r\n"));
  EXPECT_EQ(ParseProgressLine("STATUS 1 abc\r\n")->text, "abc");
}

TEST(ProgressSinkTest, NullTextLeavesFieldEmptyTextClears) {
  RecordingProgressSink sink;
  ProgressSink* previous = SetProgressSink(&sink);
  SetProgressText("Initializing...", "", nullptr);
  SetProgressStatus({nullptr, "s2", nullptr, nullptr, nullptr, nullptr, ""});
  SetProgressSink(previous);
  ASSERT_EQ(sink.lines.size(), 4u);
  EXPECT_EQ(EncodeProgressLine(sink.lines[0]), "TEXT 1 Initializing...\n");
  EXPECT_EQ(EncodeProgressLine(sink.lines[1]), "TEXT 2 \n");
  EXPECT_EQ(EncodeProgressLine(sink.lines[2]), "STATUS 2 s2\n");
  EXPECT_EQ(EncodeProgressLine(sink.lines[3]), "STATUS 7 \n");
}

TEST(ProgressSinkTest, SignalsSetTheCancelFlagForGood) {
  ResetCancelForTesting();
  InstallCancelHandlers();
  EXPECT_EQ(SetProgressText(nullptr, nullptr, nullptr), 0);
  raise(SIGTERM);
  EXPECT_EQ(SetProgressText(nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(ProgressCancelFlag(), 1);
  ResetCancelForTesting();
  raise(SIGINT);
  EXPECT_EQ(ProgressCancelFlag(), 1);
  ResetCancelForTesting();
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
}

TEST(ProgressSinkTest, EngineSinkWritesLinesToTheShellsDescriptor) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  setenv("KAVRINTH_PROGRESS_FD", std::to_string(fds[1]).c_str(), 1);
  std::unique_ptr<ProgressSink> sink = MakeEngineProgressSink(-1);
  unsetenv("KAVRINTH_PROGRESS_FD");
  ProgressSink* previous = SetProgressSink(sink.get());
  ProgressListClear();
  ProgressListAdd("12");
  ProgressNotifier notifier;
  {
    // The notifier also writes to stderr; keep the test's output quiet.
    int saved = dup(2);
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);
    notifier.Show({"No match to designated top structure X.", "", MessageIcon::kWarning});
    dup2(saved, 2);
    close(saved);
    close(null_fd);
  }
  SetProgressSink(previous);
  sink.reset();
  close(fds[1]);
  std::string received;
  char buffer[256];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) received.append(buffer, n);
  close(fds[0]);
  EXPECT_EQ(received,
            "LIST-CLEAR\nLIST-ADD 12\nMESSAGE warning No match to designated top structure X.\n");
}

// An engine's message lands once on the stderr it was started with and once on the side
// file its stderr moved to; the terminal's progress line, which writes it itself, gets no
// second copy.
TEST(ProgressSinkTest, MessagesReachTheStartedStderrAndTheMovedOneOnce) {
  const struct {
    bool moved;
    bool sink_writes_there;
    std::string started, side;  // what the notifier wrote into each
  } cases[] = {
      {false, false, "Stop.\n", ""},
      {false, true, "", ""},
      {true, false, "Stop.\n", "Stop.\n"},
      {true, true, "", "Stop.\n"},
  };
  auto read_all = [](int fd) {
    std::string text(256, '\0');
    const ssize_t n = pread(fd, text.data(), text.size(), 0);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.moved) + std::to_string(c.sink_writes_there));
    char started_name[] = "/tmp/started_XXXXXX";
    char side_name[] = "/tmp/side_XXXXXX";
    const int started = mkstemp(started_name);
    const int side = mkstemp(side_name);
    ASSERT_GE(started, 0);
    ASSERT_GE(side, 0);
    unlink(started_name);
    unlink(side_name);
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(c.moved ? side : started, 2);
    ProgressNotifier(started, c.sink_writes_there).Show({"Stop.", "", MessageIcon::kWarning});
    dup2(saved, 2);
    close(saved);
    EXPECT_EQ(read_all(started), c.started);
    EXPECT_EQ(read_all(side), c.side);
    close(started);
    close(side);
  }
}

TEST(ProgressSinkTest, WithoutDescriptorOrTerminalNothingIsWritten) {
  setenv("KAVRINTH_PROGRESS_FD", "not-a-number", 1);
  int null_fd = open("/dev/null", O_WRONLY);
  std::unique_ptr<ProgressSink> sink = MakeEngineProgressSink(null_fd);
  unsetenv("KAVRINTH_PROGRESS_FD");
  close(null_fd);
  EXPECT_NE(dynamic_cast<NullProgressSink*>(sink.get()), nullptr);
}

}  // namespace
}  // namespace kavrinth
