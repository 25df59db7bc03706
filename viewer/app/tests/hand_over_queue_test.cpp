// Hand-overs that cannot open, run in the viewer's window with its real message boxes: the
// open job stays, and those that wait together are named in one box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/notifier.h"
#include "support/qt/message_box.h"
#include "viewer/app/lumra_app.h"
#include "viewer/app/main_frame.h"
#include "viewer/app/tests/vexil_test_support.h"
#include "viewer/app/viewer_state.h"
#include "viewer/model/layer_table.h"

namespace kavrinth {
namespace {

// Answers every modal window the viewer shows, as a user clicking OK (or Cancel on a
// dialog) does, and keeps what each said. When the next box shows, while_first_shows
// runs once (more starts arriving while the user reads it).
class ModalAnswerer {
 public:
  ModalAnswerer() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) return;
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.push_back(box->text().toStdString());
        if (while_first_shows) std::exchange(while_first_shows, nullptr)();
        box->accept();
      } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        seen.push_back("dialog " + dialog->windowTitle().toStdString());
        dialog->reject();
      }
    });
    timer_.start();
  }
  std::vector<std::string> seen;
  std::function<void()> while_first_shows;

 private:
  QTimer timer_;
};

class HandOverQueueTest : public VexilAppTest {
 protected:
  HandOverRequest OpenRequest(const std::string& file) const {
    return HandOverRequest{HandOverRequest::kOpen, temp_.path(), {"vexil", file}};
  }
  std::string Title() const { return frame()->windowTitle().toStdString(); }
  static void Settle(int ms = 300) {
    WaitFor([] { return false; }, ms);
  }
  // The job a.em was opened in, still there and shown.
  void ExpectJobA() const {
    EXPECT_TRUE(AppState().job_loaded);
    EXPECT_EQ(AppState().current_job_path, Path("a.job"));
    EXPECT_EQ(Title(), "Vexil - a.job");
    EXPECT_EQ(LayerTable()[0].path, "a.em");
  }

  QtNotifier boxes_;
  ScopedNotifier scoped_boxes_{&boxes_};
};

TEST_F(HandOverQueueTest, MissingFilesKeepTheJobAndThoseWaitingTogetherShareOneMessage) {
  WriteFile("a.em", kSmallEmFile);
  WriteFile("b.em", kSmallEmFile);
  Start({"vexil", "a.em"});
  ASSERT_TRUE(WaitDrawn());
  ModalAnswerer user;
  // While the first box is read, two more starts name files that are not there either.
  user.while_first_shows = [this] {
    app_->QueueHandOver(OpenRequest("gone2.em"));
    app_->QueueHandOver(OpenRequest("gone3.em"));
  };
  app_->QueueHandOver(OpenRequest("gone1.em"));
  ASSERT_TRUE(WaitFor([&] { return user.seen.size() >= 2 && app_->pending_requests() == 0; }));
  Settle();
  ASSERT_EQ(user.seen.size(), 2u) << ::testing::PrintToString(user.seen);
  EXPECT_EQ(user.seen[0], "The file gone1.em does not exist.");
  EXPECT_EQ(user.seen[1],
            "2 files handed over were not opened:\nThe file gone2.em does not exist.\n"
            "The file gone3.em does not exist.");
  ExpectJobA();
  EXPECT_FALSE(std::filesystem::exists(Path("gone1.job")));

  // A good one among missing ones opens after the one box that names the others.
  user.seen.clear();
  app_->QueueHandOver(OpenRequest("gone4.em"));
  app_->QueueHandOver(OpenRequest("b.em"));
  app_->QueueHandOver(OpenRequest("gone5.em"));
  ASSERT_TRUE(WaitFor([&] { return AppState().current_job_path == Path("b.job"); }));
  ASSERT_TRUE(WaitDrawn());
  Settle();
  EXPECT_EQ(user.seen, (std::vector<std::string>{
                           "2 files handed over were not opened:\nThe file gone4.em does not "
                           "exist.\nThe file gone5.em does not exist."}));
  EXPECT_EQ(Title(), "Vexil - b.job");
}

// A job file holds one line per data file: a name with a line break cannot be entered, and
// the viewer says so instead of opening an empty job.
TEST_F(HandOverQueueTest, DataFileWithALineBreakInItsNameIsRefusedWithAMessage) {
  const std::string name = "two\nlines.em";
  WriteFile(name, kSmallEmFile);
  WriteFile("a.em", kSmallEmFile);
  const std::string expected =
      "The name of the file two\\nlines.em holds a line break, which a job file cannot hold; "
      "the file was not opened.";
  {
    SCOPED_TRACE("named at start-up");
    ModalAnswerer user;
    Start({"vexil", name});
    ASSERT_TRUE(WaitFor([&] { return !user.seen.empty(); }));
    Settle();
    EXPECT_EQ(user.seen, std::vector<std::string>{expected});
    EXPECT_FALSE(AppState().job_loaded);
    EXPECT_EQ(Title(), "Vexil");
  }
  {
    SCOPED_TRACE("handed over");
    ModalAnswerer user;
    app_->QueueHandOver(OpenRequest("a.em"));
    ASSERT_TRUE(WaitDrawn());
    app_->QueueHandOver(OpenRequest(name));
    ASSERT_TRUE(WaitFor([&] { return !user.seen.empty(); }));
    Settle();
    EXPECT_EQ(user.seen, std::vector<std::string>{expected});
    ExpectJobA();
  }
  EXPECT_FALSE(std::filesystem::exists(Path("two\nlines.job")));
}

}  // namespace
}  // namespace kavrinth
