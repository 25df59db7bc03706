// The real vexil program started as a user starts it, each test with its own settings
// and runtime directory: start-up, the hand-over of a second start, the close request,
// bad files, a sender that cannot deliver, and a run on an X server (Xvfb).
#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <memory>

#include "viewer/app/single_instance.h"
#include "viewer/app/tests/vexil_test_support.h"

namespace kavrinth {
namespace {

// A child process, killed at the end of the test when it still runs.
class Child {
 public:
  Child(const QString& program, const QStringList& args, const std::string& directory,
        const QProcessEnvironment& environment) {
    process_.setProgram(program);
    process_.setArguments(args);
    process_.setWorkingDirectory(QString::fromStdString(directory));
    process_.setProcessEnvironment(environment);
    process_.start();
    process_.waitForStarted(10000);
  }
  ~Child() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  // Waits for the end at most the time given (killing the child when it passes): the
  // exit code, or -1 when it had to be killed or crashed.
  int Finish(int timeout_ms) {
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(timeout_ms)) {
      process_.kill();
      process_.waitForFinished(5000);
      return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }
  bool running() const { return process_.state() == QProcess::Running; }
  std::string Output() { return process_.readAllStandardOutput().toStdString(); }
  std::string Errors() { return process_.readAllStandardError().toStdString(); }
  QProcess& process() { return process_; }

 private:
  QProcess process_;
};

class VexilProgramTest : public VexilTest {
 protected:
  void SetUp() override {
    VexilTest::SetUp();
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert("QT_QPA_PLATFORM", "offscreen");
    environment_.remove("DISPLAY");
    environment_.remove("WAYLAND_DISPLAY");
  }

  std::unique_ptr<Child> Run(const QStringList& args, const std::string& directory) {
    return std::make_unique<Child>(VEXIL_PROGRAM, args, directory, environment_);
  }

  // True once a viewer listens on the test's socket.
  static bool WaitListening(Child* viewer, int timeout_ms = 20000) {
    return WaitFor(
               [viewer] {
                 if (!viewer->running()) return true;
                 QLocalSocket socket;
                 socket.connectToServer(HandOverSocketPath());
                 return socket.waitForConnected(100);
               },
               timeout_ms) &&
           viewer->running();
  }

  // Asks the running viewer to close and waits for its end: its exit code.
  static int CloseViewer(Child* viewer) {
    std::string error;
    HandOverRequest close;
    close.kind = HandOverRequest::kClose;
    EXPECT_TRUE(SendHandOver(close, 10000, &error)) << error;
    return viewer->Finish(20000);
  }

  QProcessEnvironment environment_;
};

TEST_F(VexilProgramTest, HelpPrintsTheUsage) {
  auto help = Run({"--help"}, temp_.path());
  EXPECT_EQ(help->Finish(20000), 0);
  EXPECT_NE(help->Output().find("Usage: vexil"), std::string::npos);
}

TEST_F(VexilProgramTest, StartsEmptyAndKeepsItsSettings) {
  WriteSetting("Toolbar", "0");
  auto viewer = Run({}, temp_.path());
  ASSERT_TRUE(WaitListening(viewer.get())) << viewer->Errors();
  EXPECT_EQ(CloseViewer(viewer.get()), 0) << viewer->Errors();
  EXPECT_EQ(Setting("Toolbar"), "0") << "read at start-up, written back at close";
  EXPECT_EQ(Setting("Statusbar"), "1");
  EXPECT_EQ(Setting("LastJobFileName"), Path("*.job"));
  EXPECT_EQ(Setting("TmpDir"), temp_.path());
}

TEST_F(VexilProgramTest, SecondStartHandsItsFileOverAndEnds) {
  WriteFile("layer1.em", kSmallEmFile);
  auto first = Run({"layer1.em"}, temp_.path());
  ASSERT_TRUE(WaitListening(first.get())) << first->Errors();
  // From another directory, with a name relative to it.
  const std::string other = Path("other");
  std::filesystem::create_directory(other);
  WriteFile("other/layer2.em", kSmallEmFile);
  auto second = Run({"layer2.em"}, other);
  EXPECT_EQ(second->Finish(20000), 0) << second->Errors();
  EXPECT_TRUE(first->running());
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(other + "/layer2.job"); }, 20000));
  EXPECT_EQ(CloseViewer(first.get()), 0) << first->Errors();
  EXPECT_TRUE(std::filesystem::exists(Path("layer1.job")));
  EXPECT_EQ(Setting("LastJobFileName"), other + "/layer2.job") << "the handed-over job is open";
}

TEST_F(VexilProgramTest, SecondStartWithoutAFileIsAViewerOfItsOwn) {
  auto first = Run({}, temp_.path());
  ASSERT_TRUE(WaitListening(first.get())) << first->Errors();
  auto second = Run({"-fbclr"}, temp_.path());
  WaitFor([] { return false; }, 1000);
  EXPECT_TRUE(second->running()) << "options alone hand nothing over";
  EXPECT_TRUE(first->running());
  EXPECT_EQ(CloseViewer(first.get()), 0) << "the close request reaches the first";
  EXPECT_TRUE(second->running());
}

TEST_F(VexilProgramTest, TwoStartsTogetherMakeOneViewer) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  auto a = Run({"a.em"}, temp_.path());
  auto b = Run({"b.em"}, temp_.path());
  ASSERT_TRUE(WaitFor([&] { return !a->running() || !b->running(); }, 30000));
  Child* ended = a->running() ? b.get() : a.get();
  Child* viewer = a->running() ? a.get() : b.get();
  EXPECT_EQ(ended->Finish(1000), 0) << ended->Errors();
  ASSERT_TRUE(WaitFor(
      [&] {
        return std::filesystem::exists(Path("a.job")) && std::filesystem::exists(Path("b.job"));
      },
      20000));
  ASSERT_TRUE(WaitListening(viewer));
  EXPECT_EQ(CloseViewer(viewer), 0);
  const std::string handed = ended == a.get() ? Path("a.job") : Path("b.job");
  EXPECT_EQ(Setting("LastJobFileName"), handed);
}

TEST_F(VexilProgramTest, MissingOrMalformedFilesGiveAMessageAndAnEmptyViewer) {
  auto viewer = Run({"missing.em"}, temp_.path());
  ASSERT_TRUE(WaitListening(viewer.get())) << viewer->Errors();
  WriteFile("bad.em", "not pattern data at all");
  auto second = Run({"bad.em"}, temp_.path());
  EXPECT_EQ(second->Finish(20000), 0);
  EXPECT_EQ(CloseViewer(viewer.get()), 0);
  const std::string errors = viewer->Errors();
  EXPECT_NE(errors.find("The file missing.em does not exist."), std::string::npos) << errors;
  EXPECT_NE(errors.find("Could not load layer information"), std::string::npos) << errors;
  EXPECT_EQ(Setting("LastJobFileName"), Path("*.job")) << "no job was opened";
}

TEST_F(VexilProgramTest, SenderThatCannotDeliverSaysSo) {
  // A viewer that holds the lock but never answers.
  QLockFile lock(HandOverLockPath());
  ASSERT_TRUE(lock.tryLock(0));
  WriteFile("a.em", kSmallEmFile);
  auto sender = Run({"a.em"}, temp_.path());
  EXPECT_EQ(sender->Finish(40000), 1);
  EXPECT_NE(sender->Errors().find("a.em"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Path("a.job")));
}

// An X server of its own on a free display number, stopped at the end.
class Xvfb {
 public:
  Xvfb() {
    for (int display = 71; display < 200 && number_ < 0; ++display) {
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
      const std::string lock = "/tmp/.X" + std::to_string(display) + "-lock";
      if (std::filesystem::exists(socket) || std::filesystem::exists(lock)) continue;
      process_.start("Xvfb", {QStringLiteral(":%1").arg(display), "-nolisten", "tcp", "-screen",
                              "0", "1024x768x24"});
      if (!process_.waitForStarted(5000)) return;
      if (WaitFor([&] { return std::filesystem::exists(socket) || !Running(); }, 10000) &&
          Running()) {
        number_ = display;
      } else {
        process_.waitForFinished(2000);
      }
    }
  }
  ~Xvfb() {
    if (Running()) {
      process_.terminate();
      if (!process_.waitForFinished(5000)) process_.kill();
      process_.waitForFinished(2000);
    }
  }
  bool Running() const { return process_.state() == QProcess::Running; }
  int number() const { return number_; }

 private:
  QProcess process_;
  int number_ = -1;
};

TEST_F(VexilProgramTest, RunsOnAnXServer) {
  Xvfb server;
  ASSERT_GE(server.number(), 0) << "Xvfb could not be started (tools/setup.sh installs it)";
  environment_.insert("QT_QPA_PLATFORM", "xcb");
  environment_.insert("DISPLAY", QStringLiteral(":%1").arg(server.number()));
  WriteFile("layer1.em", kSmallEmFile);
  WriteFile("layer2.em", kSmallEmFile);
  // The titles of the viewer's own windows on the X server (class "vexil").
  auto titles = [&] {
    QProcess list;
    list.setProcessEnvironment(environment_);
    list.start("xwininfo", {"-root", "-tree"});
    if (!list.waitForFinished(10000)) list.kill();
    std::vector<std::string> found;
    for (const QString& line : QString::fromUtf8(list.readAllStandardOutput()).split('\n')) {
      const qsizetype start = line.indexOf("\"Vexil");
      if (start >= 0 && line.contains("(\"vexil\""))
        found.push_back(
            line.mid(start + 1, line.indexOf('"', start + 1) - start - 1).toStdString());
    }
    return found;
  };
  auto viewer = Run({"layer1.em"}, temp_.path());
  ASSERT_TRUE(WaitListening(viewer.get())) << viewer->Errors();
  ASSERT_TRUE(
      WaitFor([&] { return titles() == std::vector<std::string>{"Vexil - layer1.job"}; }, 20000))
      << viewer->Errors() << ::testing::PrintToString(titles());
  // A second start shows no window of its own; the first shows the job handed over.
  auto second = Run({"layer2.em"}, temp_.path());
  EXPECT_EQ(second->Finish(20000), 0) << second->Errors();
  ASSERT_TRUE(
      WaitFor([&] { return titles() == std::vector<std::string>{"Vexil - layer2.job"}; }, 20000));
  EXPECT_EQ(CloseViewer(viewer.get()), 0) << viewer->Errors();
  EXPECT_EQ(Setting("LastJobFileName"), Path("layer2.job"));
  EXPECT_EQ(Setting("WindowshowCmd"), "0");
}

}  // namespace
}  // namespace kavrinth
