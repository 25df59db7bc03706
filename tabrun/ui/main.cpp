// Tabrun, the GDSII -> PG shell: "tabrun [-dbgx] [file.gds | file.log]".
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/qt/dialogs.h"
#include "tabrun/ui/main_frame.h"

namespace {

constexpr const char* kUsage =
    "Usage: tabrun [-dbgx] [file]\n"
    "  file   a GDSII file to scan and translate to PG data, or a job log (.log) to show\n"
    "  -dbgx  show every engine and converter command line before it runs, and keep the\n"
    "         engine's side files\n";

}  // namespace

int main(int argc, char** argv) {
  bool debug = false;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "-dbgx") == 0) {
      debug = true;
      continue;
    }
    if (argv[i][0] == '-' && file.empty()) {
      std::fprintf(stderr, "tabrun: unknown option '%s'\n%s", argv[i], kUsage);
      return 2;
    }
    // Everything else is one file name, blanks and all.
    if (!file.empty()) file += ' ';
    file += argv[i];
  }
  if (debug) file.clear();  // with -dbgx the program starts a new, empty job
  // A relative name means the directory tabrun was started in; the scanner and the engine
  // run in the working directory, which may be another one.
  if (!file.empty()) {
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ignored);
    if (!absolute.empty()) file = absolute.lexically_normal().string();
  }
  // A shell without a screen could only wait for a user who cannot reach it.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
      !std::getenv("WAYLAND_DISPLAY")) {
    std::fputs("tabrun: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)\n", stderr);
    return 1;
  }
  auto application = kavrinth::CreateApplication(argc, argv);
  // The windows belong to the desktop entry tabrun.desktop (its name and icon).
  QApplication::setDesktopFileName("tabrun");
  kavrinth::CMainFrame frame(debug);
  frame.show();
  if (!file.empty()) {
    QTimer::singleShot(0, &frame, [&frame, file] { frame.OpenDocumentFile(file); });
  }
  return application->exec();
}
