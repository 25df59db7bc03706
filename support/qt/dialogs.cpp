// Dialog mode, control names and the program's QApplication.
#include "support/qt/dialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <clocale>
#include <cstdlib>
#include <string>

#include "support/notifier.h"
#include "support/qt/message_box.h"

namespace kavrinth {
namespace {

DialogMode dialog_mode = DialogMode::kAuto;

// The platforms Qt offers for running without anybody to look at the windows.
bool IsHeadlessPlatform(const QString& name) {
  return name == QLatin1String("offscreen") || name == QLatin1String("minimal");
}

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

void SetDialogMode(DialogMode mode) { dialog_mode = mode; }
DialogMode GetDialogMode() { return dialog_mode; }

bool HasDisplay() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
         !IsHeadlessPlatform(QGuiApplication::platformName());
}

bool DialogsInteractive() {
  switch (dialog_mode) {
    case DialogMode::kInteractive:
      return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    case DialogMode::kHeadless:
      return false;
    case DialogMode::kAuto:
      break;
  }
  return HasDisplay();
}

int RunModal(QDialog& dialog, int headless_result) {
  if (!DialogsInteractive()) return headless_result;
  return dialog.exec();
}

QString ControlObjectName(int id) { return QStringLiteral("id%1").arg(id); }

QDialogButtonBox* OkCancelButtons(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
  ok->setObjectName(ControlObjectName(kAnswerOk));
  ok->setAccessibleName("OK");
  cancel->setObjectName(ControlObjectName(kAnswerCancel));
  cancel->setAccessibleName("Cancel");
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

void SetWindowTextLiteral(QWidget* window, std::string_view text) {
  QString title = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
  window->setWindowTitle(title);
}

std::unique_ptr<QApplication> CreateApplication(int& argc, char** argv) {
  if (!EnvironmentSet("QT_QPA_PLATFORM") && !EnvironmentSet("DISPLAY") &&
      !EnvironmentSet("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  auto application = std::make_unique<QApplication>(argc, argv);
  // Qt sets the locale from the environment; numbers in files never follow it.
  std::setlocale(LC_NUMERIC, "C");
  static QtNotifier notifier;
  SetNotifier(&notifier);
  return application;
}

}  // namespace kavrinth
