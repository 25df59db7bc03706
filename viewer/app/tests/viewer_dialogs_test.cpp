// The viewer's dialogs driven as a user drives them: a job built, saved and reopened in the
// Layer Table, several PG files opened at once with a chosen format and unit, the glass and
// layer information figures, the report, and the small settings dialogs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "support/colors.h"
#include "support/memory_status.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/color_picker.h"
#include "support/qt/dialogs.h"
#include "support/qt/file_dialogs.h"
#include "support/qt/file_filters.h"
#include "viewer/app/display_painter.h"
#include "viewer/app/error_coords_dlg.h"
#include "viewer/app/glass_info.h"
#include "viewer/app/layer_table_dlg.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/lumra_view.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/open_dialog_hooks.h"
#include "viewer/app/small_dialogs.h"
#include "viewer/app/tests/vexil_test_support.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/gdx_database.h"
#include "viewer/model/job_file.h"
#include "viewer/model/layer_table.h"
#include "viewer/model/reports.h"
#include "viewer/model/tests/wf2_test_support.h"
#include "viewer/model/viewer_services.h"

namespace kavrinth {
namespace {

// A small WF2 pattern: one strip of two frames, a square in each.
std::string Wf2Bytes() {
  const Wf2Header header = testing::SmallHeader(1, 2, false);
  std::vector<testing::Wf2Frame> frames(2);
  for (auto& frame : frames) frame.push_back({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  const std::vector<uint8_t> bytes = testing::BuildWf2(header, frames);
  return std::string(bytes.begin(), bytes.end());
}

// Types the names into the file dialog's name field in place of any selection, and accepts.
void TypeAndAccept(QFileDialog* dialog, const QString& names) {
  for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
    if (view->selectionModel()) view->selectionModel()->clearSelection();
  }
  // Names are typed relative to the test's directory, not the one a dialog visited last.
  dialog->setDirectory(QDir::currentPath());
  dialog->findChild<QLineEdit*>("fileNameEdit")->setText(names);
  // A box of the file dialog's own (a name it cannot find) fails the test, not blocks it.
  QTimer::singleShot(3000, dialog, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ADD_FAILURE() << "the file dialog said: " << box->text().toStdString();
      box->reject();
    }
  });
  QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
  // A dialog that refused the names would wait for a person.
  if (dialog->isVisible()) {
    ADD_FAILURE() << "the file dialog did not take " << names.toStdString();
    dialog->reject();
  }
}

// Chooses a file type in the dialog's own list, as a click on it does.
void ChooseFileType(QFileDialog* dialog, int index) {
  auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  types->setCurrentIndex(index);
  emit types->activated(index);
  emit types->textActivated(types->itemText(index));
}

QStringList Items(const QComboBox* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

class ViewerDialogsTest : public VexilAppTest {
 protected:
  void SetUp() override {
    VexilAppTest::SetUp();
    GlassShown() = false;
    AppDisplay().settings = DisplaySettings();
  }
  std::string Messages() const {
    std::string all;
    for (const Message& message : notifier_.shown) all += message.text + "\n";
    return all;
  }
  // The display values of the first four layer entries.
  static std::string TableText() {
    std::string text;
    for (int n = 0; n < 4; ++n) {
      const ViewLayerEntry& e = LayerTable()[n];
      text += std::to_string(n) + ":" + e.path + "," + std::to_string(e.shown) + "," +
              std::to_string(e.colour) + "," + std::to_string(e.fill_mode) + "," +
              std::to_string(e.x_offset) + "," + std::to_string(e.y_offset) + "\n";
    }
    return text;
  }

  ScriptedNotifier notifier_;
  ScopedNotifier scoped_notifier_{&notifier_};
};

template <class Control>
Control* Row(QWidget* dialog, int row, int LayerTableRowIds::*column) {
  return FindControl<Control>(dialog, LayerTableRowIdsOf(row).*column);
}

TEST_F(ViewerDialogsTest, LayerTableBuildsANewJobThatReopensTheSame) {
  for (const char* name : {"a.em", "b.em", "c.em"}) WriteFile(name, kSmallEmFile);
  WriteFile("pattern.wf2", Wf2Bytes());
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  QStringList formats_offered;
  bool format_list_enabled = true;
  std::string layer_dialog_title;
  QRgb swatch_centre = 0;
  // The name of the new job, then its table.
  WhenModal<QFileDialog>([&](QFileDialog* named) {
    WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
      // Row 1's Layer button: three PG files at once, in the metric unit.
      WhenModal<QFileDialog>([&](QFileDialog* files) {
        layer_dialog_title = files->windowTitle().toStdString();
        auto* formats = FindControl<QComboBox>(files, kTplPgFileType);
        formats_offered = Items(formats);
        format_list_enabled = formats->isEnabled();
        FindControl<QComboBox>(files, kTplUnit)->setCurrentIndex(1);
        TypeAndAccept(files, "\"a.em\" \"b.em\" \"c.em\"");
      });
      Row<QPushButton>(table, 0, &LayerTableRowIds::layer)->click();
      // The WF2 file typed into row 4; row 1 hidden; row 2 blue; row 3 Negative.
      Row<QLineEdit>(table, 3, &LayerTableRowIds::name)
          ->setText(QString::fromStdString(Path("pattern.wf2")));
      Row<QCheckBox>(table, 3, &LayerTableRowIds::show)->click();
      Row<QCheckBox>(table, 0, &LayerTableRowIds::show)->click();
      WhenModal<PickColorDialog>([](PickColorDialog* picker) { picker->ChooseAndAccept(5); });
      QPushButton* swatch = Row<QPushButton>(table, 1, &LayerTableRowIds::colour);
      swatch->click();
      const QImage shown = swatch->grab().toImage();
      swatch_centre = shown.pixel(shown.width() / 2, shown.height() / 2);
      QPushButton* mode = Row<QPushButton>(table, 2, &LayerTableRowIds::mode);
      mode->click();
      mode->click();
      FindControl<QPushButton>(table, kAnswerOk)->click();
    });
    TypeAndAccept(named, "built.job");
  });
  frame()->OnCommand(kCmdFileNew);
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(layer_dialog_title, "Open /EM/MANN/INT Files");
  // No format was current: every PG format's files could be chosen; the EMask type shows
  // its one format.
  EXPECT_EQ(formats_offered, QStringList{"ElectroMask"});
  EXPECT_FALSE(format_list_enabled);
  EXPECT_EQ(swatch_centre, qRgb(0, 0, 255));
  const std::string built = TableText();
  EXPECT_EQ(built, "0:" + Path("a.em") + ",0,255,1,0,0\n" +           // red, hidden
                       "1:" + Path("b.em") + ",1,16711680,1,0,0\n" +  // blue
                       "2:" + Path("c.em") + ",1,65535,-1,0,0\n" +    // yellow, Negative
                       "3:" + Path("pattern.wf2") + ",1,16777215,1,0,0\n");
  for (int n = 0; n < 4; ++n) EXPECT_NE(LayerTable()[n].library, kGdxNoHandle) << n;
  const std::string job = ReadFile(Path("built.job"));
  EXPECT_NE(job.find("LAYER_0=OFF,255,0,0,Paint \"" + Path("a.em") + "\"\r\n"), std::string::npos)
      << job;
  EXPECT_NE(job.find("LAYER_2=ON,255,255,0,Negative \"" + Path("c.em") + "\"\r\n"),
            std::string::npos)
      << job;
  EXPECT_NE(job.find("FormatType=0\r\nUnitType=1\r\n"), std::string::npos) << job;

  frame()->OnCommand(kCmdFileClose);
  EXPECT_EQ(LayerTable()[0].path, "");
  ASSERT_TRUE(app_->OpenDocumentFile(Path("built.job")));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(TableText(), built);
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(ViewerDialogsTest, LayerTableCancelAndRefusedReloadLeaveTheJobWhole) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  WriteFile("bad.em", "not a pattern at all");
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn());
  const std::string before = TableText();
  const std::string job_before = ReadFile(Path("a.job"));
  const GdxHandle library = LayerTable()[0].library;
  // Cancel after a new file, a colour and a mode.
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    Row<QLineEdit>(table, 0, &LayerTableRowIds::name)
        ->setText(QString::fromStdString(Path("b.em")));
    Row<QPushButton>(table, 0, &LayerTableRowIds::mode)->click();
    FindControl<QPushButton>(table, kAnswerCancel)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdLayerTable));
  EXPECT_EQ(TableText(), before);
  EXPECT_EQ(ReadFile(Path("a.job")), job_before);
  EXPECT_EQ(LayerTable()[0].library, library);
  // A file that does not load: the message, the dialog stays, the old job is whole.
  bool stayed = false;
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    Row<QLineEdit>(table, 0, &LayerTableRowIds::name)
        ->setText(QString::fromStdString(Path("bad.em")));
    FindControl<QPushButton>(table, kAnswerOk)->click();
    stayed = table->isVisible();
    table->reject();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdLayerTable));
  EXPECT_TRUE(stayed);
  EXPECT_NE(Messages().find("Could not load layer information"), std::string::npos) << Messages();
  EXPECT_EQ(TableText(), before);
  EXPECT_EQ(ReadFile(Path("a.job")), job_before);
  EXPECT_NE(LayerTable()[0].library, kGdxNoHandle);
  // Colours and Show alone apply without a reload; the save question is not asked for them.
  int asked = 0;
  app_->SetSaveEditsHandler([&](int) { return ++asked, kEditsSaved; }, [] {});
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    Row<QCheckBox>(table, 0, &LayerTableRowIds::show)->click();
    FindControl<QPushButton>(table, kAnswerOk)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdLayerTable));
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(LayerTable()[0].shown, 0);
  // A file added to a free entry reloads the job, which would drop the loaded files' edits:
  // the question comes first.
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    Row<QLineEdit>(table, 1, &LayerTableRowIds::name)
        ->setText(QString::fromStdString(Path("b.em")));
    FindControl<QPushButton>(table, kLayerTableAllOn)->click();
    FindControl<QPushButton>(table, kAnswerOk)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdLayerTable));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(LayerTable()[1].path, Path("b.em"));
  EXPECT_NE(LayerTable()[1].library, kGdxNoHandle);
  EXPECT_NE(ReadFile(Path("a.job")).find("LAYER_1=ON,255,255,255,Paint"), std::string::npos);
  // Replacing a file asks first; Cancel there keeps the dialog and the table.
  app_->SetSaveEditsHandler([&](int) { return ++asked, kEditsCancelled; }, [] {});
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    Row<QLineEdit>(table, 0, &LayerTableRowIds::name)
        ->setText(QString::fromStdString(Path("b.em")));
    FindControl<QPushButton>(table, kAnswerOk)->click();
    stayed = table->isVisible();
    table->reject();
  });
  frame()->OnCommand(kCmdLayerTable);
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(LayerTable()[0].path, "a.em");
}

// The names of the files in the test's directory.
std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A path the job file cannot hold, typed (or pasted) into a row's Name field, is named with
// the reason at OK: the dialog stays open and the job file, the table and the directory are
// as they were. Named on the command line, it is refused the same way and no job is made.
TEST_F(ViewerDialogsTest, APathTheJobCannotHoldIsNamedWithTheReason) {
  WriteFile("a.em", kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn());
  const std::string before = TableText();
  const std::string job = AppState().job_file_name;
  const std::string job_before = ReadFile(Path("a.job"));
  const std::string reason = ": a job file cannot hold a path with a double quote or a line break.";
  const struct {
    const char* name;
    const char* shown;
    bool typed;  // else pasted: a line break cannot be typed into the field
  } cases[] = {{"say \"hi\".em", "say \"hi\".em", true},
               {"two\nlines.em", "two\\nlines.em", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    WriteFile(c.name, kSmallEmFile);
    const std::vector<std::string> files = FilesIn(temp_.path());
    notifier_.shown.clear();
    bool stayed = false;
    WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
      QLineEdit* name = Row<QLineEdit>(table, 1, &LayerTableRowIds::name);
      name->setFocus();
      if (c.typed) {
        QTest::keyClicks(name, QString::fromStdString(Path(c.name)));
      } else {
        name->setText(QString::fromStdString(Path(c.name)));
      }
      FindControl<QPushButton>(table, kAnswerOk)->click();
      stayed = table->isVisible();
      table->reject();
    });
    EXPECT_TRUE(frame()->OnCommand(kCmdLayerTable));
    EXPECT_TRUE(stayed);
    ASSERT_EQ(notifier_.shown.size(), 1u) << Messages();
    EXPECT_EQ(notifier_.shown[0].text,
              "The job file " + job + " could not be written.\n" + Path(c.shown) + reason);
    EXPECT_EQ(TableText(), before);
    EXPECT_EQ(ReadFile(Path("a.job")), job_before);
    EXPECT_EQ(FilesIn(temp_.path()), files) << "nothing is left half written";
  }

  app_.reset();
  AppState() = ViewerAppState();
  ClearLayerTable();
  notifier_.shown.clear();
  const std::vector<std::string> files = FilesIn(temp_.path());
  Start({"vexil", "say \"hi\".em"});
  ASSERT_TRUE(WaitFor([&] { return !notifier_.shown.empty(); }));
  // The file is named as the command line gave it.
  EXPECT_EQ(notifier_.shown[0].text, "The job file " + Path("say \"hi\".job") +
                                         " could not be written.\nsay \"hi\".em" + reason);
  EXPECT_EQ(FilesIn(temp_.path()), files) << "no job is made";
}

TEST_F(ViewerDialogsTest, LayerTableRemembersTheChosenPathAndHoldsTheJobWhileOpen) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  std::filesystem::create_directory(Path("data"));
  WriteFile("data/c.em", kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn());
  std::string next_start;
  std::string job_during;
  std::string first_entry_during;
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    // Another start hands a job over while the table is being changed.
    app_->QueueHandOver(HandOverRequest{HandOverRequest::kOpen, temp_.path(), {"vexil", "b.em"}});
    WhenModal<QFileDialog>([](QFileDialog* files) { TypeAndAccept(files, "data/c.em"); });
    Row<QPushButton>(table, 1, &LayerTableRowIds::layer)->click();
    // The next file dialog for a row without a file starts where that file was chosen.
    WhenModal<QFileDialog>([&](QFileDialog* files) {
      next_start = files->directory().absolutePath().toStdString();
      files->reject();
    });
    Row<QPushButton>(table, 2, &LayerTableRowIds::layer)->click();
    WaitFor([] { return false; }, 300);
    job_during = AppState().current_job_path;
    first_entry_during = LayerTable()[0].path;
    FindControl<QPushButton>(table, kAnswerOk)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdLayerTable));
  EXPECT_EQ(next_start, Path("data"));
  // The job stayed while the dialog was open; OK wrote the table into that job only.
  EXPECT_EQ(job_during, Path("a.job"));
  EXPECT_EQ(first_entry_during, "a.em");
  EXPECT_NE(ReadFile(Path("a.job")).find("LAYER_1=ON,0,255,0,Paint \"" + Path("data/c.em") + "\""),
            std::string::npos)
      << ReadFile(Path("a.job"));
  ASSERT_TRUE(WaitFor([this] { return AppState().current_job_path == Path("b.job"); }));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(ReadFile(Path("b.job")).find("c.em"), std::string::npos) << ReadFile(Path("b.job"));
  EXPECT_EQ(LayerTable()[1].path, "");
  // Open starts there too.
  std::string open_start;
  WhenModal<QFileDialog>([&](QFileDialog* files) {
    open_start = files->directory().absolutePath().toStdString();
    files->reject();
  });
  frame()->OnCommand(kCmdFileOpen);
  EXPECT_EQ(open_start, Path("data"));
}

TEST_F(ViewerDialogsTest, AJobThatDoesNotExistIsBuiltInTheLayerTable) {
  WriteFile("a.em", kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  bool built = false;
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    QTest::keyClicks(Row<QLineEdit>(table, 0, &LayerTableRowIds::name),
                     QString::fromStdString(Path("a.em")));
    FindControl<QPushButton>(table, kAnswerOk)->click();
    built = !table->isVisible();
  });
  Start({"vexil", "new.job"});
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_TRUE(built);
  EXPECT_EQ(AppState().current_job_path, Path("new.job"));
  EXPECT_EQ(LayerTable()[0].path, Path("a.em"));
  EXPECT_NE(LayerTable()[0].library, kGdxNoHandle);
  EXPECT_NE(
      ReadFile(Path("new.job")).find("LAYER_0=OFF,255,255,255,Paint \"" + Path("a.em") + "\""),
      std::string::npos)
      << ReadFile(Path("new.job"));
  EXPECT_EQ(frame()->windowTitle(), "Vexil - new.job");
  // Cancel builds nothing and writes no job.
  WhenModal<CLayerTableDlg>(
      [](CLayerTableDlg* table) { FindControl<QPushButton>(table, kAnswerCancel)->click(); });
  EXPECT_FALSE(app_->OpenDocumentFile(Path("other.job")));
  EXPECT_FALSE(std::filesystem::exists(Path("other.job")));
  EXPECT_NE(Messages().find("No layer information was saved"), std::string::npos) << Messages();
}

TEST_F(ViewerDialogsTest, LayerTableAsksForANameBeforeWritingAJob) {
  WriteFile("a.em", kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  bool stayed = false;
  std::string asked_title;
  QStringList filters;
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    // No format is current yet: the file dialog offers every PG format's files.
    WhenModal<QFileDialog>([&](QFileDialog* files) {
      filters = files->nameFilters();
      files->reject();
    });
    Row<QPushButton>(table, 1, &LayerTableRowIds::layer)->click();
    Row<QLineEdit>(table, 0, &LayerTableRowIds::name)->setText("a.em");
    Row<QCheckBox>(table, 0, &LayerTableRowIds::show)->click();
    // No name given: nothing is written and the table stays.
    WhenModal<QFileDialog>([&](QFileDialog* named) {
      asked_title = named->windowTitle().toStdString();
      named->reject();
    });
    FindControl<QPushButton>(table, kAnswerOk)->click();
    stayed = table->isVisible();
    WhenModal<QFileDialog>([](QFileDialog* named) { TypeAndAccept(named, "named.job"); });
    FindControl<QPushButton>(table, kAnswerOk)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdLayerTable));
  ASSERT_EQ(filters.size(), 5);
  EXPECT_TRUE(filters[0].startsWith("EMask Files"));
  EXPECT_TRUE(filters[3].startsWith("Intermdeiate Files"));
  EXPECT_EQ(asked_title, "Name the Job");
  EXPECT_TRUE(stayed);
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(AppState().current_job_path, Path("named.job"));
  EXPECT_NE(ReadFile(Path("named.job")).find("LAYER_0=ON,255,255,255,Paint \"a.em\""),
            std::string::npos);
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(ViewerDialogsTest, LayerTablePagesToTheLastEntriesAndPlacesSeveralFiles) {
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  LayerTable()[2].path = "/kept.em";
  CLayerTableDlg table(app_.get(), frame(), false);
  FindControl<QPushButton>(&table, kLayerTableEnd)->click();
  EXPECT_EQ(table.top_row(), 1008);
  EXPECT_EQ(Row<QPushButton>(&table, 15, &LayerTableRowIds::layer)->text(), "1023");
  FindControl<QPushButton>(&table, kLayerTablePgDn)->click();
  EXPECT_EQ(table.top_row(), 1008);
  FindControl<QPushButton>(&table, kLayerTableHome)->click();
  // Three files from entry 1: entry 2 holds a file, so they take 1, 3 and 4.
  EXPECT_EQ(table.PlaceFiles(1, {"/x.em", "/y.em", "/z.em"}), 3);
  EXPECT_EQ(Row<QLineEdit>(&table, 2, &LayerTableRowIds::name)->text(), "/kept.em");
  EXPECT_EQ(Row<QLineEdit>(&table, 3, &LayerTableRowIds::name)->text(), "/y.em");
  EXPECT_EQ(Row<QLineEdit>(&table, 4, &LayerTableRowIds::name)->text(), "/z.em");
  // At the end of the table the files that do not fit are counted, not placed.
  EXPECT_EQ(table.PlaceFiles(1022, {"/p.em", "/q.em", "/r.em"}), 2);
  EXPECT_EQ(table.top_row(), 1008);
  // The mode button cycles Negative -> Paint -> Scratch.
  QPushButton* mode = Row<QPushButton>(&table, 0, &LayerTableRowIds::mode);
  EXPECT_EQ(mode->text(), "Paint");
  mode->click();
  EXPECT_EQ(mode->text(), "Scratch");
  mode->click();
  EXPECT_EQ(mode->text(), "Negative");
  mode->click();
  EXPECT_EQ(mode->text(), "Paint");
  // Every control has a name a screen reader can say.
  for (QWidget* control : table.findChildren<QWidget*>()) {
    if (qobject_cast<QPushButton*>(control) || qobject_cast<QLineEdit*>(control) ||
        qobject_cast<QCheckBox*>(control)) {
      EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    }
  }
}

TEST_F(ViewerDialogsTest, OpenTakesSeveralPgFilesInTheChosenFormatAndUnit) {
  for (const char* name : {"a.em", "b.em", "c.em"}) WriteFile(name, kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  // Cancel first: nothing changes.
  WhenModal<QFileDialog>([](QFileDialog* dialog) {
    FindControl<QComboBox>(dialog, kTplUnit)->setCurrentIndex(0);
    dialog->reject();
  });
  frame()->OnCommand(kCmdFileOpen);
  EXPECT_EQ(ImportSettings().pg_format, -1);
  EXPECT_TRUE(ImportSettings().metric);
  std::vector<std::pair<QStringList, bool>> lists;
  QFileDialog::FileMode mode_for_em = QFileDialog::AnyFile;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    auto* formats = FindControl<QComboBox>(dialog, kTplPgFileType);
    EXPECT_TRUE(formats->isVisible());
    lists.push_back({Items(formats), formats->isEnabled()});  // Job Files
    ChooseFileType(dialog, 3);
    lists.push_back({Items(formats), formats->isEnabled()});  // 3600 Files
    ChooseFileType(dialog, 5);
    lists.push_back({Items(formats), formats->isEnabled()});  // All Files
    ChooseFileType(dialog, 1);
    lists.push_back({Items(formats), formats->isEnabled()});  // EMask Files
    mode_for_em = dialog->fileMode();
    FindControl<QComboBox>(dialog, kTplUnit)->setCurrentIndex(1);
    TypeAndAccept(dialog, "\"a.em\" \"b.em\" \"c.em\"");
  });
  frame()->OnCommand(kCmdFileOpen);
  ASSERT_TRUE(WaitDrawn()) << Messages();
  const QStringList four = {"ElectroMask", "Mann 3000", "Mann 3600", "Intermediate"};
  ASSERT_EQ(lists.size(), 4u);
  EXPECT_EQ(lists[0], std::make_pair(four, true));
  EXPECT_EQ(lists[1], std::make_pair(QStringList{"Mann 3600"}, false));
  EXPECT_EQ(lists[2], std::make_pair(four, true));
  EXPECT_EQ(lists[3], std::make_pair(QStringList{"ElectroMask"}, false));
  EXPECT_EQ(mode_for_em, QFileDialog::ExistingFiles);
  EXPECT_EQ(AppState().current_job_path, Path("a.job"));
  for (int n = 0; n < 3; ++n) EXPECT_NE(LayerTable()[n].library, kGdxNoHandle) << n;
  EXPECT_EQ(ImportSettings().pg_format, 0);
  EXPECT_TRUE(ImportSettings().metric);
  EXPECT_EQ(ImportSettings().unit_code, 2);
  EXPECT_NE(ReadFile(Path("a.job")).find("FormatType=0\r\nUnitType=1\r\n"), std::string::npos);
}

// The job of a picked PG file is written before the open goes on. When it cannot be (a
// directory holds its name: that stops root too) the open is refused with the job file and
// the reason; the job on screen stays loaded, and the directory stays, empty or not.
TEST_F(ViewerDialogsTest, OpenRefusesPgFilesWhoseJobCannotBeWritten) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  WhenModal<QFileDialog>([](QFileDialog* dialog) {
    ChooseFileType(dialog, 1);
    TypeAndAccept(dialog, "a.em");
  });
  frame()->CommandAction(kCmdFileOpen)->trigger();
  ASSERT_TRUE(WaitDrawn()) << Messages();
  ASSERT_EQ(AppState().current_job_path, Path("a.job"));
  const GdxHandle library = LayerTable()[0].library;
  ASSERT_NE(library, kGdxNoHandle);
  for (const bool empty : {true, false}) {
    SCOPED_TRACE(empty ? "an empty directory" : "a directory with a file");
    ASSERT_TRUE(std::filesystem::create_directory(Path("b.job")));
    if (!empty) WriteFile("b.job/kept", "x");
    notifier_.shown.clear();
    // The old road went on with the job that was never written into the Layer Table.
    QObject guard;
    QTimer::singleShot(3000, &guard, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        ADD_FAILURE() << "the open went on into " << modal->windowTitle().toStdString();
        modal->close();
      }
    });
    WhenModal<QFileDialog>([](QFileDialog* dialog) {
      ChooseFileType(dialog, 1);
      TypeAndAccept(dialog, "b.em");
    });
    frame()->CommandAction(kCmdFileOpen)->trigger();
    ASSERT_EQ(notifier_.shown.size(), 1u) << Messages();
    EXPECT_EQ(notifier_.shown[0].text, "The job file " + Path("b.job") +
                                           " could not be written: a directory of that name "
                                           "is in its place.");
    EXPECT_TRUE(std::filesystem::is_directory(Path("b.job")));
    EXPECT_EQ(std::filesystem::exists(Path("b.job/kept")), !empty);
    EXPECT_EQ(AppState().current_job_path, Path("a.job"));
    EXPECT_EQ(LayerTable()[0].path, Path("a.em"));
    EXPECT_EQ(LayerTable()[0].library, library);
    EXPECT_NE(GdxLibraryFromHandle(library), nullptr) << "the job on screen stays loaded";
    EXPECT_EQ(LayerTable()[1].path, "");
    EXPECT_TRUE(AppState().job_loaded);
    std::filesystem::remove_all(Path("b.job"));
  }
}

TEST_F(ViewerDialogsTest, OpenAndNewJobOfferEnglishFirst) {
  WriteFile("a.em", kSmallEmFile);  // a 30 x 10 flash
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  ASSERT_TRUE(ImportSettings().metric) << "a metric table in use before";
  QString offered_new;
  QString offered_open;
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    offered_new = FindControl<QComboBox>(dialog, kTplUnit)->currentText();
    dialog->reject();
  });
  frame()->CommandAction(kCmdFileNew)->trigger();
  WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    offered_open = FindControl<QComboBox>(dialog, kTplUnit)->currentText();
    ChooseFileType(dialog, 1);
    TypeAndAccept(dialog, "a.em");
  });
  frame()->CommandAction(kCmdFileOpen)->trigger();
  ASSERT_TRUE(WaitDrawn()) << Messages();
  EXPECT_EQ(offered_new, "English");
  EXPECT_EQ(offered_open, "English");
  // Taken as offered, the file is read in mils (hundredths of a mil per unit): the flash
  // is 0.30 mil wide.
  EXPECT_FALSE(ImportSettings().metric);
  EXPECT_EQ(ImportSettings().unit_code, 1);
  EXPECT_EQ(frame()->units_pane()->text(), "ENGLISH");
  GdxLibrary* library = GdxLibraryFromHandle(LayerTable()[0].library);
  ASSERT_NE(library, nullptr);
  const GdxStructure* top = GdxFindStructureById(library, library->current_structure_id);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(AppDisplay().window.FormatCoord(top->extents.max_x - top->extents.min_x), "0.30");
}

// With no job the Layer Table's file dialog offers "English" too, whatever unit table the
// viewer held before: a mil file taken as offered has the size it has through Open (0.30 mil
// wide). Both roads to the table without a job: a job named on the command line that does
// not exist yet, and Layer... after the job was closed.
TEST_F(ViewerDialogsTest, LayerTableWithoutAJobOffersEnglish) {
  WriteFile("a.em", kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  for (const bool from_command_line : {true, false}) {
    SCOPED_TRACE(from_command_line ? "vexil new.job" : "Layer... with no job");
    app_.reset();
    AppState() = ViewerAppState();
    ClearLayerTable();
    ImportSettings() = ViewerImportSettings();
    std::filesystem::remove(Path("new.job"));
    QString offered;
    WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
      WhenModal<QFileDialog>([&](QFileDialog* files) {
        offered = FindControl<QComboBox>(files, kTplUnit)->currentText();
        TypeAndAccept(files, "a.em");
      });
      Row<QPushButton>(table, 0, &LayerTableRowIds::layer)->click();
      FindControl<QPushButton>(table, kAnswerOk)->click();
    });
    if (from_command_line) {
      Start({"vexil", "new.job"});
    } else {
      Start({"vexil"});
      // A metric job came and went: its table is not the one in use any more.
      ImportSettings().metric = true;
      AppState().job_file_name = Path("new.job");
      frame()->OnCommand(kCmdLayerTable);
    }
    ASSERT_TRUE(WaitDrawn()) << Messages();
    EXPECT_EQ(offered, "English");
    EXPECT_FALSE(ImportSettings().metric);
    EXPECT_NE(ReadFile(Path("new.job")).find("UnitType=0\r\n"), std::string::npos);
    GdxLibrary* library = GdxLibraryFromHandle(LayerTable()[0].library);
    ASSERT_NE(library, nullptr);
    const GdxStructure* top = GdxFindStructureById(library, library->current_structure_id);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(AppDisplay().window.FormatCoord(top->extents.max_x - top->extents.min_x), "0.30");
  }
}

TEST_F(ViewerDialogsTest, HooksChooseFormatsByFileTypeCase) {
  // The choice's unit code comes from the unit table, also in the fixed-format mode and
  // for a format the lists never offer.
  struct Case {
    int32_t format;
    bool metric;
    int32_t code;
  } cases[] = {{4, false, 6}, {4, true, 0}, {2, true, 5}, {0, false, 1}, {-1, true, 2}};
  for (const Case& c : cases) {
    OpenDialogChoice choice;
    choice.pg_format = c.format;
    choice.metric = c.metric;
    EXPECT_EQ(choice.UnitCode(), c.code) << c.format;
  }
  EXPECT_EQ(LayerFileTypeOffset(2), kFixedFormat);
  EXPECT_EQ(LayerFileTypeOffset(-1), kPgFileTypes);
  EXPECT_EQ(LayerFileTypeOffset(3), kPgFileTypes);
  EXPECT_EQ(LayerFileFilter(1),
            "3000 Files (*.dwm;*.dws;*.sor)|*.dwm;*.dws;*.sor|All Files (*.*)|*.*||");
  EXPECT_EQ(LayerFileFilter(-1).find("EMask"), 0u);
  EXPECT_NE(LayerFileFilter(-1).find("Intermdeiate"), std::string::npos);
}

TEST_F(ViewerDialogsTest, FixedFormatDialogShowsTheCurrentFormatAndUnit) {
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  ImportSettings().pg_format = 2;
  ImportSettings().metric = false;
  QStringList formats_offered;
  bool enabled = true;
  QString unit;
  OpenDialogChoice choice;
  CTemplateFileDialog dialog(true, "", "", kFileDlgFileMustExist | kFileDlgAllowMultiSelect,
                             LayerFileFilter(2), frame(), OpenDlgHookProc(kFixedFormat, &choice),
                             false);
  WhenModal<QFileDialog>([&](QFileDialog* shown) {
    ChooseFileType(shown, 1);  // All Files: the format list stays as it is
    formats_offered = Items(FindControl<QComboBox>(shown, kTplPgFileType));
    enabled = FindControl<QComboBox>(shown, kTplPgFileType)->isEnabled();
    unit = FindControl<QComboBox>(shown, kTplUnit)->currentText();
    shown->reject();
  });
  dialog.DoModal("Open /EM/MANN/INT Files");
  EXPECT_EQ(formats_offered, QStringList{"Mann 3600"});
  EXPECT_FALSE(enabled);
  EXPECT_EQ(unit, "English");
  EXPECT_FALSE(choice.confirmed);
  EXPECT_EQ(ImportSettings().pg_format, 2);
}

// A typed name holding a double quote is one file to the Open dialog's hook as it is to the
// dialog: its extension names the format, where the format list was left as it came.
TEST_F(ViewerDialogsTest, TheOpenHookReadsTheFormatFromANameHoldingADoubleQuote) {
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  const struct {
    const char* name;
    int32_t format;
  } cases[] = {{"say \"hi\".dwm", 1}, {"\"quoted\" plan.int", 4}, {"a \"b.dwm\" c.int", 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(c.name, kSmallEmFile);
    OpenDialogChoice choice;
    CTemplateFileDialog dialog(true, "", "", kFileDlgFileMustExist | kFileDlgAllowMultiSelect,
                               FilterToNulForm(std::string(kOpenDialogFilter)), frame(),
                               OpenDlgHookProc(kOpenFileTypes, &choice), false);
    WhenModal<QFileDialog>([&](QFileDialog* shown) {
      ChooseFileType(shown, 5);  // All Files: every format offered, ElectroMask first
      TypeAndAccept(shown, QString::fromStdString(c.name));
    });
    ASSERT_EQ(dialog.DoModal("Open"), kAnswerOk);
    EXPECT_EQ(dialog.GetPathName(), Path(c.name));
    EXPECT_TRUE(choice.confirmed);
    EXPECT_EQ(choice.pg_format, c.format);
  }
}

TEST_F(ViewerDialogsTest, GlassRectangleFollowsTheFormatAndRefusesSidesOutOfRange) {
  ViewerSettings settings;  // 5.00 x 5.00 inch
  InfoUnits mils{1000, 3, "MIL", 2.54e-5};
  const std::optional<GlassRect> em = GlassRectangle(settings, 0, mils);
  ASSERT_TRUE(em);
  EXPECT_EQ(em->max_x, 5000 * 1000);
  EXPECT_EQ(em->min_x, 0);
  const std::optional<GlassRect> mann = GlassRectangle(settings, 1, mils);
  ASSERT_TRUE(mann);
  EXPECT_EQ(mann->min_x, -2500000);
  EXPECT_EQ(mann->max_y, 2500000);
  EXPECT_FALSE(GlassRectangle(settings, 3, mils));
  EXPECT_FALSE(GlassRectangle(settings, 4, mils));
  settings.glass_width = 100000;  // 1000 inch in nanometres does not fit 32 bits
  EXPECT_FALSE(GlassRectangle(settings, 0, InfoUnits{1000, 3, "UM", 1e-6}));
  settings.glass_width = 500;
  settings.glass_unit = 1;  // 5 mm in microns
  EXPECT_EQ(GlassRectangle(settings, 0, InfoUnits{10, 1, "UM", 1e-6})->max_x, 50000);
}

TEST_F(ViewerDialogsTest, InfoFiguresMatchTheLoadedLayer) {
  WriteFile("a.em", kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn());
  const ViewLayerEntry& e = LayerTable()[0];
  ASSERT_EQ(e.first_count, 1);
  const InfoUnits u = CurrentInfoUnits();
  ASSERT_GT(u.divisor, 0);
  auto shown_text = [&](int id) {
    std::string text;
    WhenModal<CInfoDlg>([&](CInfoDlg* info) {
      text = info->windowTitle().toStdString() + "|" +
             FindControl<QPlainTextEdit>(info, 1000)->toPlainText().toStdString();
      FindControl<QPushButton>(info, kAnswerCancel)->click();
    });
    EXPECT_TRUE(frame()->OnCommand(id));
    return text;
  };
  EXPECT_EQ(shown_text(kCmdCount),
            "Count|Active Layer:0\n\nPrimitive Count:1\nArc/Circle Count:0\n");
  const std::string bias = shown_text(kCmdBias);
  const int n = u.decimals;
  auto fixed = [&](double value) {
    return QString::number(value / u.divisor, 'f', n).toStdString();
  };
  EXPECT_NE(bias.find("Min(" + fixed(e.min_x) + "," + fixed(e.min_y) + ")"), std::string::npos)
      << bias;
  const double cx = (double(e.min_x) + e.max_x) / 2;
  const double cy = (double(e.min_y) + e.max_y) / 2;
  EXPECT_NE(bias.find("CENTER:(" + fixed(cx) + "," + fixed(cy) + ")"), std::string::npos) << bias;
  // ElectroMask: the glass's corner at the origin, 5 inch in the job's unit.
  const double glass = std::trunc(0.127 / u.metres_per_user_unit * u.divisor);
  EXPECT_NE(bias.find("BIAS TO CENTER:\n   (" + fixed(glass / 2 - cx) + "," +
                      fixed(glass / 2 - cy) + ")"),
            std::string::npos)
      << bias;
  // The one flash of a.em: 3.0 x 1.0 microns centred on (10.0, 20.0); the glass centre
  // lies at 2.5 inch (63500 microns) on both axes.
  EXPECT_NE(bias.find("UNITS:UM\n\nEXTENTS(X,Y):\n   Min(8.5,19.5)\n   Max(11.5,20.5)\n\n"
                      "CENTER:(10.0,20.0)\n\nBIAS TO CENTER:\n   (63490.0,63480.0)"),
            std::string::npos)
      << bias;
  const std::string min_max = shown_text(kCmdMinMax);
  EXPECT_NE(
      min_max.find("Min-Max|UNITS:UM\n\nARC/CIRCLE/PRIMITIVE:\nMin. Rotation:" +
                   fixed(e.smallest_round) + "\nMin. Width:3.0\nMin. Height:1.0\nMax. Rotation:"),
      std::string::npos)
      << min_max;
  EXPECT_NE(min_max.find("Min. Width:" + fixed(e.smallest_width)), std::string::npos) << min_max;
  EXPECT_NE(min_max.find("Max. Height:" + fixed(e.largest_height)), std::string::npos) << min_max;
}

TEST_F(ViewerDialogsTest, GlassOnShowsThePlateAroundTheDataAndOffTheDataAlone) {
  WriteFile("a.em", kSmallEmFile);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn());
  const QImage data_alone = app_->view()->picture().copy();
  const int drawings = app_->view()->full_drawings();
  EXPECT_TRUE(frame()->OnCommand(kCmdGlass));
  EXPECT_TRUE(GlassShown());
  EXPECT_TRUE(AppDisplay().settings.glass_on);
  ASSERT_TRUE(WaitFor(
      [&] { return app_->view()->full_drawings() > drawings && AppState().picture_valid; }));
  EXPECT_NE(app_->view()->picture(), data_alone);
  EXPECT_TRUE(frame()->OnCommand(kCmdGlass));
  EXPECT_FALSE(GlassShown());
  ASSERT_TRUE(WaitFor(
      [&] { return app_->view()->full_drawings() > drawings + 1 && AppState().picture_valid; }));
  EXPECT_EQ(app_->view()->picture(), data_alone);
  // "Display glass on startup": the next job opens with the glass, drawn as when it was
  // turned on by hand.
  EXPECT_TRUE(frame()->OnCommand(kCmdGlass));
  ASSERT_TRUE(WaitFor(
      [&] { return app_->view()->full_drawings() > drawings + 2 && AppState().picture_valid; }));
  const QImage with_glass = app_->view()->picture().copy();
  AppState().settings.glass_display_startup = 1;
  frame()->OnCommand(kCmdFileClose);
  EXPECT_FALSE(GlassShown());
  ASSERT_TRUE(app_->OpenDocumentFile(Path("a.job")));
  EXPECT_TRUE(GlassShown());
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(app_->view()->picture(), with_glass);
  // An intermediate job has no plate: nothing happens.
  AppState().settings.glass_display_startup = 0;
  ASSERT_TRUE(app_->OpenDocumentFile(Path("a.job")));
  EXPECT_FALSE(GlassShown());
  ImportSettings().pg_format = 4;
  EXPECT_TRUE(frame()->OnCommand(kCmdGlass));
  EXPECT_FALSE(GlassShown());
}

// A job whose file holds no elements still has a view, (0, 0)-(1000, 1000): the glass and
// the grid are drawn in it and the zoom commands work.
TEST_F(ViewerDialogsTest, AJobWithoutElementsShowsTheGlassAndTheGridAndZooms) {
  WriteFile("empty.em", "<Z");
  WriteFile("empty.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("empty.em") +
                             "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  Start({"vexil", "empty.job"});
  ASSERT_TRUE(WaitDrawn()) << Messages();
  const DrawWndState& window = AppDisplay().window;
  ASSERT_TRUE(window.has_view());
  const auto drawn = [this](const std::function<void()>& command) {
    const int drawings = app_->view()->full_drawings();
    command();
    EXPECT_TRUE(WaitFor([&] { return app_->view()->full_drawings() > drawings; }));
    EXPECT_TRUE(WaitDrawn());
    return app_->view()->picture().copy();
  };
  const auto not_background = [](const QImage& picture) {
    int count = 0;
    for (int y = 0; y < picture.height(); ++y) {
      for (int x = 0; x < picture.width(); ++x) {
        count += picture.pixelIndex(x, y) != kBackgroundColourIndex ? 1 : 0;
      }
    }
    return count;
  };
  EXPECT_EQ(not_background(app_->view()->picture()), 0) << "no elements";
  const QImage glass = drawn([this] { EXPECT_TRUE(frame()->OnCommand(kCmdGlass)); });
  EXPECT_TRUE(GlassShown());
  EXPECT_GT(not_background(glass), 100) << "the glass is drawn";
  drawn([this] { EXPECT_TRUE(frame()->OnCommand(kCmdGlass)); });
  // A grid of 100 units over the 1000 units of the view.
  AppState().settings.grid_on = 1;
  AppState().settings.grid_snap =
      QString::number(100.0 / CurrentViewerServices().DisplayUnits().database_units_per_user_unit,
                      'f', 6)
          .toStdString();
  ASSERT_TRUE(app_->OpenDocumentFile(Path("empty.job")));
  ASSERT_TRUE(WaitDrawn());
  ASSERT_EQ(AppDisplay().settings.grid_spacing, 100);
  EXPECT_GE(not_background(app_->view()->picture()), 100) << "the grid is drawn";
  const double fitted = window.scale();
  drawn([this] {
    frame()->OnCommand(kCmdViewIn);
    QTest::mouseClick(app_->view(), Qt::LeftButton, {},
                      QPoint(app_->view()->width() / 2, app_->view()->height() / 2));
  });
  EXPECT_DOUBLE_EQ(window.scale(), 2 * fitted) << "zoom in works";
  drawn([this] { frame()->OnCommand(kCmdViewAll); });
  EXPECT_DOUBLE_EQ(window.scale(), fitted) << "all works";
}

TEST_F(ViewerDialogsTest, GlassSetupRoundsWhatIsTypedAndRefusesWhatIsNotASize) {
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  std::string refused;
  WhenModal<CGlassSetupDlg>([&](CGlassSetupDlg* dialog) {
    FindControl<QLineEdit>(dialog, kGlassWidth)->setText("-1");
    FindControl<QPushButton>(dialog, kAnswerOk)->click();
    refused = dialog->isVisible() ? Messages() : "closed";
    FindControl<QLineEdit>(dialog, kGlassWidth)->setText("2.346");
    FindControl<QLineEdit>(dialog, kGlassMargin)->setText("0");
    FindControl<QRadioButton>(dialog, kGlassMm)->click();
    FindControl<QCheckBox>(dialog, kGlassPermanent)->click();
    FindControl<QPushButton>(dialog, kAnswerOk)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdGlassSetup));
  EXPECT_NE(refused.find("Width must be a number"), std::string::npos) << refused;
  const ViewerSettings& s = AppState().settings;
  EXPECT_EQ(s.glass_width, 235);
  EXPECT_EQ(s.glass_height, 500);
  EXPECT_EQ(s.glass_margin, 0);
  EXPECT_EQ(s.glass_unit, 1);
  EXPECT_FALSE(s.glass_valid);
}

TEST_F(ViewerDialogsTest, ReportOpensInTheEditorOnlyWhenWritten) {
  WriteFile("a.em", kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn());
  AppState().temporary_directory = temp_.path();
  QTextBrowser editor;
  QDesktopServices::setUrlHandler("file", &editor, "setSource");
  EXPECT_TRUE(frame()->OnCommand(kCmdReport));
  EXPECT_EQ(editor.source(), QUrl::fromLocalFile(QString::fromStdString(Path("nolttxt.rpt"))));
  ASSERT_EQ(WriteReport(Path("expected.rpt")), 0);
  // The same expansion of the template, but for the time it was written.
  auto without_date = [](std::string text) {
    const size_t date = text.find("Date:");
    if (date != std::string::npos) text.erase(date, text.find('\n', date) - date);
    return text;
  };
  const std::string report = ReadFile(Path("nolttxt.rpt"));
  EXPECT_NE(report.find("Job file:    " + Path("a.job") + "\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Rectangular flashes:  1\r\n"), std::string::npos) << report;
  EXPECT_EQ(without_date(report), without_date(ReadFile(Path("expected.rpt"))));
  // A report that cannot be written is said so, and no editor starts.
  AppState().temporary_directory = Path("missing");
  EXPECT_TRUE(frame()->OnCommand(kCmdReport));
  EXPECT_EQ(editor.source(), QUrl::fromLocalFile(QString::fromStdString(Path("nolttxt.rpt"))));
  EXPECT_FALSE(FileExists(Path("missing/nolttxt.rpt")));
  EXPECT_NE(Messages().find("could not be written"), std::string::npos) << Messages();
  QDesktopServices::unsetUrlHandler("file");
}

// A grid too dense to draw says so once; turning the grid on again in Snap Settings lets
// it say so once more.
TEST_F(ViewerDialogsTest, SnapSettingsGridOnAgainWarnsOfADenseGridAgain) {
  // Two flashes far apart: a grid of one unit is far below a pixel.
  WriteFile("a.em", "<X100Y200W30V10U0SX200000Y200000SZ");
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn());
  const auto warnings = [&] {
    int count = 0;
    for (const Message& m : notifier_.shown) {
      count += m.text == "Grid spacing too small.  No grid drawn." ? 1 : 0;
    }
    return count;
  };
  const auto snap = [&](const char* spacing) {
    const int drawings = app_->view()->full_drawings();
    WhenModal<CSnapSettingsDlg>([&](CSnapSettingsDlg* dialog) {
      FindControl<QLineEdit>(dialog, kSnapSpacing)->setText(spacing);
      FindControl<QCheckBox>(dialog, kSnapGridOn)->click();
      FindControl<QPushButton>(dialog, kAnswerOk)->click();
    });
    EXPECT_TRUE(frame()->OnCommand(kCmdSnapSettings));
    EXPECT_TRUE(WaitFor([&] { return app_->view()->full_drawings() > drawings; }));
    EXPECT_TRUE(WaitDrawn());
  };
  snap("0.0001");  // on
  ASSERT_EQ(AppState().settings.grid_on, 1);
  EXPECT_EQ(warnings(), 1) << Messages();
  const int drawings = app_->view()->full_drawings();
  EXPECT_TRUE(frame()->OnCommand(kCmdViewRedraw));
  ASSERT_TRUE(WaitFor([&] { return app_->view()->full_drawings() > drawings; }));
  ASSERT_TRUE(WaitDrawn());
  EXPECT_EQ(warnings(), 1) << "once per run";
  snap("0.0001");  // off
  EXPECT_EQ(warnings(), 1);
  snap("0.0001");  // on again
  EXPECT_EQ(warnings(), 2) << Messages();
}

// The grid step of a spacing is the same in the session that set it, after the job is
// opened again and after the viewer starts again on the job its first start wrote: the
// spacing times the database units per user unit, truncated, at least one unit. The units
// are those of the first start, in microns and in mils.
TEST_F(ViewerDialogsTest, GridStepIsTheSameAfterAReloadAndARestart) {
  WriteFile("a.em", "<X100Y200W30V10U0SX200000Y200000SZ");
  SetDialogMode(DialogMode::kInteractive);
  const auto per_unit = [] {
    return CurrentViewerServices().DisplayUnits().database_units_per_user_unit;
  };
  const auto steps = [] {
    // The drawn grid's step and the step snapping takes.
    return std::make_pair(AppDisplay().settings.grid_spacing,
                          CurrentViewerServices().DisplayUnits().grid_spacing);
  };
  struct Unit {
    const char* job;  // the job beside the file before the first start, or none
    int32_t per_unit;
  } units[] = {{nullptr, 10},
               {"[LAYER_TABLE]\r\nLAYER_0=\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n", 100}};
  struct Case {
    double units;  // the spacing in database units
    int32_t step;
  } cases[] = {{1.5, 1}, {0.4, 1}, {0.6, 1}, {2.0, 2}, {250.75, 250}};
  for (const Unit& unit : units) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(unit.per_unit) + " per unit, " + std::to_string(c.units));
      if (unit.job != nullptr) {
        WriteFile("a.job", unit.job);
      } else {
        std::filesystem::remove(Path("a.job"));
      }
      Restart({"vexil", "a.em"});
      ASSERT_TRUE(WaitDrawn()) << Messages();
      ASSERT_EQ(per_unit(), unit.per_unit);
      const QString spacing = QString::number(c.units / unit.per_unit, 'f', 9);
      WhenModal<CSnapSettingsDlg>([&](CSnapSettingsDlg* dialog) {
        FindControl<QLineEdit>(dialog, kSnapSpacing)->setText(spacing);
        if (!FindControl<QCheckBox>(dialog, kSnapGridSnap)->isChecked()) {
          FindControl<QCheckBox>(dialog, kSnapGridSnap)->click();
        }
        FindControl<QPushButton>(dialog, kAnswerOk)->click();
      });
      ASSERT_TRUE(frame()->OnCommand(kCmdSnapSettings));
      EXPECT_EQ(steps(), std::make_pair(c.step, c.step)) << "in the session";
      ASSERT_TRUE(app_->OpenDocumentFile(Path("a.job")));
      ASSERT_TRUE(WaitDrawn());
      EXPECT_EQ(per_unit(), unit.per_unit) << "the job opened again";
      EXPECT_EQ(steps(), std::make_pair(c.step, c.step)) << "after the job is opened again";
      ASSERT_TRUE(frame()->close());  // the settings are saved at the end
      EXPECT_EQ(Setting("GridSnap"), spacing.toStdString());
      Restart({"vexil", "a.job"});
      ASSERT_TRUE(WaitDrawn()) << Messages();
      EXPECT_EQ(per_unit(), unit.per_unit) << "a new start on the job";
      EXPECT_EQ(steps(), std::make_pair(c.step, c.step)) << "after a restart";
      ASSERT_TRUE(frame()->close());
    }
  }
}

TEST_F(ViewerDialogsTest, RamSnapAndDirectoryDialogsCheckWhatTheyTake) {
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  // Ram Use: the machine's figures; 250 refused, 1.5 megabytes taken.
  std::string total;
  bool stayed = false;
  WhenModal<CRamUseDlg>([&](CRamUseDlg* dialog) {
    total = FindControl<QLabel>(dialog, kRamTotal)->text().toStdString();
    FindControl<QLineEdit>(dialog, kRamLimitEdit)->setText("250");
    FindControl<QPushButton>(dialog, kAnswerOk)->click();
    stayed = dialog->isVisible();
    FindControl<QLineEdit>(dialog, kRamLimitEdit)->setText("1.5");
    FindControl<QPushButton>(dialog, kAnswerOk)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(32880));
  EXPECT_TRUE(stayed);
  EXPECT_EQ(std::to_string(ReadMemoryFigures().total_physical), total);
  EXPECT_GT(std::stoll(total), 0);
  EXPECT_EQ(AppState().ram_use_limit, 1572864);
  // Snap Settings: the spacing kept as typed, the step never below one unit.
  WhenModal<CSnapSettingsDlg>([&](CSnapSettingsDlg* dialog) {
    FindControl<QLineEdit>(dialog, kSnapSpacing)->setText("0.0001");
    FindControl<QCheckBox>(dialog, kSnapGridOn)->click();
    FindControl<QPushButton>(dialog, kAnswerOk)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdSnapSettings));
  EXPECT_EQ(AppState().settings.grid_snap, "0.0001");
  EXPECT_EQ(AppState().settings.grid_on, 1);
  EXPECT_EQ(app_->services().DisplayUnits().grid_spacing, 1);
  EXPECT_TRUE(AppDisplay().settings.grid_on);
  EXPECT_EQ(AppDisplay().settings.grid_spacing, 1);
  ASSERT_TRUE(frame()->close());
  EXPECT_EQ(Setting("GridSnap"), "0.0001");
  // Directory: a path that is not a directory is refused; an empty one changes nothing.
  const std::string before = AppState().temporary_directory;
  WhenModal<CTempDirDlg>([&](CTempDirDlg* dialog) {
    FindControl<QLineEdit>(dialog, kTempDirEdit)->setText(QString::fromStdString(Path("nowhere")));
    FindControl<QPushButton>(dialog, kAnswerOk)->click();
    stayed = dialog->isVisible();
    FindControl<QLineEdit>(dialog, kTempDirEdit)->setText("");
    FindControl<QPushButton>(dialog, kAnswerOk)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdTemporaryDirectory));
  EXPECT_TRUE(stayed);
  EXPECT_NE(Messages().find("Path cannot be found."), std::string::npos);
  EXPECT_EQ(AppState().temporary_directory, before);
}

TEST_F(ViewerDialogsTest, AStoredGridIsDrawnFromTheStart) {
  // A grid of half a user unit (50 database units) over one flash, 800 to 1200 each way.
  WriteSetting("GridOn", "1");
  WriteSetting("GridSnap", "0.5");
  WriteFile("flash.em", "<X1000Y1000W400V400U0SZ");
  WriteFile("flash.job", "[LAYER_TABLE]\r\nLAYER_0=ON,255,0,0,Paint \"" + Path("flash.em") +
                             "\"\r\n[General]\r\nFormatType=0\r\nUnitType=0\r\n");
  Start({"vexil", "flash.job"});
  ASSERT_TRUE(WaitDrawn());
  const QImage shown = view()->grab().toImage();
  const auto colour_at = [&](int32_t x, int32_t y) {
    const LogicalPoint p = AppDisplay().window.WorldToLogical(x, y);
    return shown.pixelColor(p.x, p.y);
  };
  for (const auto& [x, y] : {std::pair{1000, 1000}, {1050, 1050}, {950, 1100}}) {
    EXPECT_EQ(colour_at(x, y), QColor(0, 0, 0)) << "grid point " << x << "," << y;
  }
  EXPECT_EQ(colour_at(1025, 1025), QColor(255, 0, 0)) << "between the grid points";
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(ViewerDialogsTest, SaveChangesShowsEveryEditedLayerAndPagesByItsRows) {
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil"});
  std::vector<int> edited;
  for (int n = 0; n < 11; ++n) {
    LayerTable()[n * 3].path = "/data/layer" + std::to_string(n) + ".wf2";
    edited.push_back(n * 3);
  }
  SaveRequests requests;
  int answer = 0;
  WhenModal<CSaveChangesDlg>([&](CSaveChangesDlg* dialog) {
    auto* scroll = FindControl<QScrollBar>(dialog, kSaveScroll);
    EXPECT_EQ(scroll->maximum(), 3);  // the last three entries show on the last page
    FindControl<QCheckBox>(dialog, kSaveLayersOnOff)->click();  // none
    FindControl<QCheckBox>(dialog, 1573)->click();              // the first again
    scroll->setValue(3);
    // Entry 10 (layer 30) in the last row, with a new output name. The layer is named by
    // its file, its path shown as the tip.
    EXPECT_EQ(FindControl<QLineEdit>(dialog, 1000 + 7)->text(), "layer10.wf2");
    EXPECT_EQ(FindControl<QLineEdit>(dialog, 1000 + 7)->toolTip(), "/data/layer10.wf2");
    FindControl<QCheckBox>(dialog, 1573 + 3 * 7)->click();
    FindControl<QLineEdit>(dialog, 1574 + 3 * 7)->setText("/out/ten.wf2");
    FindControl<QPushButton>(dialog, 6)->click();
  });
  answer = RunSaveChanges(edited, frame(), &requests);
  EXPECT_EQ(answer, 6);
  EXPECT_TRUE(requests.save[0]);
  EXPECT_EQ(requests.output[0], "layer0.wf2");
  EXPECT_TRUE(requests.save[30]);
  EXPECT_EQ(requests.output[30], "/out/ten.wf2");
  int saved = 0;
  for (bool save : requests.save) saved += save;
  EXPECT_EQ(saved, 2);
}

// Paths far longer than 260 characters, typed into the Layer Table's Name field and into
// a Save Changes output field, are taken whole.
TEST_F(ViewerDialogsTest, LayerTableAndSaveChangesTakePathsOfAThousandCharacters) {
  const std::string deep = test_support::MakeLongDirectory(temp_.path(), 1000);
  ASSERT_EQ(deep.size(), 1000u);
  const std::string file = deep + "/b.em", output = deep + "/saved.em";
  test_support::WriteBytes(file, kSmallEmFile);
  WriteFile("a.em", kSmallEmFile);
  SetDialogMode(DialogMode::kInteractive);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn()) << Messages();
  WhenModal<CLayerTableDlg>([&](CLayerTableDlg* table) {
    QLineEdit* name = Row<QLineEdit>(table, 1, &LayerTableRowIds::name);
    name->setFocus();
    QTest::keyClicks(name, QString::fromStdString(file));
    FindControl<QPushButton>(table, kAnswerOk)->click();
  });
  EXPECT_TRUE(frame()->OnCommand(kCmdLayerTable));
  EXPECT_EQ(LayerTable()[1].path, file) << Messages();
  EXPECT_NE(LayerTable()[1].library, kGdxNoHandle) << "the file is loaded";

  SaveRequests requests;
  WhenModal<CSaveChangesDlg>([&](CSaveChangesDlg* dialog) {
    QLineEdit* to = FindControl<QLineEdit>(dialog, 1574);
    to->clear();
    to->setFocus();
    QTest::keyClicks(to, QString::fromStdString(output));
    FindControl<QPushButton>(dialog, 6)->click();
  });
  EXPECT_EQ(RunSaveChanges({1}, frame(), &requests), 6);
  EXPECT_TRUE(requests.save[1]);
  EXPECT_EQ(requests.output[1], output);
}

TEST_F(ViewerDialogsTest, ErrorZoomBoxStandsWhereTheMarkerStands) {
  ErrorZoomFrame wf2;
  wf2.factor = 100;
  wf2.half_height = 500;
  wf2.frame_width = 40;
  wf2.frame_height = 20;
  // Y is mirrored about the WF2 pattern's height, as the markers are.
  EXPECT_EQ(ErrorZoomBox("3\t1.5\t2", wf2), (GdxRect{110, 780, 190, 820}));
  // PG data has no frames: a tenth of the data's larger side around the error.
  ErrorZoomFrame pg;
  pg.factor = 10;
  pg.extents = {0, 0, 2000, 500};
  EXPECT_EQ(ErrorZoomBox("1 10.04 -3", pg), (GdxRect{-100, -170, 300, 230}));
  pg.extents = {};
  EXPECT_EQ(ErrorZoomBox("1 0 0", pg), (GdxRect{-1, -1, 1, 1}));
  EXPECT_FALSE(ErrorZoomBox("1\t2", pg));
  EXPECT_FALSE(ErrorZoomBox("1 x 2", pg));
  EXPECT_FALSE(ErrorZoomBox("1 3e9 2", pg)) << "outside 32 bits";
}

TEST_F(ViewerDialogsTest, ErrorListZoomsOnDoubleClickAndOk) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("errors.txt", "0 10.0 20.0\r\n0 8.5 19.5\r\nbad line\r\n");
  Start({"vexil", "a.em", "-vefn:" + Path("errors.txt")});
  ASSERT_TRUE(WaitDrawn());
  // The markers come with the job.
  EXPECT_NE(LayerTable()[kMarkerEntry].library, kGdxNoHandle);
  const ZoomView before = AppDisplay().window.current_view();
  EXPECT_TRUE(frame()->OnCommand(kCmdErrorCoordinates));
  auto* dialog = frame()->findChild<CErrorCoordsDlg*>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  auto* list = FindControl<QListWidget>(dialog, kErrorList);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "0\t10.0\t20.0");
  EXPECT_NE(LayerTable()[kMarkerEntry].library, kGdxNoHandle);
  emit list->itemDoubleClicked(list->item(0));
  EXPECT_TRUE(dialog->isVisible()) << "a double click keeps the list";
  const ZoomView zoomed = AppDisplay().window.current_view();
  EXPECT_NE(zoomed, before);
  list->setCurrentRow(1);
  FindControl<QPushButton>(dialog, kAnswerOk)->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_NE(AppDisplay().window.current_view(), zoomed);
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(ViewerDialogsTest, TheErrorListHoldsOnlyTheErrorsOfTheJobShown) {
  for (const char* name : {"a.em", "b.em", "c.em"}) WriteFile(name, kSmallEmFile);
  WriteFile("errors.txt", "0 10.0 20.0\r\n0 8.5 19.5\r\n");
  WriteFile("empty.txt", "");
  Start({"vexil", "a.em", "-vefn:" + Path("errors.txt")});
  ASSERT_TRUE(WaitDrawn());
  ASSERT_TRUE(frame()->OnCommand(kCmdErrorCoordinates));
  auto* dialog = frame()->findChild<CErrorCoordsDlg*>();
  ASSERT_NE(dialog, nullptr);
  auto* list = FindControl<QListWidget>(dialog, kErrorList);
  ASSERT_EQ(list->count(), 2);
  dialog->reject();
  // The next jobs come without an error file, and with one that holds no errors.
  const std::vector<std::vector<std::string>> starts = {
      {"vexil", "b.em"}, {"vexil", "c.em", "-vefn:" + Path("empty.txt")}};
  for (const std::vector<std::string>& words : starts) {
    app_->QueueHandOver({HandOverRequest::kOpen, temp_.path(), words});
    const std::string job = Path(words[1].substr(0, 1) + ".job");
    ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == job; })) << job;
    ASSERT_TRUE(WaitDrawn());
    EXPECT_EQ(LayerTable()[kMarkerEntry].library, kGdxNoHandle) << job;
    ASSERT_TRUE(frame()->OnCommand(kCmdErrorCoordinates));
    EXPECT_EQ(list->count(), 0) << job;
    dialog->reject();
  }
  EXPECT_TRUE(notifier_.shown.empty()) << Messages();
}

TEST_F(ViewerDialogsTest, EveryControlOfTheDialogsHasAName) {
  Start({"vexil"});
  std::vector<std::unique_ptr<QDialog>> dialogs;
  dialogs.push_back(std::make_unique<CGlassSetupDlg>(app_.get(), frame()));
  dialogs.push_back(std::make_unique<CInfoDlg>("Count", "Active Layer:0", frame()));
  dialogs.push_back(std::make_unique<CRamUseDlg>(frame()));
  dialogs.push_back(std::make_unique<CSnapSettingsDlg>(app_.get(), frame()));
  dialogs.push_back(std::make_unique<CTempDirDlg>(frame()));
  dialogs.push_back(std::make_unique<CSaveChangesDlg>(std::vector<int>{0}, frame()));
  dialogs.push_back(std::make_unique<CErrorCoordsDlg>(app_.get(), frame()));
  for (const auto& dialog : dialogs) {
    for (QWidget* control : dialog->findChildren<QWidget*>()) {
      if (qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control) ||
          qobject_cast<QComboBox*>(control) || qobject_cast<QAbstractItemView*>(control) ||
          qobject_cast<QPlainTextEdit*>(control) || qobject_cast<QScrollBar*>(control)) {
        EXPECT_FALSE(control->accessibleName().isEmpty())
            << dialog->windowTitle().toStdString() << ": " << control->metaObject()->className()
            << " " << control->objectName().toStdString();
      }
    }
  }
}

}  // namespace
}  // namespace kavrinth
