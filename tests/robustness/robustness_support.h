// Helpers of the robustness tests: a scratch working directory, a file-size limit for
// this process and the children it starts, and the engines run as the shells run them,
// with their progress lines read while they work.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "gdsii/writer.h"
#include "platform/process.h"
#include "support/progress_protocol.h"

namespace kavrinth::robustness {

inline const std::string kBinDir = KAVRINTH_BIN_DIR;

// A fresh directory under /tmp that is the current directory while the object lives.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = "/tmp/kavrinth-robustness-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~ScratchDirectory() {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::vector<std::string> Names() const;

 private:
  std::string path_;
  std::filesystem::path previous_;
};

// The names in a directory (not below it), sorted.
inline std::vector<std::string> NamesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> ScratchDirectory::Names() const { return NamesIn(path_); }

// The temporary names the system makes: "!0000001.TMP" and the like, CFG.TMP, an INI
// file's "<name>.<pid>-<n>.tmp", and the "<name>.XXXXXX" of a GDSII file being replaced.
inline bool IsTemporaryName(const std::string& name) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const size_t dot = name.rfind('.');
  const bool replacing = dot != std::string::npos && dot > 0 && name.size() - dot == 7 &&
                         name.rfind('.', dot - 1) != std::string::npos;
  return name.starts_with('!') || upper.ends_with(".TMP") || replacing;
}

inline std::vector<std::string> TemporaryNames(const std::vector<std::string>& names) {
  std::vector<std::string> temporaries;
  std::copy_if(names.begin(), names.end(), std::back_inserter(temporaries), IsTemporaryName);
  return temporaries;
}

// Limits the size of files this process (and every child it starts meanwhile) may
// write, with SIGXFSZ ignored so that a write beyond it fails with EFBIG instead of
// killing the writer.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previous_handler_ = SIG_DFL;
};

// What an engine run ended with.
struct EngineRun {
  int32_t result = 12345;
  std::vector<ProgressLine> progress;
  bool signalled = false;  // the SIGTERM was sent
};

// True for a TEXT line that shows a percentage above zero.
inline bool ShowsProgress(const ProgressLine& line) {
  if (line.command != ProgressCommand::kText || !line.text.ends_with('%')) return false;
  return std::atoi(line.text.c_str()) > 0;
}

// Runs an engine in the current directory with the result channel and a progress pipe,
// reading its progress lines as they come. With cancel_when, the engine gets SIGTERM at
// the first line for which it is true.
inline EngineRun RunEngineProgram(
    const std::vector<std::string>& argv,
    const std::function<bool(const ProgressLine&)>& cancel_when = nullptr) {
  EngineRun run;
  int fds[2];
  if (::pipe(fds) != 0) return run;
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  ::setenv("KAVRINTH_PROGRESS_FD", std::to_string(fds[1]).c_str(), 1);
  ChildProcess child;
  const int started = child.Start(argv, nullptr, true);
  ::unsetenv("KAVRINTH_PROGRESS_FD");
  ::close(fds[1]);
  EXPECT_EQ(started, 0) << argv[0];
  std::string pending;
  char block[4096];
  for (ssize_t got; started == 0 && (got = ::read(fds[0], block, sizeof block)) > 0;) {
    pending.append(block, static_cast<size_t>(got));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::optional<ProgressLine> line = ParseProgressLine(pending.substr(0, end));
      pending.erase(0, end + 1);
      if (!line) continue;
      if (cancel_when && !run.signalled && cancel_when(*line)) {
        run.signalled = ::kill(child.id(), SIGTERM) == 0;
      }
      run.progress.push_back(std::move(*line));
    }
  }
  ::close(fds[0]);
  if (started != 0) return run;
  int error = 0;
  ChildStatus status;
  while ((status = child.Poll(&error)) == ChildStatus::kRunning) ::usleep(2000);
  EXPECT_EQ(status, ChildStatus::kEnded);
  run.result = child.result();
  return run;
}

// The MESSAGE texts of a run.
inline std::vector<std::string> Messages(const EngineRun& run) {
  std::vector<std::string> texts;
  for (const ProgressLine& line : run.progress) {
    if (line.command == ProgressCommand::kMessage) texts.push_back(line.text);
  }
  return texts;
}

}  // namespace kavrinth::robustness

namespace kavrinth::robustness {

// The engines, as built beside each other.
inline const std::string kTabreng = kBinDir + "/tabreng";
inline const std::string kCorvitex = kBinDir + "/corvitex";
inline const std::string kCorvaxen = kBinDir + "/corvaxen";

// An Electromask file of `count` flashes in a row (hundredths of a mil).
inline std::string ElectromaskFile(int count) {
  std::string text = "<";
  text.reserve(static_cast<size_t>(count) * 24 + 2);
  for (int i = 0; i < count; ++i) {
    text +=
        "X" + std::to_string(i % 1000 * 10) + "Y" + std::to_string(i / 1000 * 10) + "W30V10U0S\r\n";
  }
  return text + "Z";
}

// A Mann 3000 file of `count` flashes, in microns.
inline std::string Mann3000File(int count) {
  std::string text = "\"T300M\"\r\n";
  text.reserve(static_cast<size_t>(count) * 24 + 12);
  for (int i = 0; i < count; ++i) {
    text +=
        "X" + std::to_string(i % 1000 * 10) + "Y" + std::to_string(i / 1000 * 10) + "W4H2A0;\r\n";
  }
  return text + "$";
}

// An engine job file naming one PG file on one layer, as the shell writes it.
inline std::string EngineJob(const std::string& pg_file) {
  return "[General]\r\nlayers=layer0\r\n[layer0]\r\nlayer=1," + pg_file + "\r\n";
}

// The files of a GDSII -> PG job in the current directory: chip.gds with `paths` wide
// paths in its structure TOP (each becomes trapezoids in the translated stream), its
// scan report, pg.cfg, and a program directory "bin" with stand-ins of the support files
// the engine checks for (runs pass -opost, so the post-processor is never loaded).
inline void MakeTranslationJob(int paths) {
  GdsWriter writer;
  writer.OpenLibrary("chip.gds", "UM", 0.001, "", 1.0, false);
  writer.SetFlags(kGdsNoSpooling);
  writer.BeginStructure("TOP");
  for (int i = 0; i < paths; ++i) {
    const int32_t y = 20 * (i % 5000);
    const std::vector<GdsIntPoint> points = {{20 * (i / 5000), y}, {20 * (i / 5000) + 15, y}};
    writer.WritePathEx(std::span<const GdsIntPoint>(points), 1, 0, int32_t{10}, 0, 0, 0);
  }
  writer.EndStructure();
  writer.EndLibrary();
  WriteFile("chip.ssn",
            "LAYERS_CONTAINING_DATA\r\n--\r\n1\r\n\r\n"
            "HIERARCHY of INDEPENDENT STRUCTURES\r\nTOP\r\n");
  WriteFile("pg.cfg", "SMALLANGLE\r\n0.1\r\n\r\n");
  std::filesystem::create_directory("bin");
  for (const char* name : {"selvar", "libquenrix.so", "mirelt.shx"})
    WriteFile("bin/" + std::string(name), "");
  ::setenv("KAVRINTH_PROGRAM_DIR", (std::filesystem::current_path() / "bin").c_str(), 1);
}

}  // namespace kavrinth::robustness
