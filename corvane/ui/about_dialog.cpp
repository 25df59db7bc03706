// The About box and its credits panel.
#include "corvane/ui/about_dialog.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "corvane/ui/commands.h"
#include "support/qt/dialogs.h"
#include "support/version.h"

namespace kavrinth {

namespace {

CreditsState credits_state_ = CreditsState::kNotPrepared;

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About CORVANE");
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QString::fromStdString("CORVANE\nEM/Mann to GDSII translation\nVersion " +
                                                 ProgramVersionText() +
                                                 "\n\nKavrinth photomask data preparation\n"
                                                 "(double-click for the credits)"),
                          this);
  text->setAccessibleName("About");
  layout->addWidget(text);
  credits_ = new QLabel(
      "Credits\n\nThe Kavrinth team: engines, shells and viewer\nfor mask and layout engineers.",
      this);
  credits_->setAccessibleName("Credits");
  credits_->setFrameShape(QFrame::Panel);
  credits_->setAlignment(Qt::AlignCenter);
  credits_->installEventFilter(this);
  credits_->hide();
  layout->addWidget(credits_);
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName(ControlObjectName(kIdOk));
  ok_->setAccessibleName("OK");
  ok_->setDefault(true);
  layout->addWidget(ok_);
  connect(ok_, &QPushButton::clicked, this, &AboutDialog::accept);
  // A box opened while the credits were shown starts with them shown.
  if (credits_state_ == CreditsState::kShown) ShowCredits(true);
}

CreditsState AboutDialog::credits_state() { return credits_state_; }

void AboutDialog::ShowCredits(bool show) {
  credits_->setVisible(show);
  ok_->setEnabled(!show);
  adjustSize();
}

void AboutDialog::mouseDoubleClickEvent(QMouseEvent* event) {
  if (credits_state_ == CreditsState::kNotPrepared) credits_state_ = CreditsState::kPrepared;
  if (credits_state_ == CreditsState::kPrepared) {
    ShowCredits(true);
    credits_state_ = CreditsState::kShown;
  }
  QDialog::mouseDoubleClickEvent(event);
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == credits_ && event->type() == QEvent::MouseButtonDblClick &&
      credits_state_ == CreditsState::kShown) {
    ShowCredits(false);
    credits_state_ = CreditsState::kPrepared;
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void AboutDialog::accept() {
  credits_state_ = CreditsState::kNotPrepared;
  QDialog::accept();
}

}  // namespace kavrinth
