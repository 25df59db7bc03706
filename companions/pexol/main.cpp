// pexol, the GDSII viewer the shells start: it shows the file in KLayout when KLayout is
// installed, and otherwise says how to install it.
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"

namespace {

constexpr const char* kUsage =
    "Usage: pexol <file.gds> [-title:<caption>]\n"
    "Shows a GDSII file in KLayout; says how to install KLayout when it is missing.\n";

// The first executable "klayout" along PATH, or empty.
std::string FindKLayout() {
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string directory = list.substr(start, end - start);
    if (!directory.empty()) {
      const std::string candidate = directory + "/klayout";
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return std::string();
}

// Says it in a message box when there is a display, else on stderr.
void Tell(int& argc, char** argv, const std::string& text, const std::string& caption) {
  std::unique_ptr<QApplication> application = kavrinth::CreateApplication(argc, argv);
  kavrinth::ShowMessage(text, caption, kavrinth::MessageIcon::kWarning);
}

}  // namespace

int main(int argc, char** argv) {
  std::string file;
  std::string caption = "Pexol";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg.rfind("-title:", 0) == 0) {
      caption = arg.substr(7);
    } else if (file.empty()) {
      file = arg;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr, "pexol: no GDSII file given\n%s", kUsage);
    kavrinth::ExitWithResult(-1);
  }
  const std::string klayout = FindKLayout();
  if (klayout.empty()) {
    Tell(argc, argv,
         "KLayout is not installed, so " + file +
             " cannot be shown.\nInstall it with: apt-get install klayout",
         caption);
    kavrinth::ExitWithResult(-1);
  }
  std::vector<char*> args{const_cast<char*>(klayout.c_str()), const_cast<char*>(file.c_str()),
                          nullptr};
  execv(args[0], args.data());
  const std::string reason = std::strerror(errno);
  Tell(argc, argv, "KLayout (" + klayout + ") could not be started: " + reason + ".", caption);
  kavrinth::ExitWithResult(-1);
}
