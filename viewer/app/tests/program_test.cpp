// The real vexil program started as a user starts it, each test with its own settings
// and runtime directory: start-up, the hand-over of a second start, the close request,
// bad files, a sender that cannot deliver, and a run on an X server (Xvfb).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QRect>
#include <QThread>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>

#include "testing/x_server.h"
#include "viewer/app/single_instance.h"
#include "viewer/app/tests/hand_over_test_support.h"
#include "viewer/app/tests/vexil_test_support.h"
#include "viewer/edit/edit_store.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/pg_scan.h"

namespace kavrinth {
namespace {

// A child process, killed at the end of the test when it still runs.
class Child {
 public:
  Child(const QString& program, const QStringList& args, const std::string& directory,
        const QProcessEnvironment& environment, std::function<void()> in_child = {}) {
    if (in_child) process_.setChildProcessModifier(in_child);
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

  std::unique_ptr<Child> Run(const QStringList& args, const std::string& directory,
                             std::function<void()> in_child = {}) {
    return std::make_unique<Child>(VEXIL_PROGRAM, args, directory, environment_,
                                   std::move(in_child));
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
    EXPECT_EQ(SendHandOver(close, 10000, &error), HandOverSent::kTaken) << error;
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

// A name that is not UTF-8 travels as the bytes the file system uses: the running viewer
// opens the file the second start was given.
TEST_F(VexilProgramTest, NamesThatAreNotUtf8AreHandedOverAsTheyAre) {
  const std::string name = "bad\xe9.em";
  WriteFile(name, kSmallEmFile);
  auto first = Run({}, temp_.path());
  ASSERT_TRUE(WaitListening(first.get())) << first->Errors();
  // The shell gives the program the byte 0xE9 itself (QProcess would write UTF-8).
  Child second("/bin/sh", {"-c", "exec \"$0\" \"$(printf 'bad\\351.em')\"", VEXIL_PROGRAM},
               temp_.path(), environment_);
  EXPECT_EQ(second.Finish(20000), 0) << second.Errors();
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(Path("bad\xe9.job")); }, 20000));
  EXPECT_EQ(CloseViewer(first.get()), 0);
  const std::string errors = first->Errors();
  EXPECT_EQ(errors.find("does not exist"), std::string::npos) << errors;
  EXPECT_EQ(Setting("LastJobFileName"), Path("bad\xe9.job"));
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

using test_support::ShownWindow;
using test_support::TestXServer;

// A user at the viewer's X server; between steps the test's own events go on (its
// QProcess children are watched through them).
class XUser : public test_support::XUser {
 public:
  explicit XUser(int display_number)
      : test_support::XUser(display_number, [] { WaitFor([] { return false; }, 250); }) {}
};

class VexilOnXTest : public VexilProgramTest {
 protected:
  void SetUp() override {
    VexilProgramTest::SetUp();
    server_ = std::make_unique<TestXServer>();
    ASSERT_GE(server_->number(), 0) << "Xvfb could not be started (tools/setup.sh installs it)";
    environment_.insert("QT_QPA_PLATFORM", "xcb");
    environment_.insert("DISPLAY", QStringLiteral(":%1").arg(server_->number()));
  }
  // vexil on a one-layer Electromask file of three flashes, its window shown and drawn.
  void StartOnLayer1(XUser* user, std::unique_ptr<Child>* viewer,
                     std::optional<ShownWindow>* main) {
    WriteFile("layer1.em", "<X100Y200W30V10U0SX300SX500Y500W10S\nZ");
    *viewer = Run({"layer1.em"}, temp_.path());
    ASSERT_TRUE(WaitListening(viewer->get())) << (*viewer)->Errors();
    *main = WaitShown(user, "Vexil - layer1.job");
    ASSERT_TRUE(*main) << (*viewer)->Errors();
    WaitFor([] { return false; }, 1000);  // the first drawing
  }
  // The viewer's mapped window of that title, if there is one.
  std::optional<ShownWindow> Shown(const std::string& title) {
    return test_support::FindShownWindow(server_->number(), title, "vexil");
  }
  // Waits for the window of that title to show and gives it the focus.
  std::optional<ShownWindow> WaitShown(XUser* user, const std::string& title) {
    std::optional<ShownWindow> window;
    WaitFor([&] { return (window = Shown(title)).has_value(); }, 20000);
    if (window) user->Focus(window->id);
    return window;
  }
  bool WaitGone(const std::string& title) {
    return WaitFor([&] { return !Shown(title).has_value(); }, 20000);
  }
  static size_t FlashCount(const std::string& path) {
    const GdxHandle handle = ScanPgFile(nullptr, path, 900);
    size_t count = 0;
    for (GdxEntryCursor c(GdxLibraryFromHandle(handle)); c.Valid(); c.Next()) {
      FlashValues f;
      count += FlashOfElement(c.Type(), c.Data(), &f) ? 1 : 0;
    }
    GdxFreeLibrary(handle);
    return count;
  }

  std::unique_ptr<TestXServer> server_;
};

// The user draws a rectangle, asks for Merge Layers in a job without WF2 layers, saves the
// rectangle on the way in, names a merge file and presses OK: the viewer says there is
// nothing to merge and keeps the dialog; afterwards it still edits and saves.
TEST_F(VexilOnXTest, MergeLayersWithoutWf2LayersSaysSoAndTheViewerGoesOn) {
  XUser user(server_->number());
  ASSERT_TRUE(user.ready()) << "the X libraries (libX11, libXtst) are not there";
  std::unique_ptr<Child> viewer;
  std::optional<ShownWindow> main;
  ASSERT_NO_FATAL_FAILURE(StartOnLayer1(&user, &viewer, &main));
  // Tools, Rectangle 2 Pt. (the first row), two corners in the middle of the view.
  const auto rectangle = [&](int dx) {
    user.Focus(main->id);
    user.Keys("Alt_L+t");
    user.Keys("Return");
    const int cx = main->x + main->width / 2 + dx, cy = main->y + main->height / 2;
    user.Click(cx - 30, cy - 20);
    user.Click(cx + 30, cy + 20);
    user.Keys("Escape");
  };
  rectangle(-60);
  // Tools, Merge Layers... (the last row): the edit is offered for saving first.
  user.Focus(main->id);
  user.Keys("Alt_L+t");
  user.Keys("Up");
  user.Keys("Return");
  ASSERT_TRUE(WaitShown(&user, "Save Changes")) << viewer->Errors();
  user.Keys("Return");  // Yes
  std::optional<ShownWindow> merge = WaitShown(&user, "Merge Layers");
  ASSERT_TRUE(merge) << viewer->Errors();
  EXPECT_EQ(FlashCount(Path("layer1.em")), 4u) << "the rectangle was saved";
  user.Type("merged");
  user.Keys("Tab");
  user.Keys("space");   // Add
  user.Keys("Return");  // OK
  // The message box of the merge (its text is not readable from the X server; the window
  // tests check it is "Nothing to merge.").
  ASSERT_TRUE(WaitShown(&user, "Merge")) << viewer->Errors();
  user.Keys("Return");
  ASSERT_TRUE(WaitGone("Merge"));
  EXPECT_TRUE(viewer->running()) << viewer->Errors();
  EXPECT_TRUE(Shown("Merge Layers").has_value()) << "the dialog stays open";
  EXPECT_FALSE(std::filesystem::exists(Path("merged.wf2")));
  merge = WaitShown(&user, "Merge Layers");
  ASSERT_TRUE(merge);
  user.Keys("Escape");
  ASSERT_TRUE(WaitGone("Merge Layers"));
  // Another rectangle, saved with File, Save (the fifth row).
  rectangle(60);
  user.Focus(main->id);
  user.Keys("Alt_L+f");
  for (int i = 0; i < 4; ++i) user.Keys("Down");
  user.Keys("Return");
  ASSERT_TRUE(WaitShown(&user, "Save Changes")) << viewer->Errors();
  user.Keys("Return");  // Yes
  ASSERT_TRUE(WaitGone("Save Changes"));
  EXPECT_TRUE(WaitFor([&] { return FlashCount(Path("layer1.em")) == 5u; }, 10000));
  EXPECT_EQ(CloseViewer(viewer.get()), 0) << viewer->Errors();
}

// With an edit not yet saved, the user pastes into the Add Text box of Tools, Text while
// the clipboard of the new X session holds nothing: the viewer goes on, and the edit is
// still there to be saved.
TEST_F(VexilOnXTest, APasteFromTheEmptyClipboardIntoAddTextKeepsTheViewerAndItsEdits) {
  XUser user(server_->number());
  ASSERT_TRUE(user.ready()) << "the X libraries (libX11, libXtst) are not there";
  std::unique_ptr<Child> viewer;
  std::optional<ShownWindow> main;
  ASSERT_NO_FATAL_FAILURE(StartOnLayer1(&user, &viewer, &main));
  ASSERT_EQ(FlashCount(Path("layer1.em")), 3u);
  // Tools, Rectangle 2 Pt.: a rectangle in the middle of the view, not saved.
  user.Keys("Alt_L+t");
  user.Keys("Return");
  const int cx = main->x + main->width / 2, cy = main->y + main->height / 2;
  user.Click(cx - 30, cy - 20);
  user.Click(cx + 30, cy + 20);
  user.Keys("Escape");
  // Tools, Text (the third row): the Add Text box has the focus.
  user.Focus(main->id);
  user.Keys("Alt_L+t");
  user.Keys("Down");
  user.Keys("Down");
  user.Keys("Return");
  ASSERT_TRUE(WaitShown(&user, "Add Text")) << viewer->Errors();
  user.Type("ab");
  user.Keys("Control_L+v");
  user.Keys("Shift_L+Insert");
  WaitFor([] { return false; }, 300);
  ASSERT_TRUE(viewer->running()) << "the viewer died on a paste from the empty clipboard\n"
                                 << viewer->Errors();
  user.Keys("Escape");
  ASSERT_TRUE(WaitGone("Add Text"));
  // File, Save (the fifth row) saves the rectangle.
  user.Focus(main->id);
  user.Keys("Alt_L+f");
  for (int i = 0; i < 4; ++i) user.Keys("Down");
  user.Keys("Return");
  ASSERT_TRUE(WaitShown(&user, "Save Changes")) << viewer->Errors();
  user.Keys("Return");  // Yes
  ASSERT_TRUE(WaitGone("Save Changes"));
  EXPECT_TRUE(WaitFor([&] { return FlashCount(Path("layer1.em")) == 4u; }, 10000))
      << "the edit made before the paste is saved";
  EXPECT_EQ(CloseViewer(viewer.get()), 0) << viewer->Errors();
}

// A thousand connections held open and idle (a desktop's viewer may open 1024 files) are
// closed in turn; once they have gone a start hands its file over at once.
TEST_F(VexilOnXTest, IdleConnectionsDoNotStopTheHandOver) {
  XUser user(server_->number());
  ASSERT_TRUE(user.ready()) << "the X libraries (libX11, libXtst) are not there";
  constexpr int kIdle = 1000;
  ASSERT_GE(test_support::RaiseOpenFileLimit(kIdle + 200), rlim_t(kIdle + 100))
      << "this test holds a thousand connections";
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  WriteFile("c.em", kSmallEmFile);
  auto viewer = Run({"a.em"}, temp_.path(), [] {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = 1024;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  });
  ASSERT_TRUE(WaitListening(viewer.get())) << viewer->Errors();
  ASSERT_TRUE(WaitShown(&user, "Vexil - a.job")) << viewer->Errors();
  const std::string path = HandOverSocketPath().toStdString();
  std::vector<int> idle;
  for (int i = 0; i < kIdle; ++i) {
    const int fd = test_support::ConnectIdle(path, 5000);
    if (fd < 0) break;
    idle.push_back(fd);
  }
  EXPECT_EQ(idle.size(), size_t(kIdle)) << "the viewer stopped taking connections";
  WaitFor([] { return false; }, 500);
  for (int fd : idle) ::close(fd);
  QElapsedTimer took;
  took.start();
  std::string error;
  EXPECT_EQ(SendHandOver({HandOverRequest::kOpen, temp_.path(), {"vexil", "b.em"}}, 1000, &error),
            HandOverSent::kTaken)
      << error;
  EXPECT_LT(took.elapsed(), 1000);
  EXPECT_TRUE(WaitShown(&user, "Vexil - b.job")) << viewer->Errors();
  // And so does the program.
  auto second = Run({"c.em"}, temp_.path());
  EXPECT_EQ(second->Finish(20000), 0) << second->Errors();
  EXPECT_TRUE(WaitShown(&user, "Vexil - c.job")) << viewer->Errors();
  EXPECT_EQ(CloseViewer(viewer.get()), 0) << viewer->Errors();
}

// A runtime directory that another user made first, or a socket that another user's
// process listens on, gets nothing from a start: it opens its file in a viewer of its own
// and says why.
TEST_F(VexilOnXTest, ForeignRuntimeDirectoryOrSocketMakesAViewerOfItsOwn) {
  XUser user(server_->number());
  ASSERT_TRUE(user.ready()) << "the X libraries (libX11, libXtst) are not there";
  const QString name = "vexil-test-user";
  environment_.insert("USER", name);
  const test_support::ScopedEnvironment user_name("USER", name.toUtf8().constData());
  WriteFile("a.em", kSmallEmFile);
  {
    SCOPED_TRACE("the runtime directory belongs to another user");
    const std::string tmp = Path("tmp");
    const std::string usual = tmp + "/runtime-" + name.toStdString();
    std::filesystem::create_directories(usual);
    ::chmod(usual.c_str(), 0700);
    ASSERT_EQ(::chown(usual.c_str(), test_support::kUnprivilegedId, test_support::kUnprivilegedId),
              0);
    QProcessEnvironment environment = environment_;
    environment.remove("XDG_RUNTIME_DIR");
    environment.insert("TMPDIR", QString::fromStdString(tmp));
    Child viewer(VEXIL_PROGRAM, {"a.em"}, temp_.path(), environment);
    EXPECT_TRUE(WaitShown(&user, "Vexil - a.job")) << viewer.Errors();
    EXPECT_TRUE(viewer.running());
    const std::string errors = viewer.Errors();
    EXPECT_NE(errors.find(usual + " is not used: it belongs to another user"), std::string::npos)
        << errors;
    EXPECT_TRUE(std::filesystem::is_empty(usual)) << "nothing was made there";
  }
  ASSERT_TRUE(WaitGone("Vexil - a.job"));
  std::filesystem::remove(Path("a.job"));
  {
    SCOPED_TRACE("another user's process listens on the socket");
    test_support::ForeignListener planted;
    ASSERT_TRUE(planted.ready());
    ASSERT_TRUE(planted.MoveTo(HandOverSocketPath().toStdString()));
    auto viewer = Run({"a.em"}, temp_.path());
    EXPECT_TRUE(WaitShown(&user, "Vexil - a.job")) << viewer->Errors();
    EXPECT_TRUE(viewer->running()) << viewer->Errors();
    EXPECT_EQ(planted.Received(), 0u) << "the planted socket got the request";
    const std::string errors = viewer->Errors();
    EXPECT_NE(errors.find("is not this user's: it belongs to another user (uid 65534); a.em opens "
                          "in a viewer of its own"),
              std::string::npos)
        << errors;
    // The viewer took the socket's place: later starts reach it.
    EXPECT_EQ(CloseViewer(viewer.get()), 0);
  }
}

// What the screen of the X server shows in the rectangle (root coordinates, cut to the
// screen), read with libX11's XGetImage on the root window; null when it cannot be read.
QImage ScreenPixels(int display_number, const QRect& wanted) {
  // The leading members of Xlib's XImage, whose layout is part of its interface.
  struct Image {
    int width, height, xoffset, format;
    char* data;
    int byte_order, bitmap_unit, bitmap_bit_order, bitmap_pad, depth, bytes_per_line;
    int bits_per_pixel;
  };
  void* x11 = ::dlopen("libX11.so.6", RTLD_NOW);
  if (x11 == nullptr) return QImage();
  const auto find = [x11](const char* name) { return ::dlsym(x11, name); };
  auto open = reinterpret_cast<void* (*)(const char*)>(find("XOpenDisplay"));
  auto close = reinterpret_cast<int (*)(void*)>(find("XCloseDisplay"));
  auto root = reinterpret_cast<unsigned long (*)(void*)>(find("XDefaultRootWindow"));
  auto get = reinterpret_cast<Image* (*)(void*, unsigned long, int, int, unsigned, unsigned,
                                         unsigned long, int)>(find("XGetImage"));
  auto release = reinterpret_cast<int (*)(void*)>(find("XFree"));
  QImage pixels;
  void* display = open && close && root && get && release
                      ? open((":" + std::to_string(display_number)).c_str())
                      : nullptr;
  if (display != nullptr) {
    const QRect rect = wanted.intersected(QRect(0, 0, 1024, 768));  // TestXServer's screen
    Image* image = rect.isEmpty()
                       ? nullptr
                       : get(display, root(display), rect.x(), rect.y(), unsigned(rect.width()),
                             unsigned(rect.height()), ~0UL, 2 /* ZPixmap */);
    if (image != nullptr && image->bits_per_pixel == 32 && image->byte_order == 0) {
      pixels = QImage(image->width, image->height, QImage::Format_RGB32);
      for (int y = 0; y < image->height; ++y) {
        std::memcpy(pixels.scanLine(y), image->data + size_t(y) * image->bytes_per_line,
                    size_t(image->width) * 4);
      }
    }
    if (image != nullptr) {
      release(image->data);
      release(image);
    }
    close(display);
  }
  ::dlclose(x11);
  return pixels;
}

// The capture directories in the directory, by name.
std::set<std::string> CaptureDirectories(const std::string& directory) {
  std::set<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    if (entry.path().filename().string().rfind("vexil-capture-", 0) == 0) {
      found.insert(entry.path().string());
    }
  }
  return found;
}

// The picture in a capture file once it has been written whole (null when none comes).
QImage CapturedPicture(const std::string& path) {
  QImage picture;
  WaitFor(
      [&] {
        picture = QImage(QString::fromStdString(path), "BMP");
        return !picture.isNull();
      },
      10000);
  return picture.convertToFormat(QImage::Format_RGB32);
}

// A viewer killed in the middle of its work (a capture taken, the whole view stored, an
// edit not saved, a rectangle half drawn) leaves its pictures, its socket and its lock
// behind; the next viewer, of another file in the same directories, takes the socket over
// and shows its own file as a fresh drawing of it shows it: neither a recall of a slot it
// has not captured nor All brings back a picture of the killed viewer.
TEST_F(VexilOnXTest, AKilledViewersPicturesNeverReachTheNextViewer) {
  XUser user(server_->number());
  ASSERT_TRUE(user.ready()) << "the X libraries (libX11, libXtst) are not there";
  const std::string tmp = Path("tmp");
  std::filesystem::create_directory(tmp);
  environment_.insert("TMPDIR", QString::fromStdString(tmp));
  // An L, and a file of the same extents that is the L without its vertical bar.
  WriteFile("lcheck.em", "<X50Y500W100V1000U0SX500Y50W1000V100SZ");
  WriteFile("pgedit.em", "<X50Y950W100V100U0SX500Y50W1000V100SZ");
  {
    auto killed = Run({"pgedit.em"}, temp_.path());
    ASSERT_TRUE(WaitListening(killed.get())) << killed->Errors();
    std::optional<ShownWindow> main = WaitShown(&user, "Vexil - pgedit.job");
    ASSERT_TRUE(main) << killed->Errors();
    WaitFor([] { return false; }, 1000);  // the first drawing
    user.Keys("Control_L+3");
    user.Keys("Home");
    const int cx = main->x + main->width / 2, cy = main->y + main->height / 2;
    user.Keys("Alt_L+t");  // Tools, Rectangle 2 Pt.
    user.Keys("Return");
    user.Click(cx - 30, cy - 20);
    user.Click(cx + 30, cy + 20);
    user.Click(cx - 60, cy - 40);  // the first corner of the next one
    std::string left;              // its pictures
    ASSERT_TRUE(WaitFor(
        [&] {
          for (const std::string& directory : CaptureDirectories(tmp)) {
            if (std::filesystem::exists(directory + "/capture3.bmp")) left = directory;
          }
          return !left.empty();
        },
        10000));
    ASSERT_TRUE(std::filesystem::exists(left + "/capture10.bmp")) << "the whole view is stored";
    ASSERT_TRUE(killed->running());
    ::kill(pid_t(killed->process().processId()), SIGKILL);
    EXPECT_EQ(killed->Finish(10000), -1);
    ASSERT_TRUE(std::filesystem::exists(HandOverSocketPath().toStdString()));
    ASSERT_TRUE(std::filesystem::exists(HandOverLockPath().toStdString()));
    ASSERT_TRUE(WaitGone("Vexil - pgedit.job"));
    user.Click(1023, 767);  // the pointer away from the next viewer's picture
  }
  auto next = Run({"lcheck.em"}, temp_.path());
  ASSERT_TRUE(WaitListening(next.get())) << next->Errors();
  std::optional<ShownWindow> main = WaitShown(&user, "Vexil - lcheck.job");
  ASSERT_TRUE(main) << next->Errors();
  WaitFor([] { return false; }, 1000);  // the first drawing
  // What the viewer shows, captured into a slot the killed viewer never used.
  const auto shown = [&](int slot) {
    user.Focus(main->id);
    user.Keys("Control_L+" + std::to_string(slot));
    const std::string name = "/capture" + std::to_string(slot) + ".bmp";
    std::string path;
    WaitFor(
        [&] {
          for (const std::string& directory : CaptureDirectories(tmp)) {
            if (std::filesystem::exists(directory + name)) path = directory + name;
          }
          return !path.empty();
        },
        10000);
    return path.empty() ? QImage() : CapturedPicture(path);
  };
  const QImage first = shown(1);
  ASSERT_FALSE(first.isNull()) << next->Errors();
  // The L's two bars, and the background in the corner they make.
  const QRgb red = qRgb(255, 0, 0);
  QRect l;
  for (int y = 0; y < first.height(); ++y) {
    for (int x = 0; x < first.width(); ++x) {
      if (first.pixel(x, y) == red) l |= QRect(x, y, 1, 1);
    }
  }
  ASSERT_FALSE(l.isEmpty()) << "nothing of the L is drawn";
  const auto at = [&](const QImage& picture, double fx, double fy) {
    return picture.pixel(l.left() + int(fx * l.width()), l.top() + int(fy * l.height()));
  };
  EXPECT_EQ(at(first, 0.05, 0.3), red) << "the vertical bar";
  EXPECT_EQ(at(first, 0.7, 0.95), red) << "the horizontal bar";
  EXPECT_NE(at(first, 0.5, 0.5), red) << "the corner of the L";
  // A recall of the killed viewer's slot shows nothing of it; All and a redraw show the
  // same picture.
  // The screen shows it too: the red of the window on the screen, compared after each step.
  const auto screen_red = [&] {
    const QImage screen =
        ScreenPixels(server_->number(), QRect(main->x, main->y, main->width, main->height));
    std::vector<QPoint> found;
    for (int y = 0; y < screen.height(); ++y) {
      for (int x = 0; x < screen.width(); ++x) {
        if (screen.pixel(x, y) == red) found.emplace_back(x, y);
      }
    }
    return found;
  };
  const std::vector<QPoint> on_screen = screen_red();
  int red_drawn = 0;
  for (int y = 0; y < first.height(); ++y) {
    for (int x = 0; x < first.width(); ++x) red_drawn += first.pixel(x, y) == red;
  }
  EXPECT_EQ(int(on_screen.size()), red_drawn) << "the screen does not show the picture's L";
  const auto differing = [&first](const QImage& picture) {
    if (picture.size() != first.size()) return -1;
    int count = 0;
    for (int y = 0; y < first.height(); ++y) {
      for (int x = 0; x < first.width(); ++x) count += picture.pixel(x, y) != first.pixel(x, y);
    }
    return count;
  };
  user.Keys("Alt_L+3");
  EXPECT_EQ(differing(shown(2)), 0) << "pixels differ after recalling a slot never captured here";
  EXPECT_TRUE(screen_red() == on_screen) << "on the screen, after the recall";
  user.Keys("Home");
  EXPECT_EQ(differing(shown(4)), 0) << "pixels differ after All";
  EXPECT_TRUE(screen_red() == on_screen) << "on the screen, after All";
  user.Keys("r");
  EXPECT_EQ(differing(shown(5)), 0) << "pixels differ after Redraw";
  EXPECT_TRUE(screen_red() == on_screen) << "on the screen, after Redraw";
  EXPECT_EQ(CloseViewer(next.get()), 0) << next->Errors();
}

// The width in metres of the first layer's data as a job file has it read: the job's unit
// settings decide it.
double LoadedWidthInMetres(const std::string& job) {
  ClearLayerTable();
  ImportSettings() = ViewerImportSettings();
  if (ReadJobFile(job) <= 0) return -1;
  const GdxHandle handle = ScanPgFile(nullptr, LayerTable()[0].path, 0);
  GdxLibrary* library = GdxLibraryFromHandle(handle);
  double width = -1;
  if (library != nullptr) {
    const GdxStructure* top = GdxFindStructureById(library, library->current_structure_id);
    if (top != nullptr)
      width = double(top->extents.max_x - top->extents.min_x) * library->database_unit;
  }
  GdxFreeLibrary(handle);
  ClearLayerTable();
  return width;
}

// The user starts "vexil new.job" for a job that does not exist yet: the Layer Table comes
// up, its Layer button's file dialog offers "English" (no job, no unit in use), and the mil
// file taken there as offered is read as it is read when opened through File, Open.
TEST_F(VexilOnXTest, NewJobsLayerTableOffersEnglishAsOpenDoes) {
  XUser user(server_->number());
  ASSERT_TRUE(user.ready()) << "the X libraries (libX11, libXtst) are not there";
  WriteFile("a.em", kSmallEmFile);
  const auto type_name = [&user] {
    user.Keys("Control_L+a");
    for (const char* key : {"a", "period", "e", "m"}) user.Keys(key);
    user.Keys("Return");
  };
  {
    auto viewer = Run({"new.job"}, temp_.path());
    ASSERT_TRUE(WaitListening(viewer.get())) << viewer->Errors();
    ASSERT_TRUE(WaitShown(&user, "Layer Table")) << viewer->Errors();
    user.Keys("space");  // the first row's Layer button has the focus
    ASSERT_TRUE(WaitShown(&user, "Open /EM/MANN/INT Files")) << viewer->Errors();
    type_name();  // the unit as offered
    ASSERT_TRUE(WaitGone("Open /EM/MANN/INT Files"));
    ASSERT_TRUE(WaitShown(&user, "Layer Table"));
    user.Keys("Return");  // OK
    ASSERT_TRUE(WaitShown(&user, "Vexil - new.job")) << viewer->Errors();
    EXPECT_EQ(CloseViewer(viewer.get()), 0) << viewer->Errors();
  }
  {
    auto viewer = Run({}, temp_.path());
    ASSERT_TRUE(WaitListening(viewer.get())) << viewer->Errors();
    ASSERT_TRUE(WaitShown(&user, "Vexil")) << viewer->Errors();
    user.Keys("Control_L+o");
    ASSERT_TRUE(WaitShown(&user, "Open")) << viewer->Errors();
    type_name();
    ASSERT_TRUE(WaitShown(&user, "Vexil - a.job")) << viewer->Errors();
    EXPECT_EQ(CloseViewer(viewer.get()), 0) << viewer->Errors();
  }
  const std::string built = ReadFile(Path("new.job"));
  EXPECT_NE(built.find("FormatType=0\r\nUnitType=0\r\n"), std::string::npos) << built;
  const double through_table = LoadedWidthInMetres(Path("new.job"));
  const double through_open = LoadedWidthInMetres(Path("a.job"));
  EXPECT_GT(through_open, 0);
  EXPECT_DOUBLE_EQ(through_table, through_open);
  EXPECT_NEAR(through_open, 0.30 * 25.4e-6, 1e-9) << "0.30 mil";
}

TEST_F(VexilProgramTest, RunsOnAnXServer) {
  TestXServer server;
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
