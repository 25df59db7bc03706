// Corvane's main window: settings kept across starts, the control panel's toggle, the log
// view, the viewers it starts and the working directory that takes the job file along.
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTextCursor>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "corvane/ui/about_dialog.h"
#include "corvane/ui/help_topics.h"
#include "corvane/ui/layers_dialog.h"
#include "corvane/ui/tests/corvane_test_support.h"
#include "platform/ini.h"
#include "support/qt/directory_dialog.h"
#include "support/tests/help_table_check.h"

namespace kavrinth {
namespace {

using MainWindowTest = CorvaneWindowTest;

// A stand-in viewer that writes its directory and arguments, one a line, to <name>.args.
std::string FakeViewer(const std::string& directory, const std::string& name) {
  const std::string path = directory + "/" + name;
  test_support::WriteBytes(path, "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"" +
                                     path + ".args.part\"\nmv \"" + path + ".args.part\" \"" +
                                     path + ".args\"\n");
  chmod(path.c_str(), 0755);
  return path;
}

std::string WaitForArgs(const std::string& viewer) {
  const std::string args = viewer + ".args";
  WaitFor([&] { return std::filesystem::exists(args); });
  return test_support::ReadBytes(args);
}

TEST_F(MainWindowTest, SettingsAndThePanelToggleLastAcrossStarts) {
  {
    CorvaneMainWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), "CORVANE");
    EXPECT_TRUE(window.panel()->isVisible());
    EXPECT_TRUE(window.action(kCmdControlDialog)->isChecked());
    EXPECT_FALSE(window.statusBar()->isHidden());
    EXPECT_EQ(window.session().options.files_format, kFilesElectromask);
    EXPECT_EQ(window.session().options.scale, 1.0);
    // The panel's close box hides it and unticks the menu item.
    window.panel()->close();
    EXPECT_FALSE(window.panel()->isVisible());
    EXPECT_FALSE(window.action(kCmdControlDialog)->isChecked());
    window.session().options = {kFilesMann3000, kFilesUnitMicron, 2.5};
    window.session().working_directory = work_dir_;
    window.close();
  }
  const std::string ini = ReadFile(Path("config/Kavrinth/Corvane.ini"));
  for (const char* line : {"ControlDialog=0\r\n", "Toolbar=0\r\n", "Statusbar=1\r\n",
                           "Scale=2.5\r\n", "FilesFormat=1\r\n", "FilesUnit=1\r\n"}) {
    EXPECT_NE(ini.find(line), std::string::npos) << line << ini;
  }
  std::filesystem::remove_all(work_dir_);
  {
    CorvaneMainWindow window;
    window.show();
    EXPECT_FALSE(window.panel()->isVisible());
    EXPECT_FALSE(window.action(kCmdControlDialog)->isChecked());
    EXPECT_EQ(window.session().options.scale, 2.5);
    EXPECT_EQ(window.session().working_directory, "") << "a deleted directory is ignored";
    window.action(kCmdControlDialog)->trigger();  // the menu item shows it again
    EXPECT_TRUE(window.panel()->isVisible());
    EXPECT_TRUE(window.action(kCmdControlDialog)->isChecked());
    Press(window.panel(), kPanelQuit);  // Quit closes like the window's own close
    EXPECT_FALSE(window.isVisible());
  }
  EXPECT_NE(ReadFile(Path("config/Kavrinth/Corvane.ini")).find("ControlDialog=1\r\n"),
            std::string::npos);
}

// Paths far longer than 260 characters come back from the settings whole, and the next
// close stores them whole again.
TEST_F(MainWindowTest, PathsOfAThousandCharactersComeBackAndAreStoredWhole) {
  const std::string deep = test_support::MakeLongDirectory(temp_.path(), 1000);
  ASSERT_EQ(deep.size(), 1000u);
  const std::string input = deep + "/demo.em", gds_viewer = deep + "/pexol",
                    pg_viewer = deep + "/vexil";
  for (const std::string& file : {input, gds_viewer, pg_viewer}) test_support::WriteBytes(file, "");
  const std::pair<const char*, std::string> stored[] = {
      {"InputFile", input},
      {"WorkingDirectory", deep},
      {"GDSViewerPath", gds_viewer},
      {"PGViewerPath", pg_viewer},
  };
  {
    CAppProfile profile;
    ASSERT_TRUE(profile.Open("Corvane"));
    for (const auto& [name, value] : stored) ASSERT_EQ(profile.WriteString(name, value.c_str()), 1);
  }
  {
    CorvaneMainWindow window;
    window.show();
    EXPECT_EQ(window.session().input_file, input);
    EXPECT_EQ(window.session().working_directory, deep);
    EXPECT_EQ(window.session().gds_viewer_path, gds_viewer);
    EXPECT_EQ(window.session().pg_viewer_path, pg_viewer);
    window.close();
  }
  CAppProfile profile;
  ASSERT_TRUE(profile.Open("Corvane"));
  for (const auto& [name, value] : stored) {
    std::string text;
    EXPECT_EQ(profile.GetString(name, &text, 4096), 1) << name;
    EXPECT_EQ(text, value) << name;
  }
}

TEST_F(MainWindowTest, LogViewOpensSavesAndResets) {
  CorvaneMainWindow window;
  window.show();
  EXPECT_FALSE(window.action(kCmdSaveLogAs)->isEnabled());
  EXPECT_FALSE(window.action(kCmdPrintLog)->isEnabled());
  const std::string log = "line one\r\nline two\r\n";
  WriteFile("job.log", log);
  ASSERT_TRUE(window.OpenDocumentFile(Path("job.log")));
  EXPECT_EQ(window.log_view()->toPlainText(), "line one\nline two\n");
  EXPECT_FALSE(window.log_view()->isReadOnly());
  EXPECT_TRUE(window.action(kCmdSaveLogAs)->isEnabled());
  EXPECT_TRUE(window.action(kCmdPrintLog)->isEnabled());

  window.log_view()->appendPlainText("note");
  WhenModal<QFileDialog>([this](QFileDialog* dialog) {
    TypeNamesAndAccept(dialog, QString::fromStdString(Path("saved")));
  });
  window.OnCommand(kCmdSaveLogAs);
  EXPECT_EQ(ReadFile(Path("saved.log")), "line one\r\nline two\r\n\r\nnote");
  EXPECT_EQ(window.session().log_file_path, Path("saved.log"));
  EXPECT_FALSE(std::filesystem::exists(Path("saved.log.part")));

  // Printing without a printer writes a PDF.
  WhenModal<QFileDialog>([this](QFileDialog* dialog) {
    TypeNamesAndAccept(dialog, QString::fromStdString(Path("printed.pdf")));
  });
  window.OnCommand(kCmdPrintLog);
  EXPECT_EQ(ReadFile(Path("printed.pdf")).substr(0, 5), "%PDF-");

  window.OnCommand(kCmdFileNew);
  EXPECT_TRUE(window.log_view()->toPlainText().isEmpty());
  EXPECT_TRUE(window.log_view()->isReadOnly());
  EXPECT_FALSE(window.action(kCmdSaveLogAs)->isEnabled());

  EXPECT_FALSE(window.OpenDocumentFile(Path("missing.log")));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("Cannot open file " + Path("missing.log") + ".", 0), 0u);
  EXPECT_FALSE(window.action(kCmdSaveLogAs)->isEnabled());
}

TEST_F(MainWindowTest, ViewersStartWithTheirArgumentsWhole) {
  std::filesystem::create_directories(Path("bin"));
  const std::string pexol = FakeViewer(Path("bin"), "pexol");
  const std::string vexil = FakeViewer(Path("bin"), "vexil");
  CorvaneMainWindow window;
  window.session().program_directory = Path("bin");
  window.session().working_directory = work_dir_;
  SelectFiles(window, "\"demo.em\" \"demo.dwm\"");
  window.session().gds_output_path = Path("out put/result.gds");
  window.OnCommand(kCmdViewGds);
  EXPECT_EQ(WaitForArgs(pexol), work_dir_ + "\n" + Path("out put/result.gds") + "\n-title:Pexol\n");
  EXPECT_EQ(window.session().gds_viewer_path, pexol);

  // The job keeps its case; its viewer table names both inputs.
  window.session().options = {kFilesMann3600, kFilesUnitMicron, 1.0};
  window.session().input_file = input_dir_ + "/DEMO.em";
  window.session().input_file_names = {"DEMO.em", "demo.dwm"};
  window.OnCommand(kCmdViewEmMann);
  const std::string job = work_dir_ + "/DEMO.job";
  EXPECT_EQ(WaitForArgs(vexil), work_dir_ + "\n" + job + "\n");
  EXPECT_EQ(ReadFile(job), "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + input_dir_ +
                               "/DEMO.em\"\r\nLAYER_1=ON,0,255,0,Paint \"" + input_dir_ +
                               "/demo.dwm\"\r\n[General]\r\nFormatType=2\r\nUnitType=1\r\n");
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
}

// An input whose path the viewer job cannot hold (here a directory with double quotes) is
// named with the reason: the job file stays as it was and the viewer is not started.
TEST_F(MainWindowTest, ViewEmMannNamesAnInputPathTheJobCannotHold) {
  std::filesystem::create_directories(Path("bin"));
  const std::string vexil = FakeViewer(Path("bin"), "vexil");
  const std::string quoted = Path("say \"hi\"");
  std::filesystem::create_directories(quoted);
  std::filesystem::copy_file(input_dir_ + "/demo.em", quoted + "/demo.em");
  const std::string job = "[General]\r\nlayers=layer0\r\n[layer0]\r\nlayer=1,x\r\n";
  WriteFile("work dir/demo.job", job);
  CorvaneMainWindow window;
  window.show();
  window.session().program_directory = Path("bin");
  window.session().working_directory = work_dir_;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    dialog->setDirectory(QString::fromStdString(quoted));
    TypeNamesAndAccept(dialog, "\"demo.em\"");
  });
  PressPanel(window, kPanelSelectFiles);
  ASSERT_EQ(window.session().input_file, quoted + "/demo.em");
  window.action(kCmdViewEmMann)->trigger();  // File, View EM/Mann
  ASSERT_EQ(Messages().size(), 1u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Messages()[0],
            "The job file " + work_dir_ + "/demo.job cannot be written.\n" + quoted +
                "/demo.em: a job file cannot hold a path with a double quote or a line break.");
  EXPECT_EQ(ReadFile(work_dir_ + "/demo.job"), job);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work_dir_),
                          std::filesystem::directory_iterator()),
            1)
      << "nothing is left half written";
  QTest::qWait(200);
  EXPECT_FALSE(std::filesystem::exists(vexil + ".args")) << "the viewer is not started";
}

TEST_F(MainWindowTest, AMissingViewerIsNamedAndNotStartedAfterCancel) {
  CorvaneMainWindow window;
  window.session().program_directory = Path("empty bin");
  window.session().working_directory = work_dir_;
  SelectFiles(window, "\"demo.em\"");
  bool asked = false;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    asked = dialog->windowTitle() == "Select Viewer [Vexil.exe]";
    dialog->reject();
  });
  window.OnCommand(kCmdViewEmMann);
  EXPECT_TRUE(asked);
  ASSERT_EQ(Messages().size(), 1u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Messages()[0], "The PG viewer vexil was not found in " + Path("empty bin") +
                               ", and no other was chosen.\nChoose one with File, Preferences.");
  EXPECT_EQ(window.session().pg_viewer_path, "");

  // Chosen through the dialog instead: started, and kept.
  const std::string other = FakeViewer(temp_.path(), "my viewer");
  WhenModal<QFileDialog>(
      [&](QFileDialog* dialog) { TypeNamesAndAccept(dialog, QString::fromStdString(other)); });
  window.OnCommand(kCmdViewEmMann);
  EXPECT_EQ(WaitForArgs(other), work_dir_ + "\n" + work_dir_ + "/demo.job\n");
  EXPECT_EQ(window.session().pg_viewer_path, other);
}

TEST_F(MainWindowTest, WorkingDirectoryTakesTheJobAlongAndKeepsItWhenItCannot) {
  CorvaneMainWindow window;
  window.session().working_directory = work_dir_;
  SelectFiles(window, "\"demo.em\"");
  const std::string job = "[General]\r\nlayers=layer0\r\n[layer0]\r\nlayer=1,x\r\n";
  WriteFile("work dir/demo.job", job);
  std::filesystem::create_directories(Path("next"));
  std::filesystem::create_directories(Path("blocked/demo.job"));  // a directory in the way

  auto choose = [&](const std::string& directory) {
    WhenModal<CDirectoryDlg>([directory](CDirectoryDlg* dialog) {
      TypeInto(dialog, kDirNew, QString::fromStdString(directory));
      Press(dialog, kIdOk);
    });
    window.OnCommand(kCmdWorkingDirectory);
  };
  choose(Path("blocked"));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("cannot be moved"), std::string::npos) << Messages()[0];
  EXPECT_EQ(window.session().working_directory, work_dir_);
  EXPECT_EQ(ReadFile(work_dir_ + "/demo.job"), job);

  choose(Path("next"));
  EXPECT_EQ(window.session().working_directory, Path("next"));
  EXPECT_EQ(ReadFile(Path("next/demo.job")), job);
  EXPECT_FALSE(std::filesystem::exists(work_dir_ + "/demo.job"));
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(MainWindowTest, WorkingDirectoryCancelChangesNothing) {
  CorvaneMainWindow window;
  window.session().working_directory = work_dir_;
  SelectFiles(window, "\"demo.em\"");
  const std::string job = "[General]\r\nlayers=layer0\r\n";
  WriteFile("work dir/demo.job", job);
  std::filesystem::create_directories(Path("next"));
  bool shown = false;
  WhenModal<CDirectoryDlg>([&](CDirectoryDlg* dialog) {
    EXPECT_EQ(FindControl<QLineEdit>(dialog, kDirOld)->text().toStdString(), work_dir_);
    TypeInto(dialog, kDirNew, QString::fromStdString(Path("next")));
    PressKey(FindControl<QLineEdit>(dialog, kDirNew), Qt::Key_Tab);  // the path is listed
    shown = true;
    Press(dialog, kIdCancel);
  });
  window.OnCommand(kCmdWorkingDirectory);
  ASSERT_TRUE(shown);
  EXPECT_EQ(window.session().working_directory, work_dir_);
  EXPECT_EQ(ReadFile(work_dir_ + "/demo.job"), job);
  EXPECT_FALSE(std::filesystem::exists(Path("next/demo.job")));
  EXPECT_TRUE(Messages().empty());
}

// After a restart the stored input comes back but no file is selected: View EM/Mann leaves
// the viewer job's layer table as the user left it.
TEST_F(MainWindowTest, ViewEmMannAfterARestartKeepsTheViewerTable) {
  std::filesystem::create_directories(Path("bin"));
  const std::string vexil = FakeViewer(Path("bin"), "vexil");
  const std::string table = "[LAYER_TABLE]\r\nLAYER_0=OFF,0,0,255,Scratch \"" + input_dir_ +
                            "/demo.em\"\r\nLAYER_1=ON,9,9,9,Paint \"" + input_dir_ +
                            "/demo.dwm\"\r\n";
  WriteFile("work dir/demo.job", table);
  WriteFile("config/Kavrinth/Corvane.ini", "[Corvane]\r\nInputFile=" + input_dir_ +
                                               "/demo.em\r\nWorkingDirectory=" + work_dir_ +
                                               "\r\nPGViewerPath=" + vexil + "\r\n");
  CorvaneMainWindow window;
  ASSERT_TRUE(window.session().input_file_names.empty());
  window.OnCommand(kCmdViewEmMann);
  EXPECT_EQ(WaitForArgs(vexil), work_dir_ + "\n" + work_dir_ + "/demo.job\n");
  EXPECT_EQ(ReadFile(work_dir_ + "/demo.job"),
            table + "[General]\r\nFormatType=0\r\nUnitType=0\r\n");
}

// An input that is one of the job's own files is named before anything is written or run,
// and keeps its bytes.
TEST_F(MainWindowTest, AnInputThatIsAFileOfTheJobIsNeverOverwritten) {
  const std::string em = ReadFile(input_dir_ + "/demo.em");
  WriteFile("in put/demo.log", em);
  WriteFile("in put/other.job", em);
  CorvaneMainWindow window;
  // Any file dialog the refused steps open is answered, so that a step that goes on
  // anyway shows as damage rather than as a hang.
  int file_dialogs = 0;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      ++file_dialogs;
      TypeNamesAndAccept(dialog, QString::fromStdString(Path("out.gds")));
    }
  });
  SelectFiles(window, "\"demo.em\" \"demo.log\"");
  ASSERT_EQ(window.session().working_directory, input_dir_);
  WhenModal<LayersDialog>([](LayersDialog* dialog) { Press(dialog, kIdOk); });
  window.OnCommand(kCmdLayers);  // demo.job is no input: written
  answer.start(20);
  window.OnCommand(kCmdTranslate);
  answer.stop();
  EXPECT_EQ(file_dialogs, 0) << "refused before the output is asked for";
  ASSERT_EQ(Messages().size(), 1u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Messages()[0], "The input file " + input_dir_ +
                               "/demo.log is the log of this job, which the engine overwrites."
                               "\nPlease choose another working directory or rename the file.");
  EXPECT_TRUE(ReadFile(input_dir_ + "/demo.log") == em);

  // An input named as the job file: neither the Layers dialog nor View EM/Mann writes it.
  SelectFiles(window, "\"other.job\"");
  window.OnCommand(kCmdLayers);
  window.OnCommand(kCmdViewEmMann);
  ASSERT_EQ(Messages().size(), 3u) << ::testing::PrintToString(Messages());
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(Messages()[i].rfind("The input file " + input_dir_ + "/other.job is the job file", 0),
              0u)
        << Messages()[i];
  }
  EXPECT_TRUE(ReadFile(input_dir_ + "/other.job") == em);
}

TEST_F(MainWindowTest, SelectResetsTheRoadAndTheTitle) {
  CorvaneMainWindow window;
  window.show();
  for (int id : {kPanelLayers, kPanelTranslate, kPanelViewGds, kPanelViewEmMann}) {
    window.panel()->EnableButton(id, true);
  }
  window.session().input_file_layer_table[0] = "9";
  SelectFiles(window, "\"demo.dwm\"");
  EXPECT_EQ(window.windowTitle(), "CORVANE - demo.dwm");
  EXPECT_EQ(window.session().working_directory, input_dir_);
  EXPECT_EQ(window.session().input_file_layer_table[0], "");
  for (int id : {kPanelLayers, kPanelTranslate, kPanelViewGds, kPanelViewEmMann}) {
    EXPECT_FALSE(window.panel()->button(id)->isEnabled()) << id;
  }
  EXPECT_TRUE(window.panel()->button(kPanelConfiguration)->isEnabled());
  // Cancel in the dialog changes nothing.
  WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  window.OnCommand(kCmdSelectFiles);
  EXPECT_EQ(window.session().input_file, input_dir_ + "/demo.dwm");
  EXPECT_TRUE(window.panel()->button(kPanelConfiguration)->isEnabled());
}

void DoubleClick(QWidget* widget) {
  QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &click);
}

TEST_F(MainWindowTest, AboutBoxShowsAndHidesItsCredits) {
  CorvaneMainWindow window;
  bool checked = false;
  WhenModal<AboutDialog>([&](AboutDialog* box) {
    EXPECT_EQ(box->windowTitle(), "About CORVANE");
    auto* about = box->findChild<QLabel*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->text().contains(QRegularExpression("Version [0-9]+\\.[0-9]+\\.[0-9]+")))
        << about->text().toStdString();
    EXPECT_FALSE(box->credits()->isVisible());
    DoubleClick(box);
    EXPECT_TRUE(box->credits()->isVisible()) << "prepared and shown at once";
    EXPECT_FALSE(box->ok()->isEnabled());
    EXPECT_EQ(AboutDialog::credits_state(), CreditsState::kShown);
    DoubleClick(box->credits());
    EXPECT_FALSE(box->credits()->isVisible());
    EXPECT_TRUE(box->ok()->isEnabled());
    EXPECT_EQ(AboutDialog::credits_state(), CreditsState::kPrepared);
    DoubleClick(box);
    EXPECT_TRUE(box->credits()->isVisible());
    DoubleClick(box->credits());
    box->ok()->click();
    checked = true;
  });
  window.OnCommand(kCmdAbout);
  EXPECT_TRUE(checked);
  EXPECT_EQ(AboutDialog::credits_state(), CreditsState::kNotPrepared);
}

// The section at the top of the help window, once it shows.
std::string ShownHelp(CorvaneMainWindow& window) {
  HelpWindow* help = window.help()->window();
  if (help == nullptr || !WaitFor([help] { return help->isVisible(); }, 3000)) {
    return "(no help window)";
  }
  QApplication::processEvents();
  return help->VisibleSection().toStdString();
}

TEST_F(MainWindowTest, HelpOpensTheReadmeBesideTheProgramAtTheSectionAsked) {
  // The installed layout: the programs and the README in <prefix>/lib/kavrinth.
  std::filesystem::create_directories(Path("kit/lib/kavrinth"));
  std::string readme = "# Kavrinth\n## Installing\n";
  for (const char* heading : {"## Corvane", "### Control panel", "### Using Help", "## Vexil"}) {
    readme += std::string(heading) + "\n\n";
    for (int i = 0; i < 30; ++i) readme += "Line " + std::to_string(i) + ".\n\n";
  }
  WriteFile("kit/lib/kavrinth/README.md", readme);
  CorvaneMainWindow window;
  window.show();
  window.session().program_directory = Path("kit/lib/kavrinth");
  // A dialog's Help explains the dialog, over it.
  std::string over_dialog;
  WhenModal<LayersDialog>([&](LayersDialog* dialog) {
    Press(dialog, kLayersHelp);
    over_dialog = ShownHelp(window);
    EXPECT_EQ(window.help()->window()->parentWidget(), dialog);
    Press(dialog, kIdCancel);
  });
  window.OnCommand(kCmdLayers);
  EXPECT_EQ(over_dialog, "Corvane/Control panel");
  // The Help menu's items open the sections their names say.
  struct MenuCase {
    int command;
    const char* section;
  } menu_cases[] = {
      {kCmdHelpIndex, "Corvane"},
      {kCmdUsingHelp, "Corvane/Using Help"},
      {kCmdInstallation, "Installing"},
  };
  for (const MenuCase& c : menu_cases) {
    window.OnCommand(c.command);
    EXPECT_EQ(ShownHelp(window), c.section) << c.command;
  }
  // F1 in the control panel; Shift+F1 and a click on the panel's Configuration button.
  QTest::keyClick(window.log_view(), Qt::Key_F1);
  EXPECT_EQ(ShownHelp(window), "Corvane");
  window.OnCommand(kCmdHelp);
  EXPECT_EQ(ShownHelp(window), "Corvane");
  QTest::keyClick(window.panel(), Qt::Key_F1);
  EXPECT_EQ(ShownHelp(window), "Corvane/Control panel");
  QTest::keyClick(window.log_view(), Qt::Key_F1, Qt::ShiftModifier);
  ASSERT_TRUE(window.help()->in_context_mode());
  QTest::mouseClick(FindControl<QPushButton>(window.panel(), kPanelSelectFiles), Qt::LeftButton);
  EXPECT_EQ(ShownHelp(window), "Corvane/Control panel");
  EXPECT_FALSE(window.help()->in_context_mode());
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
  // Without a README the help says so.
  window.session().program_directory = Path("elsewhere");
  window.OnCommand(kCmdHelpIndex);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("Help is not installed.", 0), 0u);
}

// Every section Corvane's help opens is a heading of the README (read without a window).
TEST(CorvaneHelpTableTest, EverySectionItOpensIsAHeadingOfTheReadme) {
  const HelpTable& table = CorvaneHelpTable();
  for (const std::string& section :
       test_support::SectionsMissingFromReadme(table, SAMPLES_DIR "/../README.md")) {
    ADD_FAILURE() << "no README heading for " << section;
  }
  // The control panel's context has its section.
  EXPECT_EQ(HelpSectionOf(table, 0x2008C), "Corvane/Control panel");
}

// Search, Find... opens the log view's Find dialog; its Find Next and F3 go on from the
// match in the direction chosen, and "Cannot find" comes only at the end of that direction.
TEST_F(MainWindowTest, FindAndFindNextInTheLog) {
  CorvaneMainWindow window;
  window.show();
  WriteFile("a.log", "Layer 1\r\nwarning one\r\nLayer 2\r\nWarning two\r\n");
  ASSERT_TRUE(window.OpenDocumentFile(Path("a.log")));
  window.OnCommand(kCmdFind);
  CLogFindDlg* find = window.log_view()->find_dialog();
  ASSERT_NE(find, nullptr);
  ASSERT_TRUE(find->isVisible());
  find->find_what()->setText("warning");
  QTest::mouseClick(find->find_next(), Qt::LeftButton);
  EXPECT_EQ(window.log_view()->textCursor().blockNumber(), 1);
  window.OnCommand(kCmdFindNext);  // without Match case "Warning" is found too
  EXPECT_EQ(window.log_view()->textCursor().blockNumber(), 3);
  EXPECT_EQ(window.log_view()->textCursor().selectedText(), "Warning");
  EXPECT_TRUE(Messages().empty());
  window.OnCommand(kCmdFindNext);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], "Cannot find \"warning\".");
  // Up, with Match case: back to the first line, past "Warning".
  find->match_case()->setChecked(true);
  find->up()->setChecked(true);
  QTest::mouseClick(find->find_next(), Qt::LeftButton);
  EXPECT_EQ(window.log_view()->textCursor().blockNumber(), 1);
  EXPECT_EQ(Messages().size(), 1u);
  find->reject();
}

}  // namespace
}  // namespace kavrinth
