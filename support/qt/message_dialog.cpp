// The message dialog.
#include "support/qt/message_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "support/messages.h"
#include "support/qt/dialogs.h"
#include "support/qt/progress_dialog.h"

namespace kavrinth {
namespace {

struct IconName {
  std::string_view name;
  QStyle::StandardPixmap pixmap;
};

constexpr std::array<IconName, 4> kIconNames = {{
    {"info", QStyle::SP_MessageBoxInformation},
    {"question", QStyle::SP_MessageBoxQuestion},
    {"warning", QStyle::SP_MessageBoxWarning},
    {"stop", QStyle::SP_MessageBoxCritical},
}};

constexpr std::array<int, 4> kTextIds = {kMsgDlgText1, kMsgDlgText2, kMsgDlgText3, kMsgDlgText4};
constexpr int kFirstCloseCommand = 1;
constexpr int kLastCloseCommand = 7;
constexpr int kIconSize = 32;

const IconName* FindIcon(const char* name) {
  if (!name) return nullptr;
  for (const IconName& icon : kIconNames) {
    if (icon.name == name) return &icon;
  }
  return nullptr;
}

QLabel* AddLine(QWidget* dialog, QLayout* layout, int id, const char* text) {
  auto* line = new QLabel(QString::fromUtf8(text ? text : ""), dialog);
  line->setObjectName(ControlObjectName(id));
  layout->addWidget(line);
  return line;
}

}  // namespace

MsgDlgBox::MsgDlgBox(QWidget* owner, std::string_view title, const MsgDlgTexts& texts)
    : QDialog(owner) {
  setObjectName(QStringLiteral("MsgDlgBox1"));
  const QString title_text = QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
  const IconName* icon = FindIcon(texts[4]);
  auto* row = new QHBoxLayout(this);
  auto* icon_label = new QLabel(this);
  icon_label->setObjectName(ControlObjectName(kMsgDlgIcon));
  if (icon) {
    icon_label->setPixmap(style()->standardIcon(icon->pixmap).pixmap(kIconSize, kIconSize));
  } else {
    icon_label->hide();
  }
  row->addWidget(icon_label, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout();
  row->addLayout(column);
  QLabel* heading = AddLine(this, column, kMsgDlgHeading, nullptr);
  // With an icon the title is the dialog's heading; otherwise the window's title.
  if (icon) {
    heading->setText(title_text);
  } else {
    heading->hide();
    setWindowTitle(title_text);
  }
  for (size_t i = 0; i < kTextIds.size(); ++i) AddLine(this, column, kTextIds[i], texts[i]);
  auto* ok = new QPushButton(QString::fromUtf8(LoadMessageText(kMessageButtonOk)), this);
  ok->setObjectName(ControlObjectName(kMsgDlgOk));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { Command(kMsgDlgOk); });
  column->addWidget(ok, 0, Qt::AlignHCenter);
}

void MsgDlgBox::Command(int command) {
  if (command >= kFirstCloseCommand && command <= kLastCloseCommand) CloseWith(command);
}

void MsgDlgBox::SetFlags(uint32_t flags, int interval_ms) {
  flags_ = flags;
  if (!(flags_ & kMsgDlgTimer)) return;
  if (!timer_) {
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] { CloseWith(0); });
  }
  timer_->start(interval_ms);
}

void MsgDlgBox::reject() { Command(2); }

void MsgDlgBox::CloseWith(int result) {
  if (timer_) timer_->stop();
  if (flags_ & kMsgDlgModeless) {
    setResult(result);
    hide();
    deleteLater();
    return;
  }
  done(result);
}

int MsgDlgBoxModal(QWidget* owner, std::string_view title, const MsgDlgTexts& texts) {
  MsgDlgBox box(owner, title, texts);
  return RunModal(box, kMsgDlgOk);
}

QPointer<MsgDlgBox> MsgDlgBoxModeless(QWidget* owner, std::string_view title,
                                      const MsgDlgTexts& texts, uint32_t flags,
                                      uint32_t timer_value) {
  auto* box = new MsgDlgBox(owner, title, texts);
  box->SetFlags(flags | kMsgDlgModeless, static_cast<int>(timer_value & 0xFFFFu));
  box->show();
  return box;
}

void MsgDlgBoxClose(QPointer<MsgDlgBox>& window) { DestroyDlgWindow(window); }

}  // namespace kavrinth
