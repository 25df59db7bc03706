// A small child program for the run-and-wait tests: it reports where it runs and
// what it got, sleeps, and ends with a given result, through the result channel or
// around it. Options act in the order given.
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "platform/process.h"

namespace {

// Where the reports go: stdout, or the file of --out (whose own descriptor is left
// out of the descriptor report).
std::FILE* out = stdout;

int32_t Number(const char* text) { return static_cast<int32_t>(std::strtol(text, nullptr, 10)); }

// The working directory, then every argument, one a line.
void Print(int argc, char** argv) {
  std::string cwd(4096, '\0');
  std::fprintf(out, "%s\n", getcwd(cwd.data(), cwd.size()) ? cwd.c_str() : "?");
  for (int i = 0; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
}

void PrintVariable(const char* name) {
  const char* value = std::getenv(name);
  std::fprintf(out, "%s=%s\n", name, value ? value : "(unset)");
}

// The descriptors the program was given, one line: "fds 0 1 2 ...".
void PrintDescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return;
  std::fprintf(out, "fds");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const int fd = std::atoi(entry->d_name);
    if (fd == dirfd(dir) || (out != stdout && fd == fileno(out))) continue;
    std::fprintf(out, " %d", fd);
  }
  closedir(dir);
  std::fprintf(out, "\n");
}

// Writes text as it stands to the result descriptor (to test what a parent makes of
// a malformed result).
void WriteResultText(const char* text) {
  if (const char* fd = std::getenv("KAVRINTH_RESULT_FD")) {
    std::string_view view(text);
    if (write(std::atoi(fd), view.data(), view.size()) < 0) std::perror("write");
  }
}

void CloseOut() {
  if (out != stdout) std::fclose(out);
  out = stdout;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "0";
    if (option == "--out") {
      CloseOut();
      if (std::FILE* file = std::fopen(value, "ae")) out = file;
      ++i;
    } else if (option == "--print") {
      Print(argc, argv);
    } else if (option == "--env") {
      PrintVariable(value);
      ++i;
    } else if (option == "--fds") {
      PrintDescriptors();
    } else if (option == "--sleep") {
      std::fflush(out);
      std::this_thread::sleep_for(std::chrono::milliseconds(Number(value)));
      ++i;
    } else if (option == "--result-text") {
      WriteResultText(value);
      ++i;
    } else if (option == "--exit") {
      CloseOut();
      kavrinth::ExitWithResult(Number(value));
    } else if (option == "--raw-exit") {
      CloseOut();
      _exit(static_cast<int>(Number(value)));
    }
  }
  CloseOut();
  kavrinth::ExitWithResult(0);
}
