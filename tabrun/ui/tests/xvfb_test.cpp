// The real tabrun program on a real X server (Xvfb, the xcb platform): "tabrun --help"
// prints its usage, and "tabrun file.gds" opens its window and scans the file at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/job_file_names.h"
#include "tabrun/core/gds_cfg_file.h"
#include "tabrun/core/tests/reference_run.h"
#include "testing/temp_dir.h"
#include "testing/x_server.h"

namespace kavrinth {
namespace {

using test_support::ReadBytes;
using test_support::TempDir;
using test_support::TestXServer;

const std::string kBin = KAVRINTH_BIN_DIR;
const std::string kSamples = KAVRINTH_SAMPLES_DIR;

// A child process killed (and reaped) when the test ends, whatever happens.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
        int out_fd = -1, const std::string& directory = "") {
    pid_ = ::fork();
    if (pid_ != 0) return;
    for (const std::string& entry : environment) ::putenv(const_cast<char*>(entry.c_str()));
    if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(126);
    if (out_fd >= 0) ::dup2(out_fd, 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ~Child() {
    if (pid_ <= 0 || reaped_) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool Running() {
    if (reaped_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      reaped_ = true;
      status_ = status;
      return false;
    }
    return true;
  }
  // Waits for the end at most timeout; the wait status, or -1 when it still runs.
  int Wait(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (Running()) {
      if (std::chrono::steady_clock::now() > end) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
};

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

TEST(TabrunProgramTest, HelpPrintsTheUsage) {
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  Child tabrun({kBin + "/tabrun", "--help"}, {}, pipe_fds[1]);
  ::close(pipe_fds[1]);
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  ::close(pipe_fds[0]);
  const int status = tabrun.Wait(std::chrono::seconds(20));
  ASSERT_NE(status, -1) << "tabrun --help did not end";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(out.rfind("Usage: tabrun [-dbgx] [file]\n", 0), 0u) << out;
}

TEST(TabrunProgramTest, WithoutADisplayOrWithABadOptionItEndsWithAMessage) {
  struct Case {
    std::vector<std::string> argv;
    int status;
  };
  const Case cases[] = {{{kBin + "/tabrun", "demo.gds"}, 1}, {{kBin + "/tabrun", "-x"}, 2}};
  for (const Case& c : cases) {
    // The child runs with neither DISPLAY, WAYLAND_DISPLAY nor QT_QPA_PLATFORM.
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      const int null_fd = ::open("/dev/null", O_WRONLY);
      ::dup2(null_fd, 2);
      std::vector<char*> args;
      for (const std::string& a : c.argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "tabrun did not end";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.argv[1];
  }
}

TEST(TabrunProgramTest, ARelativeFileNameMeansTheDirectoryTabrunStartedIn) {
  TempDir work("tabrun_xvfb_relative");
  TempDir stored("tabrun_xvfb_stored");
  ASSERT_TRUE(work.ok() && stored.ok());
  work.Write("demo.gds", ReadBytes(kSamples + "/demo.gds"));
  // The last session worked in another directory.
  work.Write("config/Kavrinth/Tabrun.ini",
             "[Tabrun]\r\nWorkingDirectory=" + stored.path() + "\r\n");
  TestXServer xvfb;
  ASSERT_GE(xvfb.number(), 0) << "Xvfb did not start (is the xvfb package installed?)";
  Child tabrun({kBin + "/tabrun", "demo.gds"},
               {"DISPLAY=" + xvfb.display(), "QT_QPA_PLATFORM=xcb",
                "XDG_CONFIG_HOME=" + work.File("config"), "KAVRINTH_PROGRAM_DIR=" + kBin},
               -1, work.path());
  // The file of the start directory is scanned; its report goes to the working directory.
  EXPECT_TRUE(WaitUntil(
      [&] { return ReadBytes(stored.File("demo.ssn")).find("HIERARCHY") != std::string::npos; },
      std::chrono::seconds(30)));
  EXPECT_TRUE(tabrun.Running()) << "tabrun ended on its own";
}

TEST(TabrunProgramTest, OpensAndScansTheFileOnAnXServer) {
  TempDir work("tabrun_xvfb");
  ASSERT_TRUE(work.ok());
  const std::string gds = work.Write("demo.gds", ReadBytes(kSamples + "/demo.gds"));
  TestXServer xvfb;
  ASSERT_GE(xvfb.number(), 0) << "Xvfb did not start (is the xvfb package installed?)";

  Child tabrun({kBin + "/tabrun", gds},
               {"DISPLAY=" + xvfb.display(), "QT_QPA_PLATFORM=xcb",
                "XDG_CONFIG_HOME=" + work.File("config"), "KAVRINTH_PROGRAM_DIR=" + kBin});
  // The scan report appears in the file's directory, and the program waits for the user
  // (the CFG file dialog is open).
  EXPECT_TRUE(WaitUntil(
      [&] { return ReadBytes(work.File("demo.ssn")).find("HIERARCHY") != std::string::npos; },
      std::chrono::seconds(30)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(tabrun.Running()) << "tabrun ended on its own";
}

// What the user sees: the titles of the windows on the display, for a failure's message.
std::string WindowTitles(int display) {
  return test_support::CommandOutput("xwininfo -root -tree -display :" + std::to_string(display) +
                                     " | grep '(\"tabrun\"'");
}

// Tabrun on an X server of its own, started on the sample layout as <base>.gds with the
// job's CFG file <base>.cfg, a copy of demo.cfg (and the files a test adds), in a fresh
// working directory, and driven with the keyboard.
class TabrunOnXTest : public ::testing::Test {
 protected:
  void StartOnDemo(const std::string& name,
                   const std::vector<std::pair<std::string, std::string>>& files,
                   const std::string& base = "demo") {
    work_.emplace(name);
    ASSERT_TRUE(work_->ok());
    base_ = base;
    work_->Write(base + ".gds", ReadBytes(kSamples + "/demo.gds"));
    work_->Write(base + ".cfg", ReadBytes(kSamples + "/demo.cfg"));
    for (const auto& [file, bytes] : files) work_->Write(file, bytes);
    ASSERT_GE(xvfb_.number(), 0) << "Xvfb did not start (is the xvfb package installed?)";
    user_.emplace(xvfb_.number());
    ASSERT_TRUE(user_->ready()) << "the X libraries (libX11, libXtst) are not there";
    tabrun_.emplace(std::vector<std::string>{kBin + "/tabrun", base + ".gds"},
                    std::vector<std::string>{"DISPLAY=" + xvfb_.display(), "QT_QPA_PLATFORM=xcb",
                                             "XDG_CONFIG_HOME=" + work_->File("config"),
                                             "KAVRINTH_PROGRAM_DIR=" + kBin},
                    -1, work_->path());
  }

  // Waits for a window of that title and gives it the focus; window_ is the one found.
  bool Shown(const std::string& title) {
    WaitUntil(
        [&] {
          return (window_ = test_support::FindShownWindow(xvfb_.number(), title, "tabrun"))
              .has_value();
        },
        std::chrono::seconds(20));
    if (window_) user_->Focus(window_->id);
    return window_.has_value();
  }
  bool Gone(const std::string& title) {
    return WaitUntil(
        [&] { return !test_support::FindShownWindow(xvfb_.number(), title, "tabrun"); },
        std::chrono::seconds(20));
  }
  std::string Titles() { return WindowTitles(xvfb_.number()); }

  // Takes the CFG file and the structure the dialogs offer, then Translate from its menu,
  // and waits for the job log. With notes, the choice of the CFG file shows a message (a
  // window of the control panel's title beside it), which is closed.
  void TranslateAsOffered(bool notes = false) {
    ASSERT_TRUE(Shown("Select/Create CFG File")) << Titles();
    const std::optional<test_support::ShownWindow> panel =
        test_support::FindShownWindow(xvfb_.number(), "Tabrun", "tabrun");
    ASSERT_TRUE(panel.has_value()) << Titles();
    user_->Focus(window_->id);
    user_->Keys("Return");
    if (notes) {
      std::optional<test_support::ShownWindow> box;
      ASSERT_TRUE(WaitUntil(
          [&] {
            box = test_support::FindShownWindow(xvfb_.number(), "Tabrun", "tabrun", panel->id);
            return box.has_value();
          },
          std::chrono::seconds(20)))
          << Titles();
      user_->Focus(box->id);
      user_->Keys("Return");
    }
    ASSERT_TRUE(Shown("Structure Selection")) << Titles();
    user_->Keys("Return");
    ASSERT_TRUE(Shown(MainTitle())) << Titles();
    user_->Keys("Alt_L+j");
    user_->Keys("t");
    ASSERT_TRUE(WaitUntil(
        [&] {
          return work_->Read(base_ + ".log").find("Generated Output Files:") != std::string::npos;
        },
        std::chrono::seconds(40)))
        << Titles() << work_->Read(base_ + ".log");
  }

  // Each PG file of the job log is the one the programs give by hand with the job's own
  // settings (demo.cfg names the outputs as the Intermediate files, in the working
  // directory); the number of files compared.
  int CompareWithReference(const std::string& log) {
    TempDir reference("tabrun_xvfb_reference");
    const auto expected = reference_run::ReferenceOutputs(reference, "TESTPAT", false);
    int compared = 0;
    for (int layer : reference_run::kLayers) {
      const std::string result = ConverterResultName(IntermediateFileName("TESTPAT", layer), true);
      if (expected.count(result) == 0) continue;
      const std::string output = IntermediateFileName("TESTPAT", layer);
      EXPECT_NE(log.find("\r\n" + std::to_string(layer) + " " + output + "\r\n",
                         log.find("Generated Output Files:")),
                std::string::npos)
          << log;
      EXPECT_TRUE(work_->Read(output) == expected.at(result)) << output;
      ++compared;
    }
    return compared;
  }

  std::string MainTitle() const { return "Tabrun - " + base_ + ".gds," + base_ + ".cfg"; }
  std::string base_;
  TestXServer xvfb_;
  std::optional<TempDir> work_;
  std::optional<test_support::XUser> user_;
  std::optional<Child> tabrun_;
  std::optional<test_support::ShownWindow> window_;
};

// A stale GDS.CFG left beside the job by an earlier tool: the user opens demo.gds, takes the
// job's demo.cfg and translates, all with the keyboard; the engine reads the gds.cfg the
// shell wrote, and the job log names the file it did not read.
TEST_F(TabrunOnXTest, TranslatesWithTheJobsSettingsWhenAStaleGdsCfgLiesBesideIt) {
  const std::string stale = "MIN_LINE\r\n20\r\n\r\nSCALE_FACTOR\r\n3\r\n\r\nMAP_CIRCLE\r\nON\r\n";
  ASSERT_NO_FATAL_FAILURE(StartOnDemo("tabrun_xvfb_stale", {{"GDS.CFG", stale}}));
  ASSERT_NO_FATAL_FAILURE(TranslateAsOffered());
  TempDir& work = *work_;
  const std::string log = work.Read("demo.log");
  EXPECT_NE(log.find("-cfg:gds.cfg"), std::string::npos) << log;
  EXPECT_NE(log.find("Settings file 'GDS.CFG' is not read: the settings are read from "
                     "'gds.cfg'."),
            std::string::npos)
      << log;
  EXPECT_EQ(work.Read("GDS.CFG"), stale) << "the stale file is left as it was";
  EXPECT_GE(CompareWithReference(log), 4);
  EXPECT_TRUE(tabrun_->Running()) << "tabrun ended on its own";
}

// A GDSII file whose name holds double quotes and blanks: tabrun scans it, takes the CFG file
// it offers and translates, every program getting each path whole.
TEST_F(TabrunOnXTest, AGdsFileWhoseNameHoldsDoubleQuotesIsScannedAndTranslated) {
  ASSERT_NO_FATAL_FAILURE(StartOnDemo("tabrun_xvfb_quote", {}, "say \"hi\" de\"mo"));
  ASSERT_NO_FATAL_FAILURE(TranslateAsOffered());
  const std::string log = work_->Read(base_ + ".log");
  EXPECT_NE(log.find("GDS File:\t\t" + work_->File(base_ + ".gds") + "\r\n"), std::string::npos)
      << log;
  EXPECT_GE(CompareWithReference(log), 4);
  EXPECT_TRUE(tabrun_->Running()) << "tabrun ended on its own";
}

// A CFG file written by Tabrun whose GDS.CFG record BLOCK_TEXT ON the user changed to
// BLOCK OFF: the PG record BLOCK_TEXT YES before it is the one read. Chosen, the file is
// named in a message; after the Translate the file still holds the user's record as
// written, and the job log names it.
TEST_F(TabrunOnXTest, AHandEditedRecordSurvivesATranslateAsWritten) {
  GdsCfgSettings cfg;
  cfg.block_text = true;
  std::string gds_records = FormatGdsCfg(cfg);
  const size_t at = gds_records.find("\r\nBLOCK_TEXT\r\nON\r\n");
  ASSERT_NE(at, std::string::npos);
  gds_records.replace(at, 16, "\r\nBLOCK\r\nOFF\r\n");
  const std::string edited = ReadBytes(kSamples + "/demo.cfg") + gds_records;
  ASSERT_NO_FATAL_FAILURE(StartOnDemo("tabrun_xvfb_hand_edit", {{"demo.cfg", edited}}));
  ASSERT_NO_FATAL_FAILURE(TranslateAsOffered(true));
  TempDir& work = *work_;
  const std::string saved = work.Read("demo.cfg");
  EXPECT_NE(saved.find("\r\nBLOCK\r\nOFF\r\n"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("\r\nBLOCK_TEXT\r\nON\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\r\nBLOCK_TEXT\r\nYES\r\n"), std::string::npos) << saved;
  const std::string log = work.Read("demo.log");
  EXPECT_NE(log.find("\r\nSettings File Notes:\r\n" + work.File("demo.cfg") + ", line "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("BLOCK_TEXT record 'BLOCK' with 'OFF' is not read"), std::string::npos) << log;
  EXPECT_TRUE(tabrun_->Running()) << "tabrun ended on its own";
}

// After a Translate the job log is editable. With the clipboard of a new X session, which
// holds nothing, Ctrl+V leaves tabrun running and the log as it was; the File menu's key
// and Ctrl+O work in the editable log; a log in 8-bit text opened from there and saved
// with Save Log As comes back byte for byte.
TEST_F(TabrunOnXTest, TheEditableLogTakesAnEmptyPasteTheMenuKeysAndKeepsItsBytes) {
  const std::string latin = "GDS File:\t\t/masks/caf\xe9.gds\r\nUnit:\t\xb5m\nlast line";
  ASSERT_NO_FATAL_FAILURE(StartOnDemo("tabrun_xvfb_log", {{"latin.log", latin}}));
  ASSERT_NO_FATAL_FAILURE(TranslateAsOffered());
  TempDir& work = *work_;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the log is shown again
  const std::string job_log = work.Read("demo.log");

  // Into the log itself, with the clipboard of the new session.
  ASSERT_TRUE(Shown(MainTitle()));
  const test_support::ShownWindow main = *window_;
  // A point of the log that the control panel and the structure dialog leave free.
  const auto click_log = [&] { user_->Click(main.x + 40, main.y + main.height * 3 / 4); };
  click_log();
  user_->Keys("Control_L+v");
  user_->Keys("Shift_L+Insert");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(tabrun_->Running()) << "tabrun died on a paste from the empty clipboard";
  // Save Log As starts on the job log itself: taking that name asks first (a second window
  // of that title), and No keeps the file and the dialog.
  user_->Keys("Control_L+a");
  ASSERT_TRUE(Shown("Save Log As")) << Titles();
  user_->Keys("Return");
  const auto save_windows = [&] {
    const std::string tree = Titles();
    int count = 0;
    for (size_t at = tree.find("\"Save Log As\""); at != std::string::npos;
         at = tree.find("\"Save Log As\"", at + 1)) {
      ++count;
    }
    return count;
  };
  EXPECT_TRUE(WaitUntil([&] { return save_windows() >= 2; }, std::chrono::seconds(10))) << Titles();
  user_->Keys("Escape");  // No
  EXPECT_TRUE(WaitUntil([&] { return save_windows() == 1; }, std::chrono::seconds(10)));
  EXPECT_EQ(work.Read("demo.log"), job_log);
  // Save Log As of the job log after the paste: the log as the engines wrote it.
  ASSERT_TRUE(Shown("Save Log As")) << Titles();
  user_->Keys("Control_L+a");
  user_->Type("pasted");  // in the dialog's directory, the working directory
  user_->Keys("Return");
  ASSERT_TRUE(WaitUntil([&] { return !work.Read("pasted.log").empty(); }, std::chrono::seconds(20)))
      << Titles();
  EXPECT_EQ(work.Read("pasted.log"), job_log);

  // The File menu by its key, and Select GDS File by its mnemonic in it.
  user_->Focus(main.id);  // its title is "Tabrun" since the Save Log As
  click_log();
  user_->Keys("Alt_L+f");
  user_->Keys("s");
  ASSERT_TRUE(Shown("Select GDS File")) << "Alt+F, S in the editable log: " << Titles();
  user_->Keys("Escape");
  ASSERT_TRUE(Gone("Select GDS File"));
  // Ctrl+O, and the log in 8-bit text opened from that dialog.
  user_->Focus(main.id);  // its title is "Tabrun" since the Save Log As
  click_log();
  user_->Keys("Control_L+o");
  ASSERT_TRUE(Shown("Select GDS File")) << "Ctrl+O in the editable log: " << Titles();
  user_->Keys("Control_L+a");
  user_->Type("latin.log");
  user_->Keys("Return");
  ASSERT_TRUE(Gone("Select GDS File"));
  user_->Focus(main.id);  // its title is "Tabrun" since the Save Log As
  click_log();
  user_->Keys("Control_L+v");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(tabrun_->Running()) << "tabrun died on a paste into the opened log";
  user_->Keys("Control_L+a");
  ASSERT_TRUE(Shown("Save Log As")) << Titles();
  user_->Keys("Control_L+a");
  user_->Type("saved");
  user_->Keys("Return");
  ASSERT_TRUE(WaitUntil([&] { return !work.Read("saved.log").empty(); }, std::chrono::seconds(20)))
      << Titles();
  EXPECT_EQ(work.Read("saved.log"), latin);
  EXPECT_TRUE(tabrun_->Running());
}

}  // namespace
}  // namespace kavrinth
