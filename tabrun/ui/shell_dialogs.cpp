// Directory dialog, debug command dialog, Continue prompt and About box.
#include "tabrun/ui/shell_dialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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

CDirectoryDlg::CDirectoryDlg(QWidget* owner, const std::string& old_directory) : QDialog(owner) {
  setWindowTitle("Directory");
  auto* layout = new QVBoxLayout(this);
  auto* old_group = new QGroupBox(" Old Directory ", this);
  auto* old_layout = new QVBoxLayout(old_group);
  auto* old_edit = new QLineEdit(Q(old_directory), old_group);
  old_edit->setReadOnly(true);
  old_edit->setObjectName(ControlObjectName(kDirOld));
  old_edit->setAccessibleName("Old Directory");
  old_layout->addWidget(old_edit);
  layout->addWidget(old_group);
  auto* new_group = new QGroupBox(" New Directory ", this);
  auto* new_layout = new QVBoxLayout(new_group);
  edit_ = new QLineEdit(new_group);
  edit_->setObjectName(ControlObjectName(kDirNew));
  edit_->setAccessibleName("New Directory");
  list_ = new QListWidget(new_group);
  list_->setObjectName(ControlObjectName(kDirList));
  list_->setAccessibleName("Directories");
  new_layout->addWidget(edit_);
  new_layout->addWidget(list_);
  layout->addWidget(new_group);
  layout->addWidget(OkCancelButtons(this));
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    Fill(QDir(edit_->text()).absoluteFilePath(item->text()));
  });
  // Enter in the field takes the typed path (OK) rather than a list entry.
  connect(edit_, &QLineEdit::returnPressed, this, &CDirectoryDlg::accept);
  Fill(old_directory.empty() ? QDir::currentPath() : Q(old_directory));
}

void CDirectoryDlg::Fill(const QString& directory) {
  const QString clean = QDir::cleanPath(QDir(directory).absolutePath());
  edit_->setText(clean);
  list_->clear();
  QDir dir(clean);
  if (!dir.exists()) return;
  if (!dir.isRoot()) list_->addItem("..");
  for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    list_->addItem(name);
  }
}

void CDirectoryDlg::accept() {
  const QString typed = edit_->text().trimmed();
  const QFileInfo info(typed);
  if (typed.isEmpty() || !info.isDir()) {
    ShowMessage(typed.toStdString() + ".  The directory does not exist.",
                windowTitle().toStdString(), MessageIcon::kWarning);
    edit_->setFocus();
    return;
  }
  new_directory_ = info.canonicalFilePath().toStdString();
  QDialog::accept();
}

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
