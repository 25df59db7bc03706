// Structure Selection, Information and Dependencies.
#include "tabrun/ui/structure_dialogs.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"
#include "support/qt/text_edit.h"

namespace kavrinth {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QPushButton* Button(QWidget* owner, int id, const char* text) {
  auto* button = new QPushButton(text, owner);
  button->setObjectName(ControlObjectName(id));
  button->setAccessibleName(QString(text).remove('&').remove("..."));
  button->setAutoDefault(false);
  return button;
}

QLineEdit* Field(QWidget* owner, QFormLayout* form, int id, const char* label) {
  auto* edit = new QLineEdit(owner);
  edit->setReadOnly(true);
  edit->setObjectName(ControlObjectName(id));
  edit->setAccessibleName(label);
  form->addRow(label, edit);
  return edit;
}

}  // namespace

CStructInfoDlg::CStructInfoDlg(QWidget* owner, const ScanModel& scan)
    : QDialog(owner, Qt::Tool), scan_(scan) {
  setWindowTitle("Structure Information");
  auto* form = new QFormLayout(this);
  Field(this, form, kInfoMin, "Min (X , Y)");
  Field(this, form, kInfoMax, "Max (X , Y)");
  Field(this, form, kInfoBoundary, "Boundary");
  Field(this, form, kInfoPath, "Path");
  Field(this, form, kInfoSRef, "SRef");
  Field(this, form, kInfoARef, "ARef");
  Field(this, form, kInfoText, "Text");
  QPushButton* close = Button(this, 2, "Close");
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  form->addRow(close);
}

void CStructInfoDlg::ShowStructure(const std::string& name) {
  setWindowTitle(Q("Structure Information - " + name));
  const int index = scan_.Find(name);
  ScanStructure s;
  if (index >= 0) s = scan_.structures[static_cast<size_t>(index)];
  auto set = [&](int id, const std::string& text) {
    if (auto* edit = FindControl<QLineEdit>(this, id)) edit->setText(Q(text));
  };
  set(kInfoMin, "(" + scan_.FormatUserUnits(s.extents[0]) + " , " +
                    scan_.FormatUserUnits(s.extents[1]) + ")");
  set(kInfoMax, "(" + scan_.FormatUserUnits(s.extents[2]) + " , " +
                    scan_.FormatUserUnits(s.extents[3]) + ")");
  set(kInfoBoundary, std::to_string(s.counts[kCountBoundary]));
  set(kInfoPath, std::to_string(s.counts[kCountPath]));
  set(kInfoSRef, std::to_string(s.counts[kCountSRef]));
  set(kInfoARef, std::to_string(s.counts[kCountARef]));
  set(kInfoText, std::to_string(s.counts[kCountText]));
}

CStructDependDlg::CStructDependDlg(QWidget* owner, const ScanModel& scan)
    : QDialog(owner, Qt::Tool), scan_(scan) {
  setWindowTitle("Structure Dependencies");
  auto* layout = new QVBoxLayout(this);
  text_ = new PasteGuardedTextEdit(this);
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setObjectName(ControlObjectName(kDependText));
  text_->setAccessibleName("Structure Dependencies");
  QFont fixed("Monospace");
  fixed.setStyleHint(QFont::TypeWriter);
  text_->setFont(fixed);
  layout->addWidget(text_);
  QPushButton* close = Button(this, 2, "Close");
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  layout->addWidget(close);
  resize(400, 300);
}

void CStructDependDlg::ShowStructure(const std::string& name) {
  std::string text = scan_.Dependencies(name);
  // The view shows LF line ends.
  std::string shown;
  for (char c : text) {
    if (c != '\r') shown += c;
  }
  text_->setPlainText(Q(shown));
}

CStructSelectDlg::CStructSelectDlg(QWidget* owner, TabrunJob* job, std::string report_dir,
                                   std::string template_path, std::function<void()> refresh)
    : QDialog(owner),
      job_(job),
      report_dir_(std::move(report_dir)),
      template_path_(std::move(template_path)),
      refresh_(std::move(refresh)) {
  setWindowTitle("Structure Selection");
  setModal(false);
  auto* layout = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  name_ = new QLineEdit(this);
  name_->setObjectName(ControlObjectName(kStructName));
  name_->setAccessibleName("Structure name");
  name_->setMaxLength(static_cast<int>(kScanNameLength));
  list_ = new QListWidget(this);
  list_->setObjectName(ControlObjectName(kStructList));
  list_->setAccessibleName("Structures");
  list_->setSortingEnabled(true);
  left->addWidget(name_);
  left->addWidget(list_);
  layout->addLayout(left);
  auto* right = new QVBoxLayout;
  QPushButton* ok = Button(this, 1, "OK");
  QPushButton* cancel = Button(this, 2, "Cancel");
  QPushButton* info = Button(this, kStructInfo, "Info...");
  QPushButton* depend = Button(this, kStructDependence, "Dependence...");
  QPushButton* report = Button(this, kStructReport, "Report...");
  for (QPushButton* b : {ok, cancel, info, depend, report}) right->addWidget(b);
  right->addStretch();
  layout->addLayout(right);
  connect(ok, &QPushButton::clicked, this, &CStructSelectDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CStructSelectDlg::reject);

  info_ = new CStructInfoDlg(this, job_->scan);
  depend_ = new CStructDependDlg(this, job_->scan);
  connect(info, &QPushButton::clicked, this, [this] {
    info_->ShowStructure(selected_);
    info_->show();
  });
  connect(depend, &QPushButton::clicked, this, [this] {
    depend_->ShowStructure(selected_);
    depend_->show();
  });
  connect(report, &QPushButton::clicked, this, &CStructSelectDlg::OnReport);
  connect(list_, &QListWidget::currentTextChanged, this, [this](const QString& text) {
    if (suspended_ || text.isEmpty()) return;
    suspended_ = true;
    name_->setText(text);
    suspended_ = false;
    Select(text.toStdString());
  });
  connect(list_, &QListWidget::itemDoubleClicked, this, &CStructSelectDlg::accept);
  connect(name_, &QLineEdit::textEdited, this, [this](const QString& typed) {
    // Structure names are typed in capitals.
    const QString upper = typed.toUpper();
    if (upper != typed) {
      const int cursor = name_->cursorPosition();
      name_->setText(upper);
      name_->setCursorPosition(cursor);
    }
    if (suspended_ || job_->scan.Find(upper.toStdString()) < 0) return;
    const QList<QListWidgetItem*> items = list_->findItems(upper, Qt::MatchExactly);
    suspended_ = true;
    if (!items.isEmpty()) list_->setCurrentItem(items.front());
    suspended_ = false;
    Select(upper.toStdString());
  });

  for (const ScanStructure& s : job_->scan.structures) list_->addItem(Q(s.name));
  name_->setText(Q(job_->scan.top));
  selected_ = job_->scan.top;
  const QList<QListWidgetItem*> items = list_->findItems(Q(job_->scan.top), Qt::MatchExactly);
  suspended_ = true;
  if (!items.isEmpty()) list_->setCurrentItem(items.front());
  suspended_ = false;
}

void CStructSelectDlg::Select(const std::string& name) {
  selected_ = name;
  job_->scan.MarkHierarchy(name);
  if (info_->isVisible()) info_->ShowStructure(name);
  if (depend_->isVisible()) depend_->ShowStructure(name);
}

std::string CStructSelectDlg::ReportPath() const { return MakePath(report_dir_, "gdsstrct.rpt"); }

void CStructSelectDlg::OnReport() {
  const std::string kept = job_->scan.top;
  job_->scan.top = selected_;
  const std::string report = ReportPath();
  const int result = ExpandReportTemplate(template_path_, report, job_->scan, job_->gds_path);
  job_->scan.top = kept;
  if (result != 0) {
    ShowMessage("The structure report " + report + " could not be written from the template " +
                    template_path_ + ".",
                "Tabrun", MessageIcon::kWarning);
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(Q(report)))) {
    ShowMessage("The structure report is in " + report +
                    ".\nNo program to show text files was found on this desktop.",
                "Tabrun", MessageIcon::kInformation);
  }
}

void CStructSelectDlg::accept() {
  const int index = job_->scan.Find(selected_);
  int total = 0;
  if (index >= 0) {
    for (int32_t count : job_->scan.structures[static_cast<size_t>(index)].counts) total += count;
  }
  if (index < 0 || total == 0) {
    ShowMessage("Structure '" + selected_ + "' is empty.", "Tabrun", MessageIcon::kWarning);
    // The job is refreshed all the same, with the structure chosen before. The dialog stays
    // on the structure shown, and so do the hierarchy marks, which its report tabulates.
    if (refresh_) refresh_();
    return;
  }
  job_->scan.top = selected_;
  job_->scan.MarkHierarchy(selected_);
  info_->hide();
  depend_->hide();
  QDialog::accept();
  if (refresh_) refresh_();
}

void CStructSelectDlg::reject() {
  job_->scan.MarkHierarchy(job_->scan.top);
  info_->hide();
  depend_->hide();
  QDialog::reject();
}

}  // namespace kavrinth
