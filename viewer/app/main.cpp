// vexil: the PG and WF2 viewer. A start that names a file while a viewer runs hands the
// file to that viewer and ends.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/qt/dialogs.h"
#include "viewer/app/command_line.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/single_instance.h"
#include "viewer/app/viewer_settings.h"

namespace {

using kavrinth::HandOverRequest;

// How long a start waits for the running viewer to take its file.
constexpr int kHandOverTimeoutMs = 10000;

bool WantsHelp(const std::vector<std::string>& words) {
  for (size_t i = 1; i < words.size(); ++i) {
    if (words[i] == "--help" || words[i] == "-h" || words[i] == "-?") return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words(argv, argv + argc);
  if (WantsHelp(words)) {
    std::fputs(kavrinth::VexilUsage().c_str(), stdout);
    return 0;
  }
  std::unique_ptr<QApplication> application = kavrinth::CreateApplication(argc, argv);
  QApplication::setApplicationName(kavrinth::kVexilAppName);
  // The windows belong to the desktop entry vexil.desktop (its name and icon).
  QApplication::setDesktopFileName("vexil");
  // The directory as the file system names it: names in it travel as bytes.
  std::error_code cwd_error;
  const std::string directory = std::filesystem::current_path(cwd_error).string();
  // Parsing has no side effects: the job of a data file is made only by the viewer that
  // opens it.
  const kavrinth::CommandLineRequest request = kavrinth::ParseCommandLine(words, directory, true);

  const kavrinth::RuntimeDirectoryChoice runtime = kavrinth::ChooseRuntimeDirectory();
  if (!runtime.note.empty()) std::fprintf(stderr, "vexil: %s.\n", runtime.note.c_str());
  kavrinth::HandOverServer server;
  std::string error;
  if (request.has_file) {
    const HandOverRequest hand_over{HandOverRequest::kOpen, directory, words};
    QElapsedTimer waited;
    waited.start();
    for (;;) {
      std::string send_error;
      const kavrinth::HandOverSent sent =
          kavrinth::SendHandOver(hand_over, kHandOverTimeoutMs, &send_error);
      if (sent == kavrinth::HandOverSent::kTaken) return 0;
      if (sent == kavrinth::HandOverSent::kNotOurs) {
        std::fprintf(stderr, "vexil: %s; %s opens in a viewer of its own.\n", send_error.c_str(),
                     words[1].c_str());
        // With the lock free this viewer takes the socket's place; else it only shows.
        if (!server.Start(&error) && !error.empty()) {
          std::fprintf(stderr, "vexil: cannot listen for other starts: %s\n", error.c_str());
        }
        break;
      }
      if (server.Start(&error)) break;  // no viewer runs: this one is the viewer
      if (!error.empty()) {
        std::fprintf(stderr, "vexil: cannot listen for other starts: %s\n", error.c_str());
        break;
      }
      // Another viewer holds the lock and is starting: ask it again shortly.
      if (waited.elapsed() > kHandOverTimeoutMs) {
        std::fprintf(stderr,
                     "vexil: the running viewer did not take %s (%s); the file was not "
                     "handed over.\n",
                     words[1].c_str(), send_error.c_str());
        return 1;
      }
      QThread::msleep(100);
    }
  } else if (!server.Start(&error) && !error.empty()) {
    std::fprintf(stderr, "vexil: cannot listen for other starts: %s\n", error.c_str());
  }

  kavrinth::CLumraApp app;
  QObject::connect(&server, &kavrinth::HandOverServer::requestReceived, &app,
                   &kavrinth::CLumraApp::QueueHandOver);
  app.InitInstance(request);
  return application->exec();
}
