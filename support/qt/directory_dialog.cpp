// The Directory dialog on the file system's own listing.
#include "support/qt/directory_dialog.h"

#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "platform/files.h"
#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"

namespace kavrinth {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The absolute, lexically normal form of a typed path, relative ones taken from the
// directory listed.
std::string Absolute(const std::string& base, const std::string& typed) {
  std::filesystem::path path(NativePath(typed));
  if (path.is_relative()) path = std::filesystem::path(base) / path;
  std::string text = path.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

CDirectoryDlg::CDirectoryDlg(QWidget* owner, const std::string& old_directory) : QDialog(owner) {
  setWindowTitle("Directory");
  auto* layout = new QVBoxLayout(this);
  auto* old_box = new QGroupBox(" Old Directory ", this);
  auto* old_layout = new QVBoxLayout(old_box);
  old_edit_ = new QLineEdit(Q(old_directory), old_box);
  old_edit_->setReadOnly(true);
  old_edit_->setObjectName(ControlObjectName(kDirOld));
  old_edit_->setAccessibleName("Old Directory");
  old_layout->addWidget(old_edit_);
  auto* new_box = new QGroupBox(" New Directory ", this);
  auto* new_layout = new QGridLayout(new_box);
  new_edit_ = new QLineEdit(new_box);
  new_edit_->setObjectName(ControlObjectName(kDirNew));
  new_edit_->setAccessibleName("New Directory");
  directories_ = new QListWidget(new_box);
  directories_->setObjectName(ControlObjectName(kDirList));
  directories_->setAccessibleName("Directories");
  places_ = new QListWidget(new_box);
  places_->setObjectName(ControlObjectName(kDirPlaces));
  places_->setAccessibleName("Places");
  new_layout->addWidget(new_edit_, 0, 0, 1, 2);
  new_layout->addWidget(directories_, 1, 0);
  new_layout->addWidget(places_, 1, 1);
  layout->addWidget(old_box);
  layout->addWidget(new_box);
  layout->addWidget(OkCancelButtons(this));
  connect(directories_, &QListWidget::itemActivated, this, &CDirectoryDlg::OnDirectoryActivated);
  connect(places_, &QListWidget::itemActivated, this, &CDirectoryDlg::OnPlaceActivated);
  new_edit_->installEventFilter(this);

  places_->addItem("/");
  places_->addItem(QDir::homePath());
  std::error_code error;
  std::string start = std::filesystem::current_path(error).string();
  if (!old_directory.empty() && DirExists(old_directory)) start = old_directory;
  if (start.empty() || !List(Absolute("/", start))) List("/");
}

bool CDirectoryDlg::List(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(path, error)) return false;
  std::vector<QString> names;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
    std::error_code kind_error;
    if (it->is_directory(kind_error)) names.push_back(Q(it->path().filename().string()));
  }
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  directories_->clear();
  if (path != "/") directories_->addItem("..");
  for (const QString& name : names) directories_->addItem(name);
  listed_ = path;
  new_edit_->setText(Q(path));
  return true;
}

void CDirectoryDlg::OnDirectoryActivated() {
  if (QListWidgetItem* item = directories_->currentItem()) {
    List(Absolute(listed_, item->text().toStdString()));
  }
}

void CDirectoryDlg::OnPlaceActivated() {
  if (QListWidgetItem* item = places_->currentItem()) List(item->text().toStdString());
}

bool CDirectoryDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == new_edit_ && event->type() == QEvent::FocusOut) OnPathKillFocus();
  return QDialog::eventFilter(watched, event);
}

void CDirectoryDlg::OnPathKillFocus() {
  const std::string typed = new_edit_->text().trimmed().toStdString();
  if (!typed.empty()) List(Absolute(listed_, typed));
}

void CDirectoryDlg::accept() {
  const std::string typed = new_edit_->text().trimmed().toStdString();
  const std::string path = typed.empty() ? listed_ : Absolute(listed_, typed);
  if (!DirExists(path)) {
    ShowMessage(typed + ".  The directory does not exist.", "Directory", MessageIcon::kWarning);
    new_edit_->setFocus();
    return;
  }
  new_directory_ = path;
  QDialog::accept();
}

}  // namespace kavrinth
