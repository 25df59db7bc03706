// Helpers of Corvane's window tests: a scratch set-up with the sample PG files in a
// directory with a blank in its name, a private settings store, and the user's actions on
// the file dialogs, buttons and fields.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <string>

#include "corvane/ui/commands.h"
#include "corvane/ui/control_panel.h"
#include "corvane/ui/main_window.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/qt/engine_progress_dialog.h"
#include "support/qt/tests/qt_test_support.h"

namespace kavrinth {

inline void TypeInto(QWidget* dialog, int id, const QString& text) {
  QLineEdit* edit = FindControl<QLineEdit>(dialog, id);
  ASSERT_NE(edit, nullptr) << id;
  edit->setFocus();
  edit->setText(text);
}

inline void Press(QWidget* dialog, int id) {
  QPushButton* button = FindControl<QPushButton>(dialog, id);
  ASSERT_NE(button, nullptr) << id;
  ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
  button->click();
}

class CorvaneWindowTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
    unsetenv("KAVRINTH_PROGRESS_FD");
    input_dir_ = Path("in put");
    work_dir_ = Path("work dir");
    std::filesystem::create_directories(input_dir_);
    std::filesystem::create_directories(work_dir_);
    std::filesystem::copy_file(SAMPLES_DIR "/demo.em", input_dir_ + "/demo.em");
    std::filesystem::copy_file(SAMPLES_DIR "/demo.dwm", input_dir_ + "/demo.dwm");
    notifier_scope_.emplace(&notifier_);
    // No engine run through the windows may hang a test: one still running after a minute
    // is cancelled and the test fails.
    QObject::connect(&watchdog_, &QTimer::timeout, [this] {
      auto* progress = qobject_cast<EngineProgressDialog*>(QApplication::activeModalWidget());
      if (!progress || !progress->running()) {
        engine_seen_.invalidate();
        return;
      }
      if (!engine_seen_.isValid()) engine_seen_.start();
      if (engine_seen_.elapsed() > 60000) {
        ADD_FAILURE() << "the engine ran too long";
        progress->CancelEngine();
        engine_seen_.invalidate();
      }
    });
    watchdog_.start(100);
  }
  void TearDown() override {
    watchdog_.stop();
    notifier_scope_.reset();
    unsetenv("XDG_CONFIG_HOME");
  }

  // Presses a control-panel button (which must be enabled).
  void PressPanel(CorvaneMainWindow& window, int id) { Press(window.panel(), id); }

  // Select EM/Mann Files through the panel: the dialog shows the input directory, and the
  // names are typed as a user picks them.
  void SelectFiles(CorvaneMainWindow& window, const QString& names) {
    WhenModal<QFileDialog>([this, names](QFileDialog* dialog) {
      dialog->setDirectory(QString::fromStdString(input_dir_));
      TypeNamesAndAccept(dialog, names);
    });
    PressPanel(window, kPanelSelectFiles);
  }

  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const Message& message : notifier_.shown) texts.push_back(message.text);
    return texts;
  }

  std::string input_dir_;
  std::string work_dir_;
  ScriptedNotifier notifier_;
  std::optional<ScopedNotifier> notifier_scope_;
  QTimer watchdog_;
  QElapsedTimer engine_seen_;
};

}  // namespace kavrinth
