// Tabrun's windows along the user's road on the sample layout, offscreen: Select GDS File
// (scanned at once), the CFG file, the top structure, Configuration, Layers, Translate with
// the engine's progress, the job log and View PG. The PG files must be the bytes the
// programs give by hand and must load into the viewer's database. Then Cancel, the Layers
// dialog's Cancel, and the errors a user meets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "support/qt/directory_dialog.h"
#include "support/qt/engine_progress_dialog.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/tests/qt_test_support.h"
#include "support/qt/window_helpers.h"
#include "support/tests/help_table_check.h"
#include "support/version.h"
#include "tabrun/core/file_ops.h"
#include "tabrun/core/job_actions.h"
#include "tabrun/core/tests/reference_run.h"
#include "tabrun/ui/commands.h"
#include "tabrun/ui/configuration_sheet.h"
#include "tabrun/ui/control_panel.h"
#include "tabrun/ui/help_topics.h"
#include "tabrun/ui/layers_dialog.h"
#include "tabrun/ui/main_frame.h"
#include "tabrun/ui/shell_dialogs.h"
#include "tabrun/ui/structure_dialogs.h"
#include "tabrun/ui/tests/prepare_job.h"
#include "viewer/model/job_file.h"
#include "viewer/model/job_loading.h"
#include "viewer/model/layer_table.h"

namespace kavrinth {
namespace {

using reference_run::kBin;
using reference_run::kLayers;
using reference_run::kSamples;
using test_support::PrepareJob;
using test_support::ReadBytes;
using test_support::TempDir;

template <class T>
T* Control(const QWidget* owner, int id) {
  T* control = FindControl<T>(owner, id);
  EXPECT_NE(control, nullptr) << "control " << id;
  return control;
}

class TabrunWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.ok());
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    setenv("KAVRINTH_PROGRAM_DIR", kBin.c_str(), 1);
    gds_ = work_.Write("demo.gds", ReadBytes(kSamples + "/demo.gds"));
    frame_ = std::make_unique<CMainFrame>(false);
    frame_->show();
  }
  void TearDown() override {
    frame_->close();
    frame_.reset();
  }

  void ClickPanel(int id) { Control<QPushButton>(frame_->panel(), id)->click(); }
  // Replaces a scanned layout's bytes behind the shell's back: padded to its size and given
  // its time again, so that only the engine finds the change.
  static void WriteUnnoticed(const std::string& path, std::string bytes) {
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    bytes.resize(static_cast<size_t>(before.st_size), ' ');
    test_support::WriteBytes(path, bytes);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  bool PanelEnabled(int id) { return frame_->panel()->ButtonEnabled(id); }

  // Select GDS File, then the new CFG file, as a user does.
  void SelectGdsFile(const std::string& gds) {
    WhenModal<QFileDialog>([this, gds](QFileDialog* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "Select GDS File");
      auto* working_dir = FindControl<QPushButton>(dialog, kTplWorkingDirButton);
      EXPECT_TRUE(working_dir != nullptr && !working_dir->isHidden());
      WhenModal<QFileDialog>([this](QFileDialog* cfg) {
        EXPECT_EQ(cfg->windowTitle(), "Select/Create CFG File");
        TypeNamesAndAccept(cfg, QString::fromStdString(work_.File("demo.cfg")));
      });
      TypeNamesAndAccept(dialog, QString::fromStdString(gds));
    });
    ClickPanel(kPanelSelectGds);
    // The new CFG file was created after its question (answered Yes).
    const std::string question =
        work_.File("demo.cfg") + "\nThis file does not exist.\nCreate the file?";
    auto asked = std::find_if(notifier_.shown.begin(), notifier_.shown.end(),
                              [&](const Message& m) { return m.text == question; });
    ASSERT_NE(asked, notifier_.shown.end());
    EXPECT_EQ(asked->buttons, MessageButtons::kYesNo);
    notifier_.shown.erase(asked);
  }

  TempDir work_{"tabrun window"};  // a blank in every path of the job
  TempDir config_{"tabrun_config"};
  std::string gds_;
  ScriptedNotifier notifier_;
  ScopedNotifier scoped_{&notifier_};
  std::unique_ptr<CMainFrame> frame_;
};

TEST_F(TabrunWindowTest, TheWholeRoadGivesThePgFilesOfTheCommandLine) {
  // Only the first step is open at the start.
  EXPECT_TRUE(PanelEnabled(kPanelSelectGds));
  for (int id : {kPanelStructure, kPanelConfiguration, kPanelLayers, kPanelTranslate, kPanelViewPg,
                 kPanelViewGds}) {
    EXPECT_FALSE(PanelEnabled(id)) << id;
  }
  EXPECT_FALSE(frame_->CommandEnabled(kCmdTranslate));

  // Select GDS File: scanned at once; the CFG file; the Structure Selection opens.
  SelectGdsFile(gds_);
  ASSERT_TRUE(frame_->job().scanned);
  EXPECT_EQ(frame_->job().cfg_path, work_.File("demo.cfg"));
  EXPECT_TRUE(FileExists(work_.File("demo.cfg")));
  EXPECT_EQ(frame_->windowTitle(), "Tabrun - demo.gds,demo.cfg");
  EXPECT_TRUE(frame_->log_view()->toPlainText().contains("STRUCTURE_LIST"));
  EXPECT_TRUE(frame_->log_view()->isReadOnly());
  EXPECT_TRUE(PanelEnabled(kPanelStructure));

  // The top structure: typing a name selects it, Info shows it, an empty one is refused.
  CStructSelectDlg* structure = frame_->structure_dialog();
  ASSERT_NE(structure, nullptr);
  ASSERT_TRUE(structure->isVisible());
  auto* name = Control<QLineEdit>(structure, kStructName);
  EXPECT_EQ(name->text(), "TESTPAT");
  name->clear();
  QTest::keyClicks(name, "mark");
  EXPECT_EQ(structure->selected_name(), "TESTPAT");  // a prefix selects nothing
  QTest::keyClicks(name, "s");
  EXPECT_EQ(name->text(), "MARKS");
  EXPECT_EQ(structure->selected_name(), "MARKS");
  Control<QPushButton>(structure, kStructInfo)->click();
  ASSERT_TRUE(structure->info()->isVisible());
  EXPECT_EQ(Control<QLineEdit>(structure->info(), kInfoSRef)->text(), "7");
  auto* list = Control<QListWidget>(structure, kStructList);
  list->setCurrentItem(list->findItems("VERNIER", Qt::MatchExactly).front());
  EXPECT_EQ(Control<QLineEdit>(structure->info(), kInfoMax)->text(), "(50.000 , 30.000)");
  Control<QPushButton>(structure, 1)->click();
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Structure 'VERNIER' is empty.");
  EXPECT_TRUE(structure->isVisible());
  list->setCurrentItem(list->findItems("TESTPAT", Qt::MatchExactly).front());
  Control<QPushButton>(structure, kStructDependence)->click();
  EXPECT_TRUE(Control<QPlainTextEdit>(structure->dependencies(), kDependText)
                  ->toPlainText()
                  .startsWith("TESTPAT\n  |__ MARKS\n"));
  // Report writes the structure report of the highlighted structure from the template.
  Control<QPushButton>(structure, kStructReport)->click();
  const std::string report = ReadBytes(work_.File("gdsstrct.rpt"));
  EXPECT_NE(report.find("Top structure:   TESTPAT\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("     5) MARKS\r\n"), std::string::npos) << report;
  notifier_.shown.resize(1);  // the desktop may have no text viewer to show it
  Control<QPushButton>(structure, 1)->click();
  EXPECT_TRUE(WaitFor([&] { return frame_->structure_dialog() == nullptr; }));
  EXPECT_EQ(frame_->job().scan.top, "TESTPAT");
  EXPECT_TRUE(PanelEnabled(kPanelConfiguration));
  EXPECT_TRUE(PanelEnabled(kPanelViewGds));
  EXPECT_FALSE(PanelEnabled(kPanelLayers));

  // Configuration: the sample's settings (microns, feature size 0.5). A scale the engine
  // would not take is refused on OK.
  WhenModal<COptionsDlgSheet>([this](COptionsDlgSheet* sheet) {
    EXPECT_EQ(Control<QLineEdit>(sheet, kOptGdsUnit)->text(), "UM");
    Control<QLineEdit>(sheet, kOptScale)->setText("0");
    Control<QLineEdit>(sheet, kOptFeatureSize)->setText("0.5");
    Control<QRadioButton>(sheet, kMaskMicrons)->click();
    EXPECT_EQ(Control<QLineEdit>(sheet, kMaskMin)->text(), "2.54");
    Control<QRadioButton>(sheet, kMaskMils)->click();
    EXPECT_EQ(Control<QLineEdit>(sheet, kMaskMin)->text(), "0.1");
    Control<QRadioButton>(sheet, kMaskMicrons)->click();
    Control<QLineEdit>(sheet, kMaskMin)->setText("0.1");
    Control<QLineEdit>(sheet, kMaskMax)->setText("60");
    Control<QLineEdit>(sheet, kMaskSag)->setText("0.1");
    Control<QPushButton>(sheet, 1)->click();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->tabs()->currentIndex(), 0);
    Control<QLineEdit>(sheet, kOptScale)->setText("1");
    Control<QPushButton>(sheet, 1)->click();
  });
  ClickPanel(kPanelConfiguration);
  ASSERT_EQ(notifier_.shown.size(), 2u);
  EXPECT_EQ(notifier_.shown[1].text.substr(0, 6), "Scale:");
  EXPECT_DOUBLE_EQ(frame_->job().options.feature_size, 0.5);
  EXPECT_EQ(frame_->job().options.mask_unit, 0);
  EXPECT_TRUE(PanelEnabled(kPanelLayers));

  // Layers: every layer with data is chosen, under the default names.
  WhenModal<CLayersDlg>([](CLayersDlg* layers) {
    EXPECT_FALSE(Control<QCheckBox>(layers, kLayerCheckBase + 0)->isEnabled());
    for (int layer : kLayers) {
      auto* check = Control<QCheckBox>(layers, kLayerCheckBase + layer);
      EXPECT_TRUE(check->isEnabled() && check->isChecked()) << layer;
      EXPECT_EQ(Control<QLineEdit>(layers, kLayerEditBase + layer)->text(),
                QString("TESTPAT%1.em").arg(layer));
    }
    Control<QPushButton>(layers, 1)->click();
  });
  ClickPanel(kPanelLayers);
  EXPECT_EQ(frame_->job().layers.selected, kLayers);
  EXPECT_TRUE(PanelEnabled(kPanelTranslate));

  // Translate, with the engine's progress dialog shown while it runs.
  bool progress_shown = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout,
                   [&] { progress_shown |= frame_->engine_progress()->isVisible(); });
  watch.start(1);
  ClickPanel(kPanelTranslate);
  watch.stop();
  EXPECT_TRUE(progress_shown);
  EXPECT_EQ(frame_->last_translation().result, TranslateResult::kTranslated);
  EXPECT_EQ(frame_->StatusText(), "EMASK Translations completed");
  EXPECT_TRUE(PanelEnabled(kPanelViewPg));
  EXPECT_EQ(notifier_.shown.size(), 2u);

  TempDir reference("tabrun_reference");
  const auto expected = reference_run::ReferenceOutputs(reference, "TESTPAT", false);
  int compared = 0;
  for (int layer : kLayers) {
    const std::string result = ConverterResultName(IntermediateFileName("TESTPAT", layer), true);
    if (expected.count(result) == 0) continue;
    EXPECT_EQ(ReadBytes(work_.File("TESTPAT" + std::to_string(layer) + ".em")), expected.at(result))
        << layer;
    ++compared;
  }
  EXPECT_GE(compared, 4);

  // The job log in the view.
  const QString log = frame_->log_view()->toPlainText();
  EXPECT_TRUE(log.contains("Structure:      \tTESTPAT\n")) << log.toStdString();
  EXPECT_TRUE(log.contains("Generated Output Files:\n1 " +
                           QString::fromStdString(work_.File("TESTPAT1.em"))));

  // Save Log As and Print Log (to a PDF file: no printer is set up here).
  const std::string saved = work_.File("saved log.log");
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Save Log As");
    TypeNamesAndAccept(dialog, QString::fromStdString(saved));
  });
  frame_->OnCommand(kCmdSaveLogAs);
  EXPECT_EQ(ReadBytes(saved).rfind("Kavrinth Tabrun: GDSII to PG translation job log\r\n", 0), 0u);
  EXPECT_EQ(frame_->job().job_log_path, saved);
  const std::string pdf = work_.File("log.pdf");
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Print Log to PDF");
    TypeNamesAndAccept(dialog, QString::fromStdString(pdf));
  });
  frame_->OnCommand(kCmdPrintLog);
  EXPECT_EQ(ReadBytes(pdf).rfind("%PDF", 0), 0u);
  EXPECT_EQ(frame_->recent_files(), std::vector<std::string>{gds_});

  // Save Log As offers the name of the log shown: the job log saved last, and after another
  // log is opened, that one (whose text it would write), never the job log's.
  const auto offered = [&] {
    std::string name;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
      name = dialog->selectedFiles().value(0).toStdString();
      dialog->reject();
    });
    frame_->OnCommand(kCmdSaveLogAs);
    return name;
  };
  EXPECT_EQ(offered(), saved);
  const std::string other = work_.Write("other.log", "another log\r\n");
  ASSERT_TRUE(frame_->OpenDocumentFile(other));
  EXPECT_EQ(offered(), other);
  EXPECT_EQ(ReadBytes(saved).rfind("Kavrinth Tabrun: GDSII to PG translation job log\r\n", 0), 0u);
  // Print Log names its PDF file after the log shown too, and Print Preview's printer, whose
  // Print writes that file, names the same.
  std::string pdf_offered;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Print Log to PDF");
    pdf_offered = dialog->selectedFiles().value(0).toStdString();
    dialog->reject();
  });
  frame_->OnCommand(kCmdPrintLog);
  EXPECT_EQ(pdf_offered, work_.File("other.pdf"));
  std::string preview_output;
  WhenModal<QPrintPreviewDialog>([&](QPrintPreviewDialog* dialog) {
    preview_output = dialog->printer()->outputFileName().toStdString();
    dialog->reject();
  });
  frame_->OnCommand(kCmdPrintPreview);
  EXPECT_EQ(preview_output, work_.File("other.pdf"));

  // View PG writes the viewer job and starts the viewer on it (here a stand-in that notes
  // its arguments); the viewer's database loads every file of the job.
  const std::string viewer =
      work_.Write("viewer.sh", "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.args\"\n");
  ::chmod(viewer.c_str(), 0755);
  frame_->job().options.pg_viewer_path = viewer;
  ClickPanel(kPanelViewPg);
  ASSERT_TRUE(WaitFor([&] { return FileSize(viewer + ".args") > 0; }));
  const std::string job_file = ReadBytes(viewer + ".args");
  EXPECT_EQ(job_file, work_.File("demo.job"));
  ClearLayerTable();
  EXPECT_EQ(ReadJobFile(job_file), compared);
  SinkScanProgress progress;
  EXPECT_EQ(LoadJobFiles(&progress), 0);
  for (int k = 0; k < compared; ++k) EXPECT_NE(LayerTable()[k].library, kGdxNoHandle) << k;
  ClearLayerTable();

  // View GDS File starts the GDS viewer with the GDSII path (blanks and all) as one argument.
  const std::string gds_viewer = work_.Write(
      "gds viewer.sh", "#!/bin/sh\nprintf '%s|%s|%s' \"$1\" \"$2\" \"$3\" > \"$0.args\"\n");
  ::chmod(gds_viewer.c_str(), 0755);
  frame_->job().options.gds_viewer_path = gds_viewer;
  ClickPanel(kPanelViewGds);
  ASSERT_TRUE(WaitFor([&] { return FileSize(gds_viewer + ".args") > 0; }));
  EXPECT_EQ(ReadBytes(gds_viewer + ".args"), gds_ + "|-title:Pexol|-top:TESTPAT");

  // Closing keeps the job's files but not the working directory's gds.cfg.
  frame_->close();
  EXPECT_FALSE(FileExists(work_.File("gds.cfg")));
  EXPECT_TRUE(FileExists(work_.File("demo.cfg")));
}

// A GDSII file whose name holds double quotes, chosen and given its CFG file in the file
// dialogs: it is scanned and translated with the engine's progress, and View PG Files and
// View GDS File give the viewers each path as one argument.
TEST_F(TabrunWindowTest, AGdsFileNameWithDoubleQuotesIsScannedTranslatedAndViewed) {
  const std::string gds = work_.Write("say \"hi\".gds", ReadBytes(kSamples + "/demo.gds"));
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    WhenModal<QFileDialog>([](QFileDialog* cfg) {
      EXPECT_EQ(cfg->windowTitle(), "Select/Create CFG File");
      QMetaObject::invokeMethod(cfg, "accept", Qt::DirectConnection);  // the name offered
    });
    TypeNamesAndAccept(dialog, QString::fromStdString(gds));
  });
  ClickPanel(kPanelSelectGds);
  TabrunJob& job = frame_->job();
  ASSERT_TRUE(job.scanned) << (notifier_.shown.empty() ? "" : notifier_.shown.back().text);
  EXPECT_EQ(job.gds_path, gds);
  EXPECT_EQ(job.cfg_path, work_.File("say \"hi\".cfg"));
  EXPECT_TRUE(FileExists(job.cfg_path));
  job.options.feature_size = 0.5;  // the settings of the programs run by hand
  job.options.mask_unit = 0;
  ASSERT_NO_FATAL_FAILURE(test_support::ChooseSampleStructureAndLayers(job));
  frame_->OnCommand(kCmdTranslate);
  ASSERT_EQ(frame_->last_translation().result, TranslateResult::kTranslated)
      << (notifier_.shown.empty() ? "" : notifier_.shown.back().text);
  EXPECT_GE(reference_run::CountMatchingOutputs(
                [&](int layer) { return work_.Read("L" + std::to_string(layer) + ".em"); }),
            4);

  const std::string viewer =
      work_.Write("viewer.sh", "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$#\" > \"$0.args\"\n");
  ::chmod(viewer.c_str(), 0755);
  job.options.pg_viewer_path = viewer;
  ClickPanel(kPanelViewPg);
  ASSERT_TRUE(WaitFor([&] { return FileSize(viewer + ".args") > 0; }));
  EXPECT_EQ(ReadBytes(viewer + ".args"), work_.File("say \"hi\".job") + "|1");
  const std::string gds_viewer =
      work_.Write("gds viewer.sh",
                  "#!/bin/sh\nprintf '%s|%s|%s|%s' \"$1\" \"$2\" \"$3\" \"$#\" > \"$0.args\"\n");
  ::chmod(gds_viewer.c_str(), 0755);
  job.options.gds_viewer_path = gds_viewer;
  frame_->OnCommand(kCmdViewGds);
  ASSERT_TRUE(WaitFor([&] { return FileSize(gds_viewer + ".args") > 0; }));
  EXPECT_EQ(ReadBytes(gds_viewer + ".args"), gds + "|-title:Pexol|-top:TESTPAT|3");
}

// An empty structure refused on OK stays the highlighted one: the report then tabulates its
// hierarchy, under its name, and not the hierarchy of the top structure before it.
TEST_F(TabrunWindowTest, AfterAnEmptyStructureTheReportIsOfTheStructureShown) {
  SelectGdsFile(gds_);
  CStructSelectDlg* structure = frame_->structure_dialog();
  ASSERT_NE(structure, nullptr);
  auto* list = Control<QListWidget>(structure, kStructList);
  list->setCurrentItem(list->findItems("VERNIER", Qt::MatchExactly).front());
  Control<QPushButton>(structure, 1)->click();
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text, "Structure 'VERNIER' is empty.");
  ASSERT_TRUE(structure->isVisible());
  EXPECT_EQ(frame_->job().scan.top, "TESTPAT");
  Control<QPushButton>(structure, kStructReport)->click();
  const std::string report = ReadBytes(work_.File("gdsstrct.rpt"));
  EXPECT_NE(report.find("Top structure:   VERNIER\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Structures:      1\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("     1) VERNIER\r\n"), std::string::npos) << report;
  EXPECT_EQ(report.find("MARKS"), std::string::npos) << report;
  structure->reject();
}

TEST_F(TabrunWindowTest, CancelInTheProgressDialogCancelsTheTranslation) {
  // An engine that reports progress and runs until it is told to stop, as tabreng does:
  // SIGTERM ends it with the cancelled status.
  TempDir programs("tabrun_programs");
  ::symlink((kBin + "/selvar").c_str(), programs.File("selvar").c_str());
  const std::string engine = programs.Write(
      "tabreng",
      "#!/bin/sh\ntrap 'exit 130' TERM\nprintf 'Translation Options:\\r\\n' > demo.log\n"
      "echo 'TEXT 1 Counting elements' > /proc/self/fd/$KAVRINTH_PROGRESS_FD\n"
      "i=0\nwhile [ $i -lt 500 ]; do sleep 0.01; i=$((i+1)); done\n");
  ::chmod(engine.c_str(), 0755);
  PrepareJob(frame_.get(), gds_, programs.path());
  EngineProgressDialog* progress = frame_->engine_progress();
  bool cancelled = false;
  bool commands_disabled = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!cancelled && progress->isVisible() &&
        progress->ControlText(kEngineText1) == "Counting elements") {
      commands_disabled = !frame_->CommandEnabled(kCmdTranslate) && !frame_->panel()->isEnabled();
      FindControl<QPushButton>(progress, kEngineCancel)->click();
      cancelled = true;
    }
  });
  watch.start(5);
  frame_->OnCommand(kCmdTranslate);
  watch.stop();
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(commands_disabled);
  EXPECT_EQ(frame_->last_translation().result, TranslateResult::kCancelled);
  EXPECT_EQ(frame_->StatusText(), "Translation cancelled");
  EXPECT_FALSE(frame_->panel()->ButtonEnabled(kPanelViewPg));
  EXPECT_TRUE(frame_->CommandEnabled(kCmdTranslate));
  // The engine's log is shown as a job log with its header, which says the user cancelled.
  const std::string shown = frame_->log_view()->toPlainText().toStdString();
  EXPECT_TRUE(shown.starts_with("Kavrinth Tabrun: GDSII to PG translation job log\n")) << shown;
  EXPECT_NE(shown.find("\nThe translation was cancelled by the user.\n"), std::string::npos)
      << shown;
  EXPECT_NE(shown.find("Translation Options:"), std::string::npos) << shown;
}

TEST_F(TabrunWindowTest, WarningsAskWhetherToGoOnBeforeTheConversion) {
  // An engine that counts 5 elements and then reports 3 warnings, with its log.
  TempDir programs("tabrun_programs");
  ::symlink((kBin + "/selvar").c_str(), programs.File("selvar").c_str());
  ::symlink((kBin + "/ferolt").c_str(), programs.File("ferolt").c_str());
  const std::string engine =
      programs.Write("tabreng",
                     "#!/bin/sh\ncase \"$*\" in *-polycnt:*) r=3;; *) r=5;; esac\n"
                     "printf 'engine log\\r\\n' > demo.log\n"
                     "echo $r > /proc/self/fd/$KAVRINTH_RESULT_FD\n");
  ::chmod(engine.c_str(), 0755);
  PrepareJob(frame_.get(), gds_, programs.path());
  for (const bool go_on : {false, true}) {
    std::string prompt;
    WhenModal<CPromptDlg>([&](CPromptDlg* dialog) {
      prompt = Control<QPlainTextEdit>(dialog, kPromptText)->toPlainText().toStdString();
      Control<QPushButton>(dialog, go_on ? 1 : 2)->click();
    });
    frame_->OnCommand(kCmdTranslate);
    EXPECT_NE(prompt.find("3 warnings/errors are detected in the translation."), std::string::npos);
    EXPECT_NE(prompt.find("Continue translation?"), std::string::npos);
    EXPECT_TRUE(frame_->panel()->ButtonEnabled(kPanelViewPg));
    EXPECT_TRUE(frame_->log_view()->toPlainText().contains("engine log"));
    EXPECT_EQ(frame_->last_translation().result,
              go_on ? TranslateResult::kTranslated : TranslateResult::kWarnings);
    EXPECT_EQ(frame_->StatusText(),
              go_on ? "EMASK Translations completed" : "Intermdeiate Translation finished");
  }
}

TEST_F(TabrunWindowTest, CancelInTheLayersDialogRestoresTheNames) {
  PrepareJob(frame_.get(), gds_, kBin);
  const auto before = frame_->job().layers.output_names;
  WhenModal<CLayersDlg>([](CLayersDlg* layers) {
    auto* edit = Control<QLineEdit>(layers, kLayerEditBase + 2);
    edit->setText("renamed.dwm");
    layers->LayerRowChanged(2);
    Control<QPushButton>(layers, kLayersAllOff)->click();
    // Paging down shows layers 32 to 63.
    Control<QPushButton>(layers, kLayersDown)->click();
    EXPECT_EQ(layers->first_shown(), 32);
    EXPECT_EQ(Control<QCheckBox>(layers, kLayerCheckBase)->text(), "32");
    Control<QPushButton>(layers, kLayersUp)->click();
    // No layer chosen: refused, the dialog stays.
    Control<QPushButton>(layers, 1)->click();
    EXPECT_TRUE(layers->isVisible());
    Control<QPushButton>(layers, 2)->click();
  });
  frame_->OnCommand(kCmdLayers);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_EQ(notifier_.shown.back().text, "No layers are selected for translation.");
  EXPECT_EQ(frame_->job().layers.output_names, before);
  EXPECT_EQ(frame_->job().layers.selected, kLayers);

  // Two layers typed with one name: OK makes them unique.
  WhenModal<CLayersDlg>([](CLayersDlg* layers) {
    for (int layer : {1, 2}) {
      Control<QLineEdit>(layers, kLayerEditBase + layer)->setText("same.em");
      layers->LayerRowChanged(layer);
    }
    Control<QPushButton>(layers, 1)->click();
  });
  frame_->OnCommand(kCmdLayers);
  EXPECT_EQ(frame_->job().layers.output_names[1], work_.File("same.em"));
  EXPECT_EQ(frame_->job().layers.output_names[2], work_.File("same_2.em"));
}

// A file the scanner refuses, chosen in Select GDS File: the message names the file and
// gives the scanner's reason, and the job stays without a scan.
TEST_F(TabrunWindowTest, AFileTheScannerRefusesIsToldWithTheScannersReason) {
  for (const reference_run::RefusedLayout& c : reference_run::kRefusedLayouts) {
    SCOPED_TRACE(c.name);
    const std::string path = work_.Write(c.name, c.bytes);
    notifier_.shown.clear();
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
      EXPECT_EQ(dialog->windowTitle(), "Select GDS File");
      TypeNamesAndAccept(dialog, QString::fromStdString(path));
    });
    ClickPanel(kPanelSelectGds);
    ASSERT_EQ(notifier_.shown.size(), 1u);
    EXPECT_EQ(notifier_.shown[0].text,
              "Error occurred in scanning file " + path + ".\n" + c.reason);
    EXPECT_EQ(frame_->StatusText(), "Failed Scanning GDS File");
    EXPECT_FALSE(frame_->job().scanned);
  }
}

TEST_F(TabrunWindowTest, ErrorsShowTheirMessages) {
  // A file the scanner cannot read.
  const std::string broken = work_.Write("broken.gds", "not a GDSII stream");
  EXPECT_FALSE(frame_->OpenDocumentFile(broken));
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text,
            "Error occurred in scanning file " + broken +
                ".\nThe file is not a GDSII stream: it does not begin with a HEADER record "
                "(record 116 at offset 0: length 28271 is odd).");
  EXPECT_EQ(frame_->StatusText(), "Failed Scanning GDS File");
  EXPECT_FALSE(frame_->job().scanned);

  // A scanner that is not there.
  frame_->job().program_dir = work_.File("nowhere");
  EXPECT_FALSE(frame_->OpenDocumentFile(gds_));
  EXPECT_EQ(frame_->StatusText(), "Failed Scanning GDS File");
  EXPECT_EQ(notifier_.shown.size(), 2u);  // RunProgram's own message

  // The engine fails on a layout changed behind the shell's back (to the size and time the
  // scan saw, so that only the engine finds it out): its message, with the engine's
  // reason, and its log shown.
  PrepareJob(frame_.get(), gds_, kBin);
  const std::string sample = work_.Read("demo.gds");
  WriteUnnoticed(gds_, "garbage now");
  frame_->OnCommand(kCmdTranslate);
  EXPECT_EQ(frame_->last_translation().result, TranslateResult::kFailed);
  EXPECT_EQ(notifier_.shown.back().text,
            "Error occurred in scanning GDS file polygons.\nUnable to read the GDS file '" + gds_ +
                "': the file is not a GDSII stream: it does not begin with a HEADER record "
                "(record 114 at offset 0: length 26465 is odd).\nPlease refer to log file for "
                "more information.");
  EXPECT_EQ(frame_->StatusText(), "Failed Scanning Polygons");
  EXPECT_FALSE(frame_->panel()->ButtonEnabled(kPanelViewPg));

  // A layer beyond 1023 in a translated structure: the shell's message names it.
  std::string beyond = sample;
  const std::string layer_one("\x00\x06\x0d\x02\x00\x01", 6);
  ASSERT_NE(beyond.find(layer_one), std::string::npos);
  beyond.replace(beyond.find(layer_one), layer_one.size(),
                 std::string("\x00\x06\x0d\x02\x04\x07", 6));
  WriteUnnoticed(gds_, beyond);
  frame_->OnCommand(kCmdTranslate);
  EXPECT_EQ(frame_->last_translation().result, TranslateResult::kFailed);
  const std::string shown = notifier_.shown.back().text;
  EXPECT_TRUE(shown.starts_with("Error occurred in scanning GDS file polygons.\nLayer 1031 in "
                                "structure ") &&
              shown.ends_with(" of the GDS file '" + gds_ +
                              "' is outside 0..1023.\nPlease refer to log file for more "
                              "information."))
      << shown;

  // A file that changed since the scan is not translated: Translate asks to scan it again,
  // and Yes scans it (here the scanner can no longer read it); no engine runs.
  RemoveFile(work_.File("demo.log"));
  work_.Write("demo.gds", "garbage now");
  notifier_.shown.clear();
  frame_->OnCommand(kCmdTranslate);
  EXPECT_EQ(frame_->last_translation().result, TranslateResult::kRefused);
  ASSERT_EQ(notifier_.shown.size(), 2u);
  EXPECT_EQ(notifier_.shown[0].buttons, MessageButtons::kYesNo);
  EXPECT_TRUE(notifier_.shown[0].text.starts_with("The GDS file " + gds_ +
                                                  " is not the file that was scanned"))
      << notifier_.shown[0].text;
  EXPECT_EQ(notifier_.shown[1].text,
            "Error occurred in scanning file " + gds_ +
                ".\nThe file is not a GDSII stream: it does not begin with a HEADER record "
                "(record 114 at offset 0: length 26465 is odd).");
  EXPECT_EQ(frame_->StatusText(), "Failed Scanning GDS File");
  EXPECT_FALSE(FileExists(work_.File("demo.log")));
  work_.Write("demo.gds", sample);

  // A log opened from a file is editable, and the accelerators work while it is: Ctrl+O
  // opens Select GDS File.
  const std::string log = work_.Write("OLD.LOG", "a log\r\n");
  EXPECT_TRUE(frame_->OpenDocumentFile(log));
  EXPECT_EQ(frame_->log_view()->toPlainText(), "a log\n");
  EXPECT_FALSE(frame_->log_view()->isReadOnly());
  QString opened;
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      opened = dialog->windowTitle();
      dialog->reject();
    }
  });
  guard.start(20);
  frame_->activateWindow();
  frame_->log_view()->setFocus();
  QTest::keyClick(frame_->windowHandle(), Qt::Key_O, Qt::ControlModifier);
  QTest::qWait(100);
  guard.stop();
  EXPECT_EQ(opened, "Select GDS File");
  EXPECT_EQ(frame_->log_view()->toPlainText(), "a log\n");

  // A log dropped on the window opens in the view.
  const std::string dropped = work_.Write("dropped.log", "dropped\r\n");
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame_->log_view()->viewport(), &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame_->log_view()->viewport(), &drop);
  EXPECT_EQ(frame_->log_view()->toPlainText(), "dropped\n");

  // A log too long for the view goes to the desktop's editor, here none: one message says so.
  const std::string long_log = work_.Write("long.log", std::string(300000, 'x'));
  notifier_.shown.clear();
  EXPECT_FALSE(frame_->OpenDocumentFile(long_log));
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0].text,
            "Error occurred in viewing log file " + long_log +
                ".\nIt is too long for the view, and no program to show text files was found "
                "on this desktop.");
}

TEST_F(TabrunWindowTest, TheDirectoryDialogTakesTheTypedPathAndLeavesOurDirectoryAlone) {
  const std::string before = std::filesystem::current_path().string();
  std::filesystem::create_directory(work_.File("sub dir"));
  CDirectoryDlg dialog(frame_.get(), work_.path());
  auto* edit = Control<QLineEdit>(&dialog, kDirNew);
  auto* list = Control<QListWidget>(&dialog, kDirList);
  EXPECT_EQ(edit->text().toStdString(), work_.path());
  ASSERT_FALSE(list->findItems("sub dir", Qt::MatchExactly).isEmpty());
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  // A typed path is listed when the focus leaves its edit: the user browses on from there.
  std::filesystem::create_directories(work_.File("sub dir/deeper"));
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, QString::fromStdString(work_.File("sub dir")));
  list->setFocus();
  EXPECT_EQ(edit->text().toStdString(), work_.File("sub dir"));
  EXPECT_FALSE(list->findItems("deeper", Qt::MatchExactly).isEmpty());
  EXPECT_TRUE(list->findItems("sub dir", Qt::MatchExactly).isEmpty());
  edit->setText(QString::fromStdString(work_.File("missing")));
  QTest::keyClick(edit, Qt::Key_Return);
  ASSERT_FALSE(notifier_.shown.empty());
  EXPECT_EQ(notifier_.shown.back().text,
            work_.File("missing") + ".  The directory does not exist.");
  EXPECT_TRUE(dialog.isVisible());
  edit->setText(QString::fromStdString(work_.File("sub dir/..")));
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.new_directory(), work_.path());
  EXPECT_EQ(std::filesystem::current_path().string(), before);
}

TEST_F(TabrunWindowTest, TheSettingsOutliveTheProgram) {
  ASSERT_TRUE(frame_->panel()->isVisible());
  frame_->panel()->close();  // its own close box
  EXPECT_FALSE(frame_->panel()->isVisible());
  EXPECT_FALSE(FindCommandAction(frame_.get(), kCmdToggleControlDialog)->isChecked());
  frame_->job().options.scale = 2.5;
  frame_->job().working_dir = work_.path();
  frame_->close();
  frame_ = std::make_unique<CMainFrame>(false);
  frame_->show();
  EXPECT_FALSE(frame_->panel()->isVisible());
  EXPECT_DOUBLE_EQ(frame_->job().options.scale, 2.5);
  EXPECT_EQ(frame_->job().working_dir, work_.path());
  frame_->OnCommand(kCmdToggleControlDialog);
  EXPECT_TRUE(frame_->panel()->isVisible());
}

// The section at the top of the help window, once it shows.
std::string ShownHelp(CMainFrame* frame) {
  HelpWindow* window = frame->help()->window();
  if (window == nullptr || !WaitFor([window] { return window->isVisible(); }, 3000)) {
    return "(no help window)";
  }
  QApplication::processEvents();
  return window->VisibleSection().toStdString();
}

TEST_F(TabrunWindowTest, HelpOpensTheReadmeAtTheSectionOfTheCommandOrWindow) {
  frame_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  // A dialog that context help failed to keep from opening must not hold the test.
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      ADD_FAILURE() << "a dialog opened";
      modal->close();
    }
  });
  guard.start(2000);
  // The Help menu's items, and the help on help, open the sections their names say.
  struct MenuCase {
    int command;
    const char* section;
  } menu_cases[] = {
      {kCmdHelpIndex, "Tabrun"},
      {kCmdInstallation, "Installing"},
      {kHelpCmdUsing, "Tabrun/Using Help"},
  };
  for (const MenuCase& c : menu_cases) {
    frame_->OnCommand(c.command);
    EXPECT_EQ(ShownHelp(frame_.get()), c.section) << c.command;
  }
  EXPECT_TRUE(notifier_.shown.empty());
  // F1 in the control panel, and in the log.
  QTest::keyClick(frame_->panel(), Qt::Key_F1);
  EXPECT_EQ(ShownHelp(frame_.get()), "Tabrun/Control panel");
  QTest::keyClick(frame_->log_view(), Qt::Key_F1);
  EXPECT_EQ(ShownHelp(frame_.get()), "Tabrun");
  // Shift+F1, then a click on the panel's Select GDS File: the panel's section, and no
  // file dialog.
  QTest::keyClick(frame_->log_view(), Qt::Key_F1, Qt::ShiftModifier);
  ASSERT_TRUE(frame_->help()->in_context_mode());
  QTest::mouseClick(Control<QPushButton>(frame_->panel(), kPanelSelectGds), Qt::LeftButton);
  EXPECT_EQ(ShownHelp(frame_.get()), "Tabrun/Control panel");
  // Shift+F1, then a menu item: its section, and not the command (no Directory dialog, no
  // Find box).
  const struct {
    int command;
    const char* section;
  } item_cases[] = {{kCmdWorkingDirectory, "Tabrun/Working directory and files"},
                    {kCmdEditFind, "Tabrun/Control panel"},
                    {kCmdEditRepeat, "Tabrun/Control panel"},
                    {kCmdEditCopy, "Tabrun/Control panel"}};
  for (const auto& c : item_cases) {
    frame_->OnCommand(kHelpCmdContext);
    QAction* item = FindCommandAction(frame_.get(), c.command);
    ASSERT_NE(item, nullptr) << c.command;
    auto* menu = qobject_cast<QMenu*>(item->associatedObjects().value(0));
    ASSERT_NE(menu, nullptr);
    menu->popup(frame_->mapToGlobal(QPoint(30, 30)));
    ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); }, 3000));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    EXPECT_EQ(ShownHelp(frame_.get()), c.section) << item->text().toStdString();
    EXPECT_FALSE(frame_->help()->in_context_mode());
  }
}

// Every section Tabrun's help opens is a heading of the README (read without a window).
TEST(TabrunHelpTableTest, EverySectionItOpensIsAHeadingOfTheReadme) {
  const HelpTable& table = TabrunHelpTable();
  for (const std::string& section :
       test_support::SectionsMissingFromReadme(table, KAVRINTH_SAMPLES_DIR "/../README.md")) {
    ADD_FAILURE() << "no README heading for " << section;
  }
  // The control panel's context has its section.
  EXPECT_EQ(HelpSectionOf(table, 131212), "Tabrun/Control panel");
}

TEST_F(TabrunWindowTest, TheWorkingDirButtonOfTheFileDialogChoosesTheWorkingDirectory) {
  TempDir other("tabrun_other");
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    WhenModal<CDirectoryDlg>([&](CDirectoryDlg* directory) {
      EXPECT_EQ(directory->windowTitle(), "Directory");
      Control<QLineEdit>(directory, kDirNew)->setText(QString::fromStdString(other.path()));
      Control<QPushButton>(directory, 1)->click();
    });
    Control<QPushButton>(dialog, kTplWorkingDirButton)->click();
    dialog->reject();
  });
  frame_->OnCommand(kCmdSelectGdsFile);
  EXPECT_EQ(frame_->job().working_dir, other.path());
  EXPECT_FALSE(frame_->job().scanned);
}

TEST_F(TabrunWindowTest, TheAboutBoxShowsItsCreditsOnADoubleClick) {
  WhenModal<CAboutDlg>([](CAboutDlg* about) {
    auto* credits = Control<QLabel>(about, kAboutCredits);
    auto* ok = Control<QPushButton>(about, 1);
    EXPECT_TRUE(about->windowTitle() == "About Tabrun" && credits->isHidden());
    // The version shown is the one stamped into the program file.
    auto* text = about->findChild<QLabel*>();
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->text().contains(QString::fromStdString("Version " + ProgramVersionText())));
    EXPECT_NE(ProgramVersionText(), "unknown");
    QTest::mouseDClick(about, Qt::LeftButton);
    EXPECT_FALSE(credits->isHidden());
    EXPECT_FALSE(ok->isEnabled());
    QTest::mouseDClick(about, Qt::LeftButton);
    EXPECT_TRUE(credits->isHidden());
    ok->click();
  });
  frame_->OnCommand(kCmdAbout);
}

TEST_F(TabrunWindowTest, WithDebugEveryCommandLineIsShownFirst) {
  frame_ = std::make_unique<CMainFrame>(true);
  PrepareJob(frame_.get(), gds_, kBin);
  std::string shown;
  WhenModal<CDebugTextDlg>([&](CDebugTextDlg* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Tabrun Debug");
    shown = Control<QLineEdit>(dialog, kDebugCommand)->text().toStdString();
    Control<QPushButton>(dialog, 2)->click();
  });
  frame_->OnCommand(kCmdTranslate);
  EXPECT_EQ(shown,
            kBin + "/tabreng \"" + gds_ + "\" 5.000000 1,2,3,4,5 TESTPAT -s1.000000 -cfg:gds.cfg");
  EXPECT_EQ(frame_->last_translation().result, TranslateResult::kCancelled);
  EXPECT_FALSE(FileExists(work_.File("demo.log")));  // nothing ran
}

}  // namespace
}  // namespace kavrinth
