// The About box: the program's name and version, and a credits panel that a double-click
// on the box shows and a double-click on the credits hides again.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kavrinth {

// The credits' state, kept for the whole run: not prepared, prepared, shown.
enum class CreditsState { kNotPrepared = 0, kPrepared = 1, kShown = 2 };

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);

  static CreditsState credits_state();
  QLabel* credits() const { return credits_; }
  QPushButton* ok() const { return ok_; }

  // OK forgets the prepared credits.
  void accept() override;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowCredits(bool show);

  QLabel* credits_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace kavrinth
