// Corvane's dialogs as the user works them: layer texts checked and shown as the engine
// keeps them, scrolling, the translator settings' scale, and the Directory dialog.
#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>

#include "corvane/ui/layers_dialog.h"
#include "corvane/ui/tests/corvane_test_support.h"
#include "corvane/ui/translator_settings_dialog.h"
#include "support/qt/directory_dialog.h"
#include "support/run_program.h"

namespace kavrinth {
namespace {

using LayersDialogTest = CorvaneWindowTest;

CorvaneSession ThreeFiles(const std::string& input_dir, const std::string& work_dir) {
  CorvaneSession session;
  ApplyInputSelection(session, {input_dir, "a.em", "b.em", "c.em"});
  session.working_directory = work_dir;
  return session;
}

QLineEdit* Edit(LayersDialog& dialog, int row) {
  return FindControl<QLineEdit>(&dialog, kLayerRowIds[row].edit);
}
QCheckBox* Check(LayersDialog& dialog, int row) {
  return FindControl<QCheckBox>(&dialog, kLayerRowIds[row].check);
}

TEST_F(LayersDialogTest, LayerTextsAreCheckedAtOk) {
  CorvaneSession session = ThreeFiles(input_dir_, work_dir_);
  LayersDialog dialog(session);
  dialog.show();
  const struct {
    const char* text;
    bool accepted;
  } cases[] = {{"0", false},  {"1025", false}, {"12a", false}, {"+5", false},
               {" 5", false}, {"-3", false},   {"007", true}};
  for (const auto& c : cases) {
    notifier_.shown.clear();
    Edit(dialog, 1)->setText(c.text);
    Press(&dialog, kIdOk);
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted) << c.text;
    if (!c.accepted) {
      ASSERT_EQ(Messages().size(), 1u) << c.text;
      EXPECT_EQ(Messages()[0], "GDS layer must be a number between 1 and 1024.");
      EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open";
    }
  }
  EXPECT_EQ(ReadFile(work_dir_ + "/a.job"),
            "[layer0]\r\nlayer=1," + input_dir_ + "/a.em\r\n[layer1]\r\nlayer=007," + input_dir_ +
                "/b.em\r\n[layer2]\r\nlayer=3," + input_dir_ +
                "/c.em\r\n[General]\r\nlayers=layer0,layer1,layer2\r\n");
  EXPECT_EQ(session.checked_file_indexes, "0,1,2");
}

TEST_F(LayersDialogTest, EmptyLayersUncheckedFilesAndNoFiles) {
  CorvaneSession session = ThreeFiles(input_dir_, work_dir_);
  {
    LayersDialog dialog(session);
    dialog.show();
    Edit(dialog, 2)->setText("");
    Press(&dialog, kIdOk);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "Please specify a GDS layer number for file c.em.");
    Check(dialog, 2)->setChecked(false);
    Press(&dialog, kLayersAllOff);
    EXPECT_FALSE(Check(dialog, 0)->isChecked());
    Press(&dialog, kIdOk);
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[1], "No layers are selected for translation.");
    Press(&dialog, kLayersAllOn);
    EXPECT_TRUE(Check(dialog, 2)->isChecked());
    EXPECT_FALSE(Check(dialog, 3)->isChecked()) << "rows without a file stay off";
    Check(dialog, 1)->setChecked(false);
    Edit(dialog, 2)->setText("5");
    Press(&dialog, kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  // Files 0 and 2: the sections are numbered over the files written.
  EXPECT_EQ(ReadFile(work_dir_ + "/a.job"), "[layer0]\r\nlayer=1," + input_dir_ +
                                                "/a.em\r\n[layer1]\r\nlayer=5," + input_dir_ +
                                                "/c.em\r\n[General]\r\nlayers=layer0,layer1\r\n");
  EXPECT_EQ(session.checked_file_indexes, "0,2");
  LayersDialog again(session);
  EXPECT_TRUE(Check(again, 0)->isChecked());
  EXPECT_FALSE(Check(again, 1)->isChecked());
  EXPECT_TRUE(Check(again, 2)->isChecked());
  EXPECT_EQ(Edit(again, 2)->text(), "5");
}

TEST_F(LayersDialogTest, AJobFileThatCannotBeWrittenKeepsTheDialogOpen) {
  CorvaneSession session = ThreeFiles(input_dir_, Path("no such directory"));
  LayersDialog dialog(session);
  dialog.show();
  Press(&dialog, kIdOk);
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0],
            "The job file " + Path("no such directory/a.job") + " cannot be written.");
}

TEST_F(LayersDialogTest, ALayerTheEngineNarrowsIsShownAsItWillBe) {
  CorvaneSession session = ThreeFiles(input_dir_, work_dir_);
  LayersDialog dialog(session);
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {{"7", ""},
               {"007", ""},
               {"70", "GDS: 6"},
               {"64", "GDS: next free"},
               {"1024", "GDS: next free"},
               {"1025", ""},
               {"x", ""}};
  for (const auto& c : cases) {
    Edit(dialog, 0)->setText(c.text);
    QLabel* note = nullptr;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
      if (label->accessibleName() == "Engine layer" && !label->text().isEmpty()) note = label;
    }
    EXPECT_EQ(note ? note->text().toStdString() : "", c.shown) << c.text;
  }
}

TEST_F(LayersDialogTest, ScrollingPagesAndProposalsFromAnOldJob) {
  CorvaneSession session;
  std::vector<std::string> entries{input_dir_};
  for (int i = 0; i < 40; ++i) entries.push_back("f" + std::to_string(i) + ".em");
  ApplyInputSelection(session, entries);
  session.working_directory = work_dir_;
  WriteFile("work dir/f0.job",
            "[layer0]\r\nlayer=9,/elsewhere/F0.EM\r\n[layer1]\r\nlayer=8,/x/other.em\r\n"
            "[General]\r\nlayers=layer0,layer1\r\n");
  LayersDialog dialog(session);
  dialog.show();
  EXPECT_EQ(Edit(dialog, 0)->text(), "9") << "the old job names the same file";
  EXPECT_EQ(Edit(dialog, 1)->text(), "2") << "another file: the position";
  const struct {
    int request;
    int position;
    int top;
  } steps[] = {{kScrollPageDown, 0, 32}, {kScrollLineDown, 0, 32}, {kScrollPageUp, 0, 0},
               {kScrollLineUp, 0, 0},    {kScrollLineDown, 0, 1},  {kScrollThumbTrack, 20, 20},
               {kScrollPageUp, 0, 0}};
  for (const auto& step : steps) {
    dialog.Scroll(step.request, step.position);
    EXPECT_EQ(dialog.top(), step.top) << step.request;
  }
  Press(&dialog, kLayersPageDown);
  EXPECT_EQ(dialog.top(), 32);
  EXPECT_EQ(FindControl<QScrollBar>(&dialog, kLayersScrollBar)->value(), 32);
  EXPECT_EQ(Check(dialog, 0)->text(), "f32.em");
  EXPECT_EQ(Edit(dialog, 7)->text(), "40");
  EXPECT_FALSE(Check(dialog, 8)->isEnabled()) << "index 40: no file";
  EXPECT_EQ(Edit(dialog, 8)->text(), "");
  // A bad text blocks scrolling away from it.
  Edit(dialog, 3)->setText("abc");
  Press(&dialog, kLayersPageUp);
  EXPECT_EQ(dialog.top(), 32);
  EXPECT_EQ(Messages().back(), "GDS layer must be a number between 1 and 1024.");
  Edit(dialog, 3)->setText("35");
  Press(&dialog, kLayersPageUp);
  EXPECT_EQ(dialog.top(), 0);
  EXPECT_EQ(session.input_file_layer_table[35], "35");
}

TEST_F(LayersDialogTest, ATextLeftByACancelledRunIsCheckedBeforeItIsWritten) {
  CorvaneSession session;
  std::vector<std::string> entries{input_dir_};
  for (int i = 0; i < 40; ++i) entries.push_back("f" + std::to_string(i) + ".em");
  ApplyInputSelection(session, entries);
  session.working_directory = work_dir_;
  {
    LayersDialog dialog(session);
    dialog.show();
    Press(&dialog, kLayersPageDown);
    Edit(dialog, 3)->setText("2000");  // file 35
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(Edit(dialog, 3), &leave);  // kept, unchecked, as typed
    Press(&dialog, kIdCancel);
  }
  EXPECT_EQ(session.input_file_layer_table[35], "2000");
  LayersDialog dialog(session);
  dialog.show();
  Press(&dialog, kIdOk);  // file 35 is not in view
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Messages().back(), "GDS layer must be a number between 1 and 1024.");
  EXPECT_EQ(dialog.top(), 32) << "the rows show the text refused";
  EXPECT_FALSE(std::filesystem::exists(work_dir_ + "/f0.job"));
  Edit(dialog, 3)->setText("35");
  Press(&dialog, kIdOk);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_NE(ReadFile(work_dir_ + "/f0.job").find("[layer35]\r\nlayer=35,"), std::string::npos);
}

using TranslatorSettingsTest = CorvaneWindowTest;

TEST_F(TranslatorSettingsTest, ScaleIsRememberedAndChecked) {
  CorvaneOptions options{kFilesElectromask, kFilesUnitMil, 3.0};
  {
    TranslatorSettingsDialog dialog(options);
    dialog.show();
    QLineEdit* scale = FindControl<QLineEdit>(&dialog, kTsScale);
    EXPECT_FALSE(scale->isEnabled());
    EXPECT_EQ(scale->text(), "1.0");
    FindControl<QRadioButton>(&dialog, kTsMann3000)->click();
    EXPECT_TRUE(scale->isEnabled());
    EXPECT_EQ(scale->text(), "3") << "the stored scale, not Electromask's 1.0";
    scale->setText("2.5");
    FindControl<QRadioButton>(&dialog, kTsElectromask)->click();
    FindControl<QRadioButton>(&dialog, kTsMicron)->click();
    FindControl<QRadioButton>(&dialog, kTsMann3600)->click();
    EXPECT_EQ(scale->text(), "2.5");
    EXPECT_TRUE(FindControl<QRadioButton>(&dialog, kTsMicron)->isChecked());
    for (const char* bad : {"0", "-1", "1000000.5", "abc", "1e-9"}) {
      notifier_.shown.clear();
      scale->setText(bad);
      Press(&dialog, kIdOk);
      EXPECT_TRUE(dialog.isVisible()) << bad;
      ASSERT_EQ(Messages().size(), 1u) << bad;
    }
    EXPECT_EQ(options.scale, 3.0) << "nothing stored while refused";
    scale->setText("1e-08");
    Press(&dialog, kIdOk);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(options.files_format, kFilesMann3600);
  EXPECT_EQ(options.files_unit, kFilesUnitMicron);
  EXPECT_EQ(options.scale, 1e-08);
  {
    TranslatorSettingsDialog dialog(options);
    dialog.show();
    FindControl<QRadioButton>(&dialog, kTsElectromask)->click();
    FindControl<QRadioButton>(&dialog, kTsMil)->click();
    Press(&dialog, kIdOk);
  }
  EXPECT_EQ(options.files_format, kFilesElectromask);
  EXPECT_EQ(options.files_unit, kFilesUnitMil);
  EXPECT_EQ(options.scale, 1e-08) << "Electromask keeps the stored scale";
  // Help without the main window says where the help is.
  TranslatorSettingsDialog alone(options);
  notifier_.shown.clear();
  Press(&alone, kTsHelp);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("Help is not installed.", 0), 0u);
  TranslatorSettingsDialog cancelled(options);
  cancelled.show();
  FindControl<QRadioButton>(&cancelled, kTsMann3000)->click();
  Press(&cancelled, kIdCancel);
  EXPECT_EQ(options.files_format, kFilesElectromask);
}

using DirectoryDialogTest = CorvaneWindowTest;

TEST_F(DirectoryDialogTest, BrowsesOnFromATypedPathAndTakesItWithoutChangingTheCurrentDirectory) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::create_directories(Path("tree/sub one"));
  std::filesystem::create_directories(Path("other/deeper"));
  CDirectoryDlg dialog(nullptr, Path("tree"));
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  EXPECT_EQ(FindControl<QLineEdit>(&dialog, kDirOld)->text().toStdString(), Path("tree"));
  QListWidget* list = FindControl<QListWidget>(&dialog, kDirList);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(1)->text(), "sub one");
  list->setCurrentRow(1);
  emit list->itemActivated(list->item(1));
  EXPECT_EQ(dialog.listed(), Path("tree/sub one"));
  EXPECT_EQ(std::filesystem::current_path(), before);
  QLineEdit* typed = FindControl<QLineEdit>(&dialog, kDirNew);
  // A typed path is listed when the focus leaves its edit, relative ones from the directory
  // listed; the user browses on from there.
  const struct {
    std::string text;
    std::string listed;
    std::string shown;
  } cases[] = {
      {Path("other"), Path("other"), Path("other")},
      {"deeper", Path("other/deeper"), Path("other/deeper")},
      {"../../tree/", Path("tree"), Path("tree")},
      // No directory: the listing stays, the typed text stays for OK to name.
      {Path("missing"), Path("tree"), Path("missing")},
  };
  for (const auto& c : cases) {
    typed->setFocus();
    typed->selectAll();
    QTest::keyClicks(typed, QString::fromStdString(c.text));
    list->setFocus();
    EXPECT_EQ(dialog.listed(), c.listed) << c.text;
    EXPECT_EQ(typed->text().toStdString(), c.shown) << c.text;
  }
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(1)->text(), "sub one");
  EXPECT_EQ(std::filesystem::current_path(), before);
  typed->setText(QString::fromStdString(Path("missing")));
  Press(&dialog, kIdOk);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], Path("missing") + ".  The directory does not exist.");
  EXPECT_TRUE(dialog.isVisible());
  typed->setText(QString::fromStdString(work_dir_ + "/"));
  typed->setFocus();
  PressKey(typed, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.new_directory(), work_dir_) << "the typed path, not the one listed last";
  EXPECT_EQ(std::filesystem::current_path(), before);
}

}  // namespace
}  // namespace kavrinth
