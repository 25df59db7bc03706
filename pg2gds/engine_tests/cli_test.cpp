// The engines as the shell runs them: real corvitex and corvaxen children, their job,
// GDSII output, log, messages, progress and 32-bit result.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "platform/process.h"
#include "support/run_program.h"

namespace kavrinth {
namespace {

constexpr const char* kCorvitex = CORVITEX_PROGRAM;
constexpr const char* kCorvaxen = CORVAXEN_PROGRAM;

struct EngineOutcome {
  int32_t result = 12345;
  std::vector<ProgressLine> progress;
  std::vector<std::string> messages;  // the texts of the MESSAGE lines
};

class EngineCliTest : public EngineDirTest {
 protected:
  // Runs the program in the test directory with its progress lines going to a file; the
  // pump (when given) is called while it runs, with the progress written so far.
  EngineOutcome Run(const char* program, const std::string& arguments,
                    const std::function<void(pid_t, const std::string&)>& pump = nullptr) {
    std::string progress_path = "/tmp/corv_progress.XXXXXX";
    const int fd = mkstemp(progress_path.data());
    EXPECT_GE(fd, 0);
    setenv("KAVRINTH_PROGRESS_FD", std::to_string(fd).c_str(), 1);
    EngineOutcome outcome;
    pid_t pid = 0;
    const PumpCallback poll = [&] {
      if (pump && pid > 0) pump(pid, ReadFile(progress_path));
    };
    EXPECT_EQ(RunProgram(poll, program, dir_.c_str(), arguments, &outcome.result, true, &pid), 1);
    unsetenv("KAVRINTH_PROGRESS_FD");
    close(fd);
    std::istringstream lines(ReadFile(progress_path));
    std::remove(progress_path.c_str());
    for (std::string line; std::getline(lines, line);) {
      std::optional<ProgressLine> parsed = ParseProgressLine(line);
      if (!parsed) continue;
      outcome.progress.push_back(*parsed);
      if (parsed->command == ProgressCommand::kMessage) {
        EXPECT_EQ(parsed->icon, MessageIcon::kWarning);
        outcome.messages.push_back(parsed->text);
      }
    }
    return outcome;
  }
};

// True when the progress of the file has shown a percentage above 0.
bool PercentShown(const std::string& progress, const std::string& file) {
  size_t at = progress.find("TEXT 1 Processing " + file + ":");
  while (at != std::string::npos) {
    at = progress.find("TEXT 3 ", at);
    if (at == std::string::npos || at + 7 >= progress.size()) return false;
    at += 7;
    if (progress[at] >= '1' && progress[at] <= '9') return true;
  }
  return false;
}

// Small Electromask and Mann 3000 files of known flashes.
const char kElectromask[] =
    "<\"two flashes, hundredths of a mil\"\r\nX100Y200W30V10U0S\r\nX50S\r\nZ";
const char kMann3000[] = "\"T300M two flashes in microns\"\r\nX10Y20W4H2A0;\r\nX30;\r\n$";

TEST_F(EngineCliTest, CorvitexConvertsTheListedFilesIntoOneLibrary) {
  WriteFile("a.em", kElectromask);
  WriteFile("B.EM", kElectromask);
  WriteFile("job.job", JobText({{"5", "a.em"}, {"9", "missing.em"}, {"70", "b.em"}}));
  const EngineOutcome outcome = Run(kCorvitex, "\"@job.job\" \"-o:result\" -u:E");
  EXPECT_EQ(outcome.result, 2) << "two warnings: missing.em left out, layer 70 narrowed to 6";
  EXPECT_TRUE(outcome.messages.empty());

  GdsLibrary library;
  const std::vector<GdsElement> elements = ReadElements("result.gds", &library);
  EXPECT_EQ(library.name, "RESULT.GDS");
  EXPECT_DOUBLE_EQ(library.user_units_per_database_unit, 0.01);
  EXPECT_DOUBLE_EQ(library.metres_per_database_unit, 2.54e-7);
  ASSERT_EQ(elements.size(), 4u);
  const char* outlines[] = {"(85,205)(115,205)(115,195)(85,195)(85,205)",
                            "(35,205)(65,205)(65,195)(35,195)(35,205)"};
  for (size_t i = 0; i < elements.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(elements[i].kind, kGdsBoundary);
    EXPECT_EQ(elements[i].layer, i < 2 ? 5 : 6);
    EXPECT_EQ(elements[i].datatype, elements[i].layer);
    EXPECT_EQ(PointsText(elements[i]), outlines[i % 2]);
  }
  EXPECT_EQ(ReadFile("job.log"),
            "\r\nWarning: PG file left out: The file does not exist.\r\n         'missing.em'\r\n"
            "\r\nTranslating File(s) to Layer Number...\r\n\r\n"
            "a.em  (5)\r\nb.em  (6)\r\n"
            "\r\nWarning: GDS layer 70 changed to 6.\r\n         b.em\r\n");
  EXPECT_EQ(DirectoryNames(),
            (std::vector<std::string>{"B.EM", "a.em", "job.job", "job.log", "result.gds"}))
      << "the job copy is gone";

  EXPECT_EQ(SinkTexts(outcome.progress, ProgressCommand::kTitle),
            std::vector<std::string>{"Corvit (v1.40 04/24/98)"});
  EXPECT_EQ(SinkTexts(outcome.progress, ProgressCommand::kButton),
            std::vector<std::string>{"Cancel"});
  EXPECT_EQ(SinkTexts(outcome.progress, ProgressCommand::kListAdd),
            (std::vector<std::string>{"a.em", "b.em"}));
  EXPECT_EQ(SinkTexts(outcome.progress, ProgressCommand::kText, 1),
            (std::vector<std::string>{"Initializing...", "Processing a.em:", "Processing b.em:"}));
}

TEST_F(EngineCliTest, CorvaxenWritesPathsInMicrons) {
  WriteFile("m.dwm", kMann3000);
  WriteFile("job.job", JobText({{"3", "m.dwm"}}));
  const EngineOutcome outcome =
      Run(kCorvaxen, "\"@job.job\" \"-o:out.gds\" -u:M -3000 -scale 2.000000 -p -top CHIP");
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(SinkTexts(outcome.progress, ProgressCommand::kTitle),
            std::vector<std::string>{"Corvax (v1.40 04/24/98)"});
  GdsLibrary library;
  const std::vector<GdsElement> elements = ReadElements("out.gds", &library);
  EXPECT_EQ(library.structures[0].name, "CHIP");
  EXPECT_DOUBLE_EQ(library.user_units_per_database_unit, 0.001);
  EXPECT_DOUBLE_EQ(library.metres_per_database_unit, 1e-9);
  ASSERT_EQ(elements.size(), 2u);
  // Whole microns, doubled, in nanometre database units.
  EXPECT_EQ(PointsText(elements[0]), "(16000,40000)(24000,40000)");
  EXPECT_EQ(PointsText(elements[1]), "(56000,40000)(64000,40000)");
  for (const GdsElement& element : elements) {
    EXPECT_EQ(element.kind, kGdsPath);
    EXPECT_EQ(element.width, 4000);
    EXPECT_EQ(element.pathtype, 0);
    EXPECT_EQ(element.layer, 3);
  }
}

TEST_F(EngineCliTest, MixedJobInEachEngine) {
  WriteFile("a.em", kElectromask);
  WriteFile("m.dwm", kMann3000);
  WriteFile("job.job", JobText({{"1", "a.em"}, {"2", "missing.em"}, {"3", "m.dwm"}}));

  // corvitex converts the Electromask file and stops at the Mann file.
  EngineOutcome outcome = Run(kCorvitex, "@job.job -o:out.gds -u:E");
  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{"Error: File reading error,\nm.dwm."});
  GdsLibrary library;
  std::vector<GdsElement> elements = ReadElements("out.gds", &library);
  ASSERT_EQ(elements.size(), 2u) << "what was written stays in a closed library";
  EXPECT_EQ(elements[0].layer, 1);
  // The log ends with the message the run ended with, and why.
  EXPECT_EQ(ReadFile("job.log"),
            "\r\nWarning: PG file left out: The file does not exist.\r\n         'missing.em'\r\n"
            "\r\nTranslating File(s) to Layer Number...\r\n\r\na.em  (1)\r\nm.dwm  (3)\r\n"
            "\r\nError: File reading error: the file does not hold ElectroMask data: it begins "
            "with \"\"\", not \"<\" (ASCII) or \"J\" (EBCDIC).\r\n         m.dwm\r\n");

  // corvaxen's unit test rejects the Electromask file and converts the Mann file.
  outcome = Run(kCorvaxen, "@job.job -o:out.gds");
  EXPECT_EQ(outcome.result, 2) << "a.em rejected, missing.em left out";
  EXPECT_EQ(outcome.messages, std::vector<std::string>{"Unit type mismatch or unknown,\na.em."});
  elements = ReadElements("out.gds", &library);
  ASSERT_EQ(elements.size(), 2u);
  EXPECT_EQ(elements[0].layer, 3);
  EXPECT_EQ(PointsText(elements[0]),
            "(8000,21000)(12000,21000)(12000,19000)(8000,19000)(8000,21000)");
  EXPECT_EQ(ReadFile("job.log"),
            "\r\nWarning: Unit type mismatch or unknown.\r\n         a.em\r\n"
            "\r\nWarning: PG file left out: The file does not exist.\r\n         'missing.em'\r\n"
            "\r\nTranslating File(s) to Layer Number...\r\n\r\nm.dwm  (3)\r\n");
}

TEST_F(EngineCliTest, FailuresShowTheirMessageAndResultMinusOne) {
  WriteFile("a.em", kElectromask);
  WriteFile("job.job", JobText({{"1", "a.em"}}));
  WriteFile("none.job", JobText({{"1", "missing.em"}}));
  ASSERT_EQ(symlink("/dev/full", "full.gds"), 0);
  struct Case {
    const char* name;
    const char* arguments;
    const char* message;
  };
  const Case cases[] = {
      {"no arguments", "", "Error: Not enough parameter(s) on command line."},
      {"no unit", "@job.job -o:out", "Error: Not enough parameter(s) on command line."},
      {"job missing", "@absent.job -o:out -u:E", "Error: Cannot open working files."},
      {"no file", "@none.job -o:out -u:E", "No source file selected"},
      {"output directory missing", "@job.job -o:nowhere/out.gds -u:E",
       "Error: Cannot initialize output file."},
      {"disk full", "@job.job -o:full.gds -u:E", "Error: Problem closing output file."},
      {"output is the PG file", "@job.job -o:a.em -u:E", "Error: Cannot initialize output file."},
      {"output is the job", "@job.job -o:job.job -u:E", "Error: Cannot initialize output file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EngineOutcome outcome = Run(kCorvitex, c.arguments);
    EXPECT_EQ(outcome.result, -1);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{c.message});
  }
  for (const std::string& name : DirectoryNames()) {
    EXPECT_NE(name[0], '!') << "a job copy was left: " << name;
  }
  EXPECT_EQ(ReadFile("a.em"), kElectromask);
  EXPECT_EQ(ReadFile("job.job"), JobText({{"1", "a.em"}}));
}

// What the program writes on its stdout and stderr, run without the shell in the
// current directory: both on a terminal (a pseudo-terminal), or both into a pipe.
std::string OutputOf(const char* program, const std::vector<std::string>& arguments,
                     bool terminal) {
  int reader = -1, writer = -1;
  if (terminal) {
    reader = posix_openpt(O_RDWR | O_NOCTTY);
    if (reader < 0 || grantpt(reader) != 0 || unlockpt(reader) != 0) return "no terminal";
    writer = open(ptsname(reader), O_RDWR | O_NOCTTY);
  } else {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    reader = fds[0], writer = fds[1];
  }
  if (writer < 0) return "no terminal";
  std::vector<char*> argv = {const_cast<char*>(program)};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    unsetenv("KAVRINTH_PROGRESS_FD");
    unsetenv("KAVRINTH_RESULT_FD");
    for (int fd : {0, 1, 2}) dup2(writer, fd);
    execv(program, argv.data());
    _exit(127);
  }
  close(writer);
  std::string output;
  // A terminal reports an error, a pipe the end, once the program has ended.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready = {reader, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[512];
    const ssize_t n = read(reader, buffer, sizeof buffer);
    if (n <= 0) break;
    output.append(buffer, static_cast<size_t>(n));
  }
  close(reader);
  if (pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return output;
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// A message reaches a terminal once, in the progress line's place, as it reaches a pipe.
TEST_F(EngineCliTest, MessagesAreWrittenOnceOnATerminal) {
  const struct {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{}, "Error: Not enough parameter(s) on command line."},
      {{"@absent.job", "-o:out", "-u:E"}, "Error: Cannot open working files."},
  };
  for (const char* program : {kCorvitex, kCorvaxen}) {
    for (const auto& c : cases) {
      for (bool terminal : {true, false}) {
        SCOPED_TRACE(::testing::Message()
                     << program << " " << c.message << (terminal ? " on a terminal" : " piped"));
        const std::string output = OutputOf(program, c.arguments, terminal);
        EXPECT_EQ(CountOf(output, c.message), 1u) << output;
      }
    }
  }
}

TEST_F(EngineCliTest, LogThatCannotBeWrittenFailsTheRun) {
  WriteFile("a.em", kElectromask);
  WriteFile("job.job", JobText({{"1", "a.em"}}));
  ASSERT_EQ(symlink("/dev/full", "job.log"), 0);
  const EngineOutcome outcome = Run(kCorvitex, "@job.job -o:out -u:E");
  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(outcome.messages, std::vector<std::string>{"Error: File writing error,\njob.log."});
}

TEST_F(EngineCliTest, CancelClosesAValidLibrary) {
  constexpr int kFlashes = 1000000;
  std::string big = "<";
  big.reserve(kFlashes * 24);
  for (int i = 0; i < kFlashes; ++i) {
    big += "X" + std::to_string(i % 100000 * 10) + "Y" + std::to_string(i / 100000 * 10) +
           "W30V10U0S\r\n";
  }
  WriteFile("big.em", big + "Z");
  WriteFile("a.em", kElectromask);
  WriteFile("job.job", JobText({{"1", "a.em"}, {"2", "big.em"}, {"3", "a.em"}}));
  bool sent = false;
  const EngineOutcome outcome =
      Run(kCorvitex, "@job.job -o:out -u:E", [&](pid_t pid, const std::string& progress) {
        // Cancel once the big file's progress has moved past 0%.
        if (!sent && PercentShown(progress, "big.em")) sent = kill(pid, SIGTERM) == 0;
      });
  ASSERT_TRUE(sent);
  EXPECT_EQ(outcome.result, CancelledExitCode);
  GdsLibrary library;
  const std::vector<GdsElement> elements = ReadElements("out.gds", &library);
  EXPECT_GT(elements.size(), 2u);
  EXPECT_LT(elements.size(), kFlashes + 2u) << "stopped before the big file's end";
  EXPECT_EQ(elements.back().layer, 2) << "the third file was not begun";
  EXPECT_EQ(DirectoryNames(),
            (std::vector<std::string>{"a.em", "big.em", "job.job", "job.log", "out.gds"}));
}

TEST_F(EngineCliTest, HelpPrintsUsage) {
  for (const char* program : {kCorvitex, kCorvaxen}) {
    std::FILE* pipe = popen((std::string(program) + " --help").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text(256, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), pipe));
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(text.rfind("usage: ", 0), 0u) << text;
    EXPECT_NE(text.find("@<job file> -o:<output.gds>"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace kavrinth
