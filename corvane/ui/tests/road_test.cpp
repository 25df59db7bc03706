// The user's road through Corvane's real windows on the sample EM and Mann files: select,
// configure, give layers, translate with progress (to the end and cancelled), read the
// log; the GDSII written is the engine's own for the same job from the command line.
#include <linux/capability.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <chrono>
#include <optional>

#include "corvane/core/translate.h"
#include "corvane/ui/layers_dialog.h"
#include "corvane/ui/tests/corvane_test_support.h"
#include "corvane/ui/translator_settings_dialog.h"
#include "platform/process.h"
#include "support/paths.h"
#include "support/qt/directory_dialog.h"
#include "support/qt/engine_progress_dialog.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/message_box.h"
#include "support/run_program.h"

namespace kavrinth {
namespace {

// The GDSII stream with the dates of BGNLIB and BGNSTR zeroed: the engine stamps each run
// with the clock, everything else must match byte for byte. Empty when the stream does not
// walk as records.
std::string WithoutDates(std::string bytes) {
  size_t at = 0;
  while (at + 4 <= bytes.size()) {
    const size_t length =
        (static_cast<uint8_t>(bytes[at]) << 8) | static_cast<uint8_t>(bytes[at + 1]);
    if (length < 4 || at + length > bytes.size()) return std::string();
    const uint8_t type = static_cast<uint8_t>(bytes[at + 2]);
    if (type == 0x01 || type == 0x05)
      std::fill(bytes.begin() + at + 4, bytes.begin() + at + length, 0);
    at += length;
    if (type == 0x04) return bytes;  // ENDLIB; what follows is padding, compared as it is
  }
  return std::string();
}

bool PanelEnabled(CorvaneMainWindow& window, int id) {
  return window.panel()->button(id)->isEnabled();
}

// The engine from the command line on a copy of the job Corvane wrote.
// The output has the same name as Corvane's, since the library is named after it.
std::string CommandLineOutput(const std::string& directory, const std::string& job_text,
                              const std::string& output_name,
                              const std::vector<std::string>& options, const char* engine,
                              int32_t expected_result) {
  std::filesystem::create_directories(directory);
  test_support::WriteBytes(directory + "/cli.job", job_text);
  std::vector<std::string> args{"@cli.job", "-o:" + output_name};
  args.insert(args.end(), options.begin(), options.end());
  int32_t result = -7;
  pid_t child = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  const PumpCallback time_limit = [&child, end] {
    if (child > 0 && std::chrono::steady_clock::now() > end) {
      ADD_FAILURE() << "the engine ran too long";
      kill(child, SIGKILL);
      child = 0;
    }
  };
  EXPECT_EQ(RunProgram(time_limit, MakePath(ProgramDirectory(), engine), directory.c_str(), args,
                       &result, true, &child),
            1);
  EXPECT_EQ(result, expected_result);
  return test_support::ReadBytes(directory + "/" + output_name);
}

using RoadTest = CorvaneWindowTest;

TEST_F(RoadTest, ElectromaskAndMannToGdsiiThroughThePanel) {
  CorvaneMainWindow window;
  window.show();
  ControlPanel* panel = window.panel();
  ASSERT_TRUE(panel->isVisible());
  for (int id :
       {kPanelConfiguration, kPanelLayers, kPanelTranslate, kPanelViewGds, kPanelViewEmMann}) {
    EXPECT_FALSE(PanelEnabled(window, id)) << id;
  }
  EXPECT_TRUE(PanelEnabled(window, kPanelSelectFiles));
  EXPECT_TRUE(PanelEnabled(window, kPanelQuit));
  EXPECT_FALSE(window.action(kCmdSaveLogAs)->isEnabled());

  // Select both files; on the way the working directory is chosen with the dialog's own
  // button, typing the path and pressing Enter.
  WhenModal<QFileDialog>([this](QFileDialog* dialog) {
    WhenModal<CDirectoryDlg>([this](CDirectoryDlg* directory) {
      TypeInto(directory, kDirNew, QString::fromStdString(work_dir_));
      PressKey(FindControl<QLineEdit>(directory, kDirNew), Qt::Key_Return);
    });
    FindControl<QPushButton>(dialog, kTplWorkingDirButton)->click();
    dialog->setDirectory(QString::fromStdString(input_dir_));
    TypeNamesAndAccept(dialog, "\"demo.em\" \"demo.dwm\"");
  });
  PressPanel(window, kPanelSelectFiles);
  CorvaneSession& session = window.session();
  EXPECT_EQ(session.working_directory, work_dir_);
  EXPECT_EQ(session.input_file, input_dir_ + "/demo.em");
  EXPECT_EQ(session.input_file_names, (std::vector<std::string>{"demo.em", "demo.dwm"}));
  EXPECT_EQ(window.windowTitle(), "CORVANE - demo.em...");
  EXPECT_TRUE(PanelEnabled(window, kPanelConfiguration));
  EXPECT_FALSE(PanelEnabled(window, kPanelLayers));

  // Electromask in mils; only the EM file is translated, on GDS layer 7.
  WhenModal<TranslatorSettingsDialog>([](TranslatorSettingsDialog* dialog) {
    FindControl<QRadioButton>(dialog, kTsElectromask)->click();
    FindControl<QRadioButton>(dialog, kTsMil)->click();
    EXPECT_FALSE(FindControl<QLineEdit>(dialog, kTsScale)->isEnabled());
    EXPECT_EQ(FindControl<QLineEdit>(dialog, kTsScale)->text(), "1.0");
    Press(dialog, kIdOk);
  });
  PressPanel(window, kPanelConfiguration);
  EXPECT_TRUE(PanelEnabled(window, kPanelLayers));
  EXPECT_TRUE(PanelEnabled(window, kPanelViewEmMann));
  WhenModal<LayersDialog>([](LayersDialog* dialog) {
    EXPECT_EQ(FindControl<QCheckBox>(dialog, kLayerRowIds[0].check)->text(), "demo.em");
    EXPECT_EQ(FindControl<QLineEdit>(dialog, kLayerRowIds[1].edit)->text(), "2");
    EXPECT_FALSE(FindControl<QCheckBox>(dialog, kLayerRowIds[2].check)->isEnabled());
    TypeInto(dialog, kLayerRowIds[0].edit, "7");
    FindControl<QCheckBox>(dialog, kLayerRowIds[1].check)->setChecked(false);
    Press(dialog, kIdOk);
  });
  PressPanel(window, kPanelLayers);
  ASSERT_TRUE(PanelEnabled(window, kPanelTranslate));
  const std::string job_path = work_dir_ + "/demo.job";
  const std::string job_text = ReadFile(job_path);
  EXPECT_EQ(job_text,
            "[layer0]\r\nlayer=7," + input_dir_ + "/demo.em\r\n[General]\r\nlayers=layer0\r\n");

  // Translate: the output is named without extension; the engine's ".gds" is added.
  const std::string output = Path("out put/demo em");
  std::filesystem::create_directories(Path("out put"));
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->selectedFiles().value(0).toStdString(), input_dir_ + "/demo.gds");
    TypeNamesAndAccept(dialog, QString::fromStdString(output));
  });
  PressPanel(window, kPanelTranslate);
  EXPECT_EQ(window.StatusText(), "Translation finished") << ::testing::PrintToString(Messages());
  // The ring's 20 turned bars lose their corners to the library's grid of 0.01 mil: the
  // engine counts them.
  ASSERT_EQ(Messages().size(), 1u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Messages()[0],
            "20 warnings/errors are detected in the translation.\nRefer to log file for more "
            "information.");
  EXPECT_TRUE(PanelEnabled(window, kPanelViewGds));
  EXPECT_TRUE(window.panel()->isEnabled());
  EXPECT_EQ(session.gds_output_path, output + ".gds");
  const std::string gds = ReadFile(output + ".gds");
  ASSERT_FALSE(gds.empty());
  const std::string reference =
      CommandLineOutput(Path("cli em"), job_text, "demo em.gds", {"-u:E"}, "corvitex", 20);
  ASSERT_FALSE(WithoutDates(gds).empty());
  EXPECT_TRUE(WithoutDates(gds) == WithoutDates(reference)) << "the engine's own bytes";

  // The job log: header, summary, then the engine's log; shown and saved-enabled.
  const std::string log = ReadFile(work_dir_ + "/demo.log");
  const std::string head =
      JobLogHeader() + "GDS Output File:\t" + output + ".gds\r\nEnd Job Time:\t";
  ASSERT_EQ(log.substr(0, head.size()), head);
  EXPECT_NE(log.find("Elapsed Time:\t0 second(s)\r\n\r\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(work_dir_ + "/demo.lg2"));
  EXPECT_EQ(session.log_file_path, work_dir_ + "/demo.log");
  QString shown = window.log_view()->toPlainText();
  EXPECT_EQ(shown.toStdString(),
            QString::fromUtf8(log.c_str()).replace("\r\n", "\n").toStdString());
  EXPECT_TRUE(window.action(kCmdSaveLogAs)->isEnabled());
  EXPECT_TRUE(window.action(kCmdPrintLog)->isEnabled());
  EXPECT_EQ(window.windowTitle(), "CORVANE - demo.em...");

  // Mann 3000 in microns at scale 2.5 on the Mann file alone: the second run proposes the
  // last output's directory with the input's name.
  WhenModal<TranslatorSettingsDialog>([](TranslatorSettingsDialog* dialog) {
    FindControl<QRadioButton>(dialog, kTsMann3000)->click();
    FindControl<QRadioButton>(dialog, kTsMicron)->click();
    TypeInto(dialog, kTsScale, "2.5");
    Press(dialog, kIdOk);
  });
  PressPanel(window, kPanelConfiguration);
  WhenModal<LayersDialog>([](LayersDialog* dialog) {
    EXPECT_EQ(FindControl<QLineEdit>(dialog, kLayerRowIds[0].edit)->text(), "7");
    EXPECT_FALSE(FindControl<QCheckBox>(dialog, kLayerRowIds[1].check)->isChecked());
    Press(dialog, kLayersAllOff);
    FindControl<QCheckBox>(dialog, kLayerRowIds[1].check)->setChecked(true);
    TypeInto(dialog, kLayerRowIds[1].edit, "70");
    // The row says which layer the engine makes of 70.
    QLabel* engine_layer = nullptr;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->accessibleName() == "Engine layer" && label->text() == "GDS: 6") {
        engine_layer = label;
      }
    }
    EXPECT_NE(engine_layer, nullptr) << "row 2 names the engine's layer 6";
    Press(dialog, kIdOk);
  });
  PressPanel(window, kPanelLayers);
  EXPECT_EQ(session.checked_file_indexes, "1");
  const std::string mann_job = ReadFile(job_path);
  EXPECT_EQ(mann_job,
            "[layer0]\r\nlayer=70," + input_dir_ + "/demo.dwm\r\n[General]\r\nlayers=layer0\r\n");
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->selectedFiles().value(0).toStdString(), Path("out put/demo.gds"));
    TypeNamesAndAccept(dialog, QString::fromStdString(Path("out put/mann.gds")));
  });
  window.OnCommand(kCmdTranslate);  // the accelerator's way
  // Layer 70 is one the engine keeps as 6: it says so in its log, a counted warning; so
  // is the cross's turned arm, whose corners the library's nanometre rounds.
  ASSERT_EQ(Messages().size(), 2u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Messages()[1],
            "2 warnings/errors are detected in the translation.\nRefer to log file for more "
            "information.");
  EXPECT_EQ(window.StatusText(), "Translation finished");
  const std::string mann_reference =
      CommandLineOutput(Path("cli mann"), mann_job, "mann.gds",
                        {"-u:M", "-3000", "-scale", "2.500000"}, "corvaxen", 2);
  EXPECT_TRUE(WithoutDates(ReadFile(Path("out put/mann.gds"))) == WithoutDates(mann_reference));
  EXPECT_FALSE(WithoutDates(mann_reference).empty());
}

// A big Electromask file keeps the engine busy long enough to be cancelled from its
// progress dialog: the status says so and no job log is built.
TEST_F(RoadTest, CancelInTheProgressDialogEndsTheRun) {
  constexpr int kFlashes = 1000000;
  std::string big = "<";
  big.reserve(kFlashes * 24);
  for (int i = 0; i < kFlashes; ++i) {
    big += "X" + std::to_string(i % 100000 * 10) + "Y" + std::to_string(i / 100000 * 10) +
           "W30V10U0S\r\n";
  }
  WriteFile("in put/big.em", big + "Z");
  CorvaneMainWindow window;
  window.session().working_directory = work_dir_;
  SelectFiles(window, "\"big.em\"");
  WhenModal<TranslatorSettingsDialog>(
      [](TranslatorSettingsDialog* dialog) { Press(dialog, kIdOk); });
  PressPanel(window, kPanelConfiguration);
  WhenModal<LayersDialog>([](LayersDialog* dialog) { Press(dialog, kIdOk); });
  PressPanel(window, kPanelLayers);
  bool cancelled = false;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    WhenModal<EngineProgressDialog>([&](EngineProgressDialog* progress) {
      // Cancel once the engine is well into the file.
      auto poll = std::make_shared<std::function<void()>>();
      *poll = [&window, progress, poll, &cancelled] {
        const std::string percent = progress->ControlText(kEngineText3);
        if (!percent.empty() && percent[0] >= '1' && percent[0] <= '9') {
          EXPECT_TRUE(GrabShowsSomething(progress));
          EXPECT_EQ(progress->layers()->currentItem()->text(), "big.em");
          // Nothing of the window can be used meanwhile.
          EXPECT_TRUE(window.busy());
          EXPECT_FALSE(window.action(kCmdTranslate)->isEnabled());
          EXPECT_FALSE(window.action(kCmdSelectFiles)->isEnabled());
          EXPECT_FALSE(window.panel()->isEnabled());
          FindControl<QPushButton>(progress, kEngineCancel)->click();
          cancelled = true;
          *poll = nullptr;
          return;
        }
        QTimer::singleShot(5, *poll);
      };
      QTimer::singleShot(0, *poll);
    });
    TypeNamesAndAccept(dialog, QString::fromStdString(Path("big.gds")));
  });
  PressPanel(window, kPanelTranslate);
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(window.StatusText(), "Translation cancelled");
  EXPECT_FALSE(PanelEnabled(window, kPanelViewGds));
  EXPECT_TRUE(window.log_view()->toPlainText().isEmpty());
  const std::string engine_log = ReadFile(work_dir_ + "/big.log");
  EXPECT_EQ(engine_log.find("CORVANE"), std::string::npos) << "the engine's log is left alone";
  EXPECT_FALSE(window.busy());
  EXPECT_TRUE(window.action(kCmdTranslate)->isEnabled());
}

// Failures reach the user as messages: an engine that is not there, an output that would
// replace an input, a Mann engine failing on a file of the wrong kind. One goes through a
// real message box.
TEST_F(RoadTest, ErrorsShowTheirMessages) {
  CorvaneMainWindow window;
  window.session().working_directory = work_dir_;
  SelectFiles(window, "\"demo.em\"");
  WhenModal<LayersDialog>([](LayersDialog* dialog) { Press(dialog, kIdOk); });
  window.OnCommand(kCmdLayers);

  // The output dialog names the input itself, and the user agrees to replace it: refused
  // before anything runs.
  WhenModal<QFileDialog>([this](QFileDialog* dialog) {
    WhenModal<QMessageBox>(
        [](QMessageBox* replace) { replace->button(QMessageBox::Yes)->click(); });
    TypeNamesAndAccept(dialog, QString::fromStdString(input_dir_ + "/demo.em"));
  });
  window.OnCommand(kCmdTranslate);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("is the input file demo.em"), std::string::npos) << Messages()[0];
  EXPECT_EQ(window.session().gds_output_path, "");

  // Cancel in the output dialog: nothing runs, the status stays empty.
  WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  window.OnCommand(kCmdTranslate);
  EXPECT_EQ(window.StatusText(), "");
  EXPECT_EQ(Messages().size(), 1u);

  // No engine in the program directory: the system's text, then "Translation failed".
  window.session().program_directory = Path("empty");
  WhenModal<QFileDialog>([this](QFileDialog* dialog) {
    TypeNamesAndAccept(dialog, QString::fromStdString(Path("x.gds")));
  });
  window.OnCommand(kCmdTranslate);
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[1], "No such file or directory");
  EXPECT_EQ(window.StatusText(), "Translation failed");
  EXPECT_FALSE(std::filesystem::exists(work_dir_ + "/demo.log"));

  // The Mann engine on an Electromask file fails; its message and Corvane's come through a
  // real message box, which the user reads and closes.
  window.session().program_directory = ProgramDirectory();
  window.session().options = {kFilesMann3600, kFilesUnitMil, 1.0};
  QtNotifier boxes(&window);
  ScopedNotifier real(&boxes);
  std::vector<std::string> box_texts;
  std::function<void(QMessageBox*)> read_box = [&](QMessageBox* box) {
    box_texts.push_back(box->text().toStdString());
    box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
    if (box_texts.size() < 3) WhenModal<QMessageBox>(read_box);
  };
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    WhenModal<QMessageBox>(read_box);
    TypeNamesAndAccept(dialog, QString::fromStdString(Path("y.gds")));
  });
  window.OnCommand(kCmdTranslate);
  ASSERT_FALSE(box_texts.empty());
  EXPECT_EQ(window.StatusText(), "Translation failed") << ::testing::PrintToString(box_texts);
  EXPECT_NE(std::find_if(box_texts.begin(), box_texts.end(),
                         [](const std::string& text) {
                           return text.rfind("Error occurred in translating EM/Mann file(s).", 0) ==
                                  0;
                         }),
            box_texts.end())
      << ::testing::PrintToString(box_texts);
}

// A stand-in engine in its own program directory: a shell script run in the working
// directory.
std::string FakeEngine(const std::string& directory, const std::string& script) {
  std::filesystem::create_directories(directory);
  const std::string path = directory + "/corvitex";
  test_support::WriteBytes(path, "#!/bin/sh\n" + script);
  chmod(path.c_str(), 0755);
  return directory;
}

// While it lives, files created by this program are written but not read back: the mode
// of a new file is write-only, and this thread loses the capabilities by which root reads
// such a file all the same. Children the program starts meanwhile set their own umask.
class NewFilesUnreadable {
 public:
  NewFilesUnreadable() : umask_(::umask(0466)) {
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    header_.pid = 0;  // this thread
    if (syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ok_ = syscall(SYS_capset, &header_, lowered) == 0;
  }
  ~NewFilesUnreadable() {
    if (ok_) syscall(SYS_capset, &header_, saved_);
    ::umask(umask_);
  }
  NewFilesUnreadable(const NewFilesUnreadable&) = delete;
  NewFilesUnreadable& operator=(const NewFilesUnreadable&) = delete;
  bool ok() const { return ok_; }

 private:
  mode_t umask_;
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
  bool ok_ = false;
};

// A run that ends well but leaves no log, and a job log that cannot be read back once it is
// written, are each named in one message.
TEST_F(RoadTest, AJobLogMissingOrNotShownIsNamed) {
  const struct {
    const char* script;
    bool unreadable;
    const char* message;  // the log path goes between these two
    const char* reason;
  } cases[] = {
      {"exit 0\n", false, "Error occurred in generating log file ", "."},
      {"umask 022\nprintf 'engine says\\r\\n' > demo.log\n", true,
       "Error occurred in viewing log file ", ".\nPermission denied."},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    notifier_.shown.clear();
    CorvaneMainWindow window;
    const std::string work = Path("work " + std::to_string(++n));
    std::filesystem::create_directories(work);
    window.session().working_directory = work;
    SelectFiles(window, "\"demo.em\"");
    window.session().program_directory = FakeEngine(Path("bin " + std::to_string(n)), c.script);
    WhenModal<QFileDialog>([this](QFileDialog* dialog) {
      TypeNamesAndAccept(dialog, QString::fromStdString(Path("out.gds")));
    });
    {
      std::optional<NewFilesUnreadable> unreadable;
      if (c.unreadable) {
        ASSERT_TRUE(unreadable.emplace().ok());
      }
      window.OnCommand(kCmdTranslate);
    }
    EXPECT_EQ(window.StatusText(), "Translation finished");
    ASSERT_EQ(Messages().size(), 1u) << ::testing::PrintToString(Messages());
    EXPECT_EQ(Messages()[0], c.message + work + "/demo.log" + c.reason);
    EXPECT_EQ(window.session().log_file_path, "") << "no log was shown";
    if (c.unreadable) {
      // The job log itself was built; only reading it back failed.
      ASSERT_EQ(chmod((work + "/demo.log").c_str(), 0644), 0);
      const std::string log = ReadFile(work + "/demo.log");
      EXPECT_EQ(log.rfind(JobLogHeader(), 0), 0u);
      EXPECT_NE(log.find("\r\n\r\nengine says\r\n"), std::string::npos) << log;
    }
  }
}

}  // namespace
}  // namespace kavrinth
