// The file dialogs: initial state, case-blind filters, single and multiple selection, the
// plain wrappers' settings and errors, the template controls and their hooks, and the box
// for a file that already exists.
#include "support/qt/file_dialogs.h"

#include <QComboBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "qt_test_support.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/qt/file_filters.h"

namespace kavrinth {
namespace {

using namespace std::string_literals;

class FileDialogTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    for (const char* name : {"A.GDS", "b.gds", "c.txt", "d.Gds2"}) WriteFile(name, "x");
    SetFileDlgMaxFiles(1024);
    SetFileDlgFilterIndex(0);
  }
  void TearDown() override {
    SetDialogMode(DialogMode::kInteractive);
    TempDirTest::TearDown();
  }
  std::string gds_filter_ = BuildFileFilters(FilterTable::kViewer)[2];
};

TEST_F(FileDialogTest, InitialDirectoryAndName) {
  const struct {
    std::string given, directory, name;
  } cases[] = {
      {Path("b.gds"), temp_.path(), "b.gds"},
      {"sub\\deeper\\x.gds", "sub/deeper", "x.gds"},  // a stored path
      {Path(".gds"), temp_.path(), "*.gds"},          // a bare extension is a pattern
      {"plain.txt", "", "plain.txt"},
  };
  for (const auto& c : cases) {
    CFileDialogEx dialog(true, "gds", c.given.c_str(), 0, gds_filter_, nullptr);
    EXPECT_EQ(dialog.initial_directory(), c.directory) << c.given;
    EXPECT_EQ(dialog.initial_name(), c.name) << c.given;
  }
  CFileDialogEx dialog(true, ".gds", Path("b.gds").c_str(), 0, gds_filter_, nullptr);
  EXPECT_EQ(dialog.directory().absolutePath().toStdString(), temp_.path());
  EXPECT_EQ(dialog.defaultSuffix(), "gds");
  EXPECT_EQ(dialog.selectedNameFilter(), "GDS Files (*.gds)");
}

TEST_F(FileDialogTest, PatternsIgnoreCase) {
  CFileDialogEx dialog(true, "", Path("b.gds").c_str(), 0, gds_filter_, nullptr);
  auto* model = dialog.findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  dialog.show();
  const QModelIndex root = model->index(QString::fromStdString(temp_.path()));
  ASSERT_TRUE(WaitFor([&] { return model->rowCount(root) >= 2 && !model->canFetchMore(root); }));
  WaitFor([] { return false; }, 200);  // let the listing settle
  QStringList shown;
  for (int row = 0; row < model->rowCount(root); ++row) {
    shown << model->fileName(model->index(row, 0, root));
  }
  shown.sort();
  EXPECT_EQ(shown, (QStringList{"A.GDS", "b.gds"}));
  dialog.hide();
}

TEST_F(FileDialogTest, DoModalReturnsTheChosenFile) {
  CFileDialogEx dialog(true, "gds", Path("b.gds").c_str(), kFileDlgFileMustExist, gds_filter_,
                       nullptr);
  WhenModal<QFileDialog>([&](QFileDialog* shown) {
    EXPECT_EQ(shown, &dialog);
    EXPECT_EQ(shown->windowTitle(), "Open Layout");
    EXPECT_TRUE(GrabShowsSomething(shown));
    TypeNamesAndAccept(shown, "A.GDS");
  });
  EXPECT_EQ(dialog.DoModal("Open Layout"), kAnswerOk);
  EXPECT_EQ(dialog.GetPathName(), Path("A.GDS"));
  EXPECT_EQ(dialog.NulList(), Path("A.GDS") + "\0\0"s);

  WhenModal<QFileDialog>([](QFileDialog* shown) { shown->reject(); });
  EXPECT_EQ(dialog.DoModal(), kAnswerCancel);
  EXPECT_TRUE(dialog.PathNames().empty());
}

TEST_F(FileDialogTest, MultipleSelectionGivesANulList) {
  std::string name = Path("b.gds");
  WhenModal<QFileDialog>([](QFileDialog* shown) { TypeNamesAndAccept(shown, "\"A.GDS\" \"b.gds\""); });
  ASSERT_EQ(OpenFileDlg(nullptr, "Open", &name, "gds", gds_filter_, kFileDlgAllowMultiSelect), 1);
  EXPECT_EQ(name, temp_.path() + "\0A.GDS\0b.gds\0\0"s);

  // One file of a multiple selection is its full path.
  name = Path("b.gds");
  WhenModal<QFileDialog>([](QFileDialog* shown) { TypeNamesAndAccept(shown, "\"b.gds\""); });
  ASSERT_EQ(OpenFileDlg(nullptr, "Open", &name, "gds", gds_filter_, kFileDlgAllowMultiSelect), 1);
  EXPECT_EQ(name, Path("b.gds"));
}

TEST_F(FileDialogTest, MultipleSelectionAsQuotedNamesInTheShellsForm) {
  SetFileDlgMultiResult(FileDlgMultiResult::kQuotedNames);
  std::string name = Path("b.gds");
  WhenModal<QFileDialog>([](QFileDialog* shown) { TypeNamesAndAccept(shown, "\"A.GDS\" \"b.gds\""); });
  const int chosen =
      OpenFileDlg(nullptr, "Open", &name, "gds", gds_filter_, kFileDlgAllowMultiSelect);
  // One file stays its full path, unquoted.
  std::string one = Path("b.gds");
  WhenModal<QFileDialog>([](QFileDialog* shown) { TypeNamesAndAccept(shown, "\"b.gds\""); });
  const int chosen_one =
      OpenFileDlg(nullptr, "Open", &one, "gds", gds_filter_, kFileDlgAllowMultiSelect);
  SetFileDlgMultiResult(FileDlgMultiResult::kNulList);
  ASSERT_EQ(chosen, 1);
  EXPECT_EQ(name, "\"" + temp_.path() + "\" \"A.GDS\" \"b.gds\"");
  ASSERT_EQ(chosen_one, 1);
  EXPECT_EQ(one, Path("b.gds"));
}

// A name holding double quotes, typed or offered, is one file, in every kind of dialog: the
// default extension is added, a missing file is asked about or refused, and an existing one
// is found without regard to case. A list of quoted names stays a list.
TEST_F(FileDialogTest, ANameHoldingDoubleQuotesIsOneFile) {
  WriteFile("say \"hi\".gds", "x");
  struct Case {
    bool open;
    uint32_t flags;
    std::string typed;
    std::vector<int> answers;
    std::string chosen;  // "" when the dialog stays open (then cancelled)
    std::string asked;   // the start of the question or message, "" for none
  };
  const Case cases[] = {
      {true, kFileDlgFileMustExist, "say \"hi\".gds", {}, Path("say \"hi\".gds"), ""},
      {true, kFileDlgFileMustExist, "SAY \"HI\".GDS", {}, Path("SAY \"HI\".GDS"), ""},
      {true,
       kFileDlgFileMustExist,
       "say \"ho\".gds",
       {},
       "",
       Path("say \"ho\".gds") + "\nFile not found."},
      {true, kFileDlgAllowMultiSelect, "say \"hi\".gds", {}, Path("say \"hi\".gds"), ""},
      {true,
       kFileDlgCreatePrompt,
       "de\"mo",
       {kAnswerYes},
       Path("de\"mo.gds"),
       Path("de\"mo.gds") + "\nThis file does not exist."},
      {true, kFileDlgCreatePrompt, "de\"mo", {kAnswerNo}, "", Path("de\"mo.gds")},
      {false, 0, Path("out \"1\""), {}, Path("out \"1\".gds"), ""},
      {false,
       kFileDlgOverwritePrompt,
       "say \"hi\".gds",
       {kAnswerYes},
       Path("say \"hi\".gds"),
       Path("say \"hi\".gds") + " already exists."},
      {false, kFileDlgOverwritePrompt, "say \"hi\".gds", {kAnswerNo}, "", Path("say \"hi\".gds")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    ScriptedNotifier notifier;
    notifier.answers = c.answers;
    ScopedNotifier scope(&notifier);
    CFileDialogEx dialog(c.open, "gds", Path("b.gds").c_str(), c.flags, gds_filter_, nullptr);
    bool stayed_open = false;
    WhenModal<QFileDialog>([&](QFileDialog* shown) {
      // The programs' questions go through the notifier: a box of Qt's own is a fault, and
      // is closed rather than waited on.
      QTimer qt_box_closer;
      QObject::connect(&qt_box_closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          ADD_FAILURE() << "the file dialog asked itself: " << box->text().toStdString();
          box->reject();
        }
      });
      qt_box_closer.start(50);
      TypeNamesAndAccept(shown, QString::fromStdString(c.typed));
      stayed_open = shown->isVisible();
      if (stayed_open) shown->reject();
    });
    const int answer = dialog.DoModal();
    if (c.chosen.empty()) {
      EXPECT_TRUE(stayed_open);
      EXPECT_EQ(answer, kAnswerCancel);
    } else {
      EXPECT_EQ(answer, kAnswerOk);
      EXPECT_EQ(dialog.PathNames(), std::vector<std::string>{c.chosen});
    }
    if (c.asked.empty()) {
      EXPECT_TRUE(notifier.shown.empty()) << notifier.shown[0].text;
    } else {
      ASSERT_EQ(notifier.shown.size(), 1u);
      EXPECT_EQ(notifier.shown[0].text.rfind(c.asked, 0), 0u) << notifier.shown[0].text;
    }
  }
  // Several names in quotes are still several files.
  std::string name = Path("b.gds");
  WhenModal<QFileDialog>(
      [](QFileDialog* shown) { TypeNamesAndAccept(shown, "\"A.GDS\" \"b.gds\""); });
  ASSERT_EQ(OpenFileDlg(nullptr, "Open", &name, "gds", gds_filter_, kFileDlgAllowMultiSelect), 1);
  EXPECT_EQ(name, temp_.path() + "\0A.GDS\0b.gds\0\0"s);
}

TEST_F(FileDialogTest, TooManyFilesIsAnError) {
  SetFileDlgMaxFiles(1);
  ScriptedNotifier notifier;
  ScopedNotifier scope(&notifier);
  std::string name = Path("b.gds");
  WhenModal<QFileDialog>([](QFileDialog* shown) { TypeNamesAndAccept(shown, "\"A.GDS\" \"b.gds\""); });
  EXPECT_EQ(OpenFileDlg(nullptr, "Open", &name, "", gds_filter_, kFileDlgAllowMultiSelect), 0);
  EXPECT_EQ(name, Path("b.gds")) << "the caller's name stays";
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_EQ(notifier.shown[0].text, "E12291:OpenFile Error");
  EXPECT_EQ(notifier.shown[0].icon, MessageIcon::kStop);

  // The hook variants keep quiet.
  WhenModal<QFileDialog>([](QFileDialog* shown) { TypeNamesAndAccept(shown, "\"A.GDS\" \"b.gds\""); });
  EXPECT_EQ(OpenFileDlgHook(nullptr, "Open", &name, "", gds_filter_, kFileDlgAllowMultiSelect,
                            nullptr, nullptr),
            0);
  EXPECT_EQ(notifier.shown.size(), 1u);
}

TEST_F(FileDialogTest, FilterIndexIsRemembered) {
  const std::string filter = BuildFileFilters(FilterTable::kViewer)[17];
  std::string name = Path("b.gds");
  WhenModal<QFileDialog>([](QFileDialog* shown) {
    EXPECT_EQ(shown->selectedNameFilter(), shown->nameFilters()[0]) << "0 shows the first";
    shown->selectNameFilter(shown->nameFilters()[1]);
    shown->reject();
  });
  EXPECT_EQ(OpenFileDlg(nullptr, "Open", &name, "", filter, 0), 0);
  EXPECT_EQ(GetFileDlgFilterIndex(), 2);
  WhenModal<QFileDialog>([](QFileDialog* shown) {
    EXPECT_EQ(shown->selectedNameFilter(), "All Files (*)");
    shown->reject();
  });
  OpenFileDlg(nullptr, "Open", &name, "", filter, 0);
}

TEST_F(FileDialogTest, SaveDialogsAskBeforeOverwritingOnlyWhenTold) {
  std::string name = Path("new");
  WhenModal<QFileDialog>([](QFileDialog* shown) {
    EXPECT_EQ(shown->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(shown->testOption(QFileDialog::DontConfirmOverwrite));
    TypeNamesAndAccept(shown, "out");
  });
  ASSERT_EQ(SaveFileDlg(nullptr, "Save", &name, "gds", gds_filter_, 0), 1);
  EXPECT_EQ(name, Path("out.gds")) << "the default extension is added";

  // OpenFileDlg with the overwrite flag is a save dialog that asks.
  WhenModal<QFileDialog>([](QFileDialog* shown) {
    EXPECT_EQ(shown->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(shown->fileMode(), QFileDialog::AnyFile) << "never several files";
    EXPECT_FALSE(shown->testOption(QFileDialog::DontConfirmOverwrite));
    shown->reject();
  });
  EXPECT_EQ(OpenFileDlg(nullptr, "Save", &name, "gds", gds_filter_,
                        kFileDlgOverwritePrompt | kFileDlgAllowMultiSelect),
            0);
}

TEST_F(FileDialogTest, NoDialogBlocksWithoutADisplay) {
  std::string name = Path("b.gds");
  for (DialogMode mode : {DialogMode::kHeadless, DialogMode::kAuto}) {
    SetDialogMode(mode);  // kAuto: the offscreen platform is no display
    EXPECT_FALSE(DialogsInteractive());
    EXPECT_EQ(OpenFileDlg(nullptr, "Open", &name, "", gds_filter_, 0), 0);
    EXPECT_EQ(SaveFileDlg(nullptr, "Save", &name, "", gds_filter_, 0), 0);
    EXPECT_EQ(RunFileDlgBox(nullptr, "Save", &name, "", gds_filter_, 1), 0);
    EXPECT_EQ(name, Path("b.gds"));
  }
}

TEST_F(FileDialogTest, TemplateChoice) {
  const FileDialogHook hook = [](CFileDialogEx&, int) { return false; };
  const struct {
    bool old_style;
    uint32_t flags;
    std::string_view name;
    bool labels;
  } cases[] = {
      {false, 0, kFileTemplate95, true},
      {false, kFileDlgAllowMultiSelect, kFileTemplate95, true},
      {true, kFileDlgAllowMultiSelect, kFileTemplateMulti, false},
      {true, 0, kFileTemplate, false},
  };
  for (const auto& c : cases) {
    CTemplateFileDialog dialog(true, "", nullptr, c.flags, gds_filter_, nullptr, hook, c.old_style);
    EXPECT_EQ(dialog.template_name(), c.name);
    for (int id :
         {kTplImportButton, kTplImportFormat, kTplWorkingDirButton, kTplPgFileType, kTplUnit}) {
      QWidget* control = FindControl<QWidget>(&dialog, id);
      ASSERT_NE(control, nullptr) << c.name << " " << id;
      EXPECT_TRUE(control->isHidden()) << id;
    }
    for (int id : {kTplImportFormatLabel, kTplPgFileTypeLabel, kTplUnitLabel, kTplUseJobButton}) {
      EXPECT_EQ(FindControl<QWidget>(&dialog, id) != nullptr, c.labels) << c.name << " " << id;
    }
  }
  EXPECT_EQ(FindControl<QLabel>(&*std::make_unique<CTemplateFileDialog>(
                                    true, "", nullptr, 0, gds_filter_, nullptr, hook, false),
                                kTplUnitLabel)
                ->text(),
            "Unit:");
  // Without a hook the template's controls are not there.
  CTemplateFileDialog plain(true, "", nullptr, 0, gds_filter_, nullptr, nullptr, false);
  EXPECT_EQ(FindControl<QWidget>(&plain, kTplImportButton), nullptr);
}

TEST_F(FileDialogTest, HooksChainNewestFirst) {
  std::vector<std::string> calls;
  FileDialogHook first = [&](CFileDialogEx& dialog, int id) {
    calls.push_back("first " + std::to_string(id));
    if (id == kFileDlgHookInit) {
      FindControl<QComboBox>(&dialog, kTplUnit)->addItems({"mil", "micron"});
      FindControl<QWidget>(&dialog, kTplUnit)->show();
    }
    return id == kTplImportButton;
  };
  FileDialogHook second = [&](CFileDialogEx&, int id) {
    calls.push_back("second " + std::to_string(id));
    return id == kTplWorkingDirButton;
  };
  CTemplateFileDialog dialog(true, "", Path("b.gds").c_str(), 0, gds_filter_, nullptr, first,
                             false);
  WhenModal<QFileDialog>([](QFileDialog* shown) {
    EXPECT_TRUE(FindControl<QWidget>(shown, kTplUnit)->isVisible()) << "the hook showed it";
    EXPECT_TRUE(FindControl<QWidget>(shown, kTplImportButton)->isHidden());
    FindControl<QPushButton>(shown, kTplImportButton)->click();
    FindControl<QPushButton>(shown, kTplWorkingDirButton)->click();
    QComboBox* unit = FindControl<QComboBox>(shown, kTplUnit);
    emit unit->activated(1);
    shown->reject();
  });
  EXPECT_EQ(dialog.SetHook(second, "Open"), kAnswerCancel);
  EXPECT_EQ(calls, (std::vector<std::string>{"second 0", "first 0", "second 100", "first 100",
                                             "second 103", "second 106", "first 106"}));
}

TEST_F(FileDialogTest, FileExistsBoxButtons) {
  const struct {
    int mode;
    std::vector<std::pair<int, QString>> buttons;
    const char* name;
  } cases[] = {
      {-1, {{kFileBoxOk, "OK"}}, "FileDlgBox1"},
      {0, {{kFileBoxOk, "Overwrite"}, {kFileBoxCancel, "Cancel"}}, "FileDlgBox2"},
      {5,
       {{kFileBoxOk, "Overwrite"}, {kFileBoxBrowse, "Browse"}, {kFileBoxCancel, "Cancel"}},
       "FileDlgBox3"},
  };
  for (const auto& c : cases) {
    std::string name = Path("b.gds");
    WhenModal<QDialog>([&](QDialog* box) {
      EXPECT_EQ(box->objectName(), c.name);
      EXPECT_EQ(box->windowTitle(), "Save PG");
      EXPECT_EQ(FindControl<QLineEdit>(box, kFileBoxName)->text().toStdString(), name);
      EXPECT_EQ(FindControl<QLabel>(box, kFileBoxExists)->text(), "File already exist");
      EXPECT_EQ(box->findChildren<QPushButton*>().size(), c.buttons.size());
      for (const auto& [id, text] : c.buttons) {
        QPushButton* button = FindControl<QPushButton>(box, id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->text(), text);
      }
      EXPECT_TRUE(GrabShowsSomething(box));
      FindControl<QPushButton>(box, kFileBoxOk)->click();
    });
    EXPECT_EQ(RunFileDlgBox(nullptr, "Save PG", &name, "", gds_filter_, c.mode), 1) << c.mode;
  }
}

TEST_F(FileDialogTest, FileExistsBoxAnswers) {
  const struct {
    int mode;
    std::function<void(QDialog*)> act;
    int result;
    std::string name;
  } cases[] = {
      {0, [](QDialog* box) { PressKey(box, Qt::Key_Escape); }, 0, "b.gds"},
      {-1, [](QDialog* box) { PressKey(box, Qt::Key_Escape); }, 1, "b.gds"},
      {0,
       [](QDialog* box) {
         FindControl<QLineEdit>(box, kFileBoxName)->setText("edited.gds");
         FindControl<QPushButton>(box, kFileBoxOk)->click();
       },
       1, "edited.gds"},
      {1, [](QDialog* box) { FindControl<QPushButton>(box, kFileBoxCancel)->click(); }, 0, "b.gds"},
      {1, [](QDialog* box) { box->close(); }, 0, "b.gds"},
  };
  for (const auto& c : cases) {
    std::string name = "b.gds";
    WhenModal<QDialog>(c.act);
    EXPECT_EQ(RunFileDlgBox(nullptr, "Save", &name, "", gds_filter_, c.mode), c.result)
        << c.mode << " " << c.name;
    EXPECT_EQ(name, c.name);
  }
}

TEST_F(FileDialogTest, FileExistsBoxBrowsesWithTheSaveDialog) {
  std::string name = Path("b.gds");
  WhenModal<QDialog>([](QDialog* box) {
    WhenModal<QFileDialog>([](QFileDialog* save) {
      EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
      EXPECT_EQ(save->windowTitle(), "Save");
      EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));
      TypeNamesAndAccept(save, "other.gds");
    });
    FindControl<QPushButton>(box, kFileBoxBrowse)->click();
  });
  EXPECT_EQ(RunFileDlgBox(nullptr, "Save", &name, "gds", gds_filter_, 1), 1);
  EXPECT_EQ(name, Path("other.gds"));

  WhenModal<QDialog>([](QDialog* box) {
    WhenModal<QFileDialog>([](QFileDialog* save) { save->reject(); });
    FindControl<QPushButton>(box, kFileBoxBrowse)->click();
  });
  EXPECT_EQ(RunFileDlgBox(nullptr, "Save", &name, "gds", gds_filter_, 1), 0);
}

}  // namespace
}  // namespace kavrinth
