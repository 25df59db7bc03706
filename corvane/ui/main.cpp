// corvane: the EM/Mann -> GDSII shell. With a file name it shows that file (a job log).
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "corvane/ui/main_window.h"
#include "support/qt/dialogs.h"

namespace {

constexpr const char* kUsage =
    "Usage: corvane [file.log]\n"
    "The EM/Mann to GDSII shell: select Electromask or Mann PG files, set the translator\n"
    "settings and the GDS layers, translate them with corvitex or corvaxen, read the job log\n"
    "and view the results. With a file name, the file is shown in the log view.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string file;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg[0] == '\0') {
      std::fprintf(stderr, "corvane: the file name given is empty\n%s", kUsage);
      return 2;
    }
    if (arg[0] == '-' || !file.empty()) {
      std::fprintf(stderr, "corvane: unexpected argument '%s'\n%s", arg, kUsage);
      return 2;
    }
    file = arg;
  }
  // A shell without a screen could only wait for a user who cannot reach it.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (!platform && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    std::fputs("corvane: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)\n", stderr);
    return 1;
  }
  std::unique_ptr<QApplication> application = kavrinth::CreateApplication(argc, argv);
  QApplication::setApplicationName("corvane");
  // The windows belong to the desktop entry corvane.desktop (its name and icon).
  QApplication::setDesktopFileName("corvane");
  kavrinth::CorvaneMainWindow window;
  window.show();
  if (!file.empty()) window.OpenDocumentFile(file);
  return application->exec();
}
