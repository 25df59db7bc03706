// Debug command dialog, Continue prompt and About box.
#include "tabrun/ui/shell_dialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/qt/text_edit.h"
#include "support/version.h"

#ifndef KAVRINTH_VERSION
#define KAVRINTH_VERSION "0"
#endif

namespace kavrinth {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CDebugTextDlg::CDebugTextDlg(QWidget* owner, const std::string& command_line) : QDialog(owner) {
  setWindowTitle("Tabrun Debug");
  auto* layout = new QVBoxLayout(this);
  auto* edit = new QLineEdit(Q(command_line), this);
  edit->setObjectName(ControlObjectName(kDebugCommand));
  edit->setAccessibleName("Command line");
  edit->setMinimumWidth(600);
  layout->addWidget(edit);
  layout->addWidget(OkCancelButtons(this));
}

CPromptDlg::CPromptDlg(QWidget* owner, const std::string& text) : QDialog(owner) {
  setWindowTitle("Tabrun");
  auto* layout = new QVBoxLayout(this);
  auto* view = new PasteGuardedTextEdit(Q(text), this);
  view->setReadOnly(true);
  view->setObjectName(ControlObjectName(kPromptText));
  view->setAccessibleName("Prompt");
  layout->addWidget(view);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* yes = buttons->addButton("&Yes", QDialogButtonBox::YesRole);
  QPushButton* no = buttons->addButton("&No", QDialogButtonBox::NoRole);
  yes->setObjectName(ControlObjectName(1));
  yes->setAccessibleName("Yes");
  no->setObjectName(ControlObjectName(2));
  no->setAccessibleName("No");
  connect(yes, &QPushButton::clicked, this, &QDialog::accept);
  connect(no, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(buttons);
}

CAboutDlg::CAboutDlg(QWidget* owner) : QDialog(owner) {
  setWindowTitle("About Tabrun");
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QString("Tabrun, the GDSII to PG shell of Kavrinth\nVersion %1")
                              .arg(QString::fromStdString(ProgramVersionText())),
                          this);
  text->setAccessibleName("About Tabrun");
  layout->addWidget(text);
  credits_ = new QLabel("Credits: the Kavrinth mask data preparation team", this);
  credits_->setObjectName(ControlObjectName(kAboutCredits));
  credits_->setAccessibleName("Credits");
  credits_->hide();
  layout->addWidget(credits_);
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName(ControlObjectName(1));
  ok_->setAccessibleName("OK");
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok_);
}

void CAboutDlg::mouseDoubleClickEvent(QMouseEvent*) {
  // A double-click shows the credits and disables OK; another one puts the box back.
  const bool show_credits = credits_->isHidden();
  credits_->setVisible(show_credits);
  ok_->setEnabled(!show_credits);
}

}  // namespace kavrinth
