// The control panel's buttons.
#include "tabrun/ui/control_panel.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "support/qt/dialogs.h"
#include "tabrun/ui/commands.h"

namespace kavrinth {

CControlDlg::CControlDlg(QWidget* owner, std::function<void(int)> send)
    : QDialog(owner, Qt::Tool), send_(std::move(send)) {
  struct Button {
    int id;
    const char* text;
    int command;  // 0: the close request of the main window
    bool enabled;
  };
  static const Button kButtons[] = {
      {kPanelSelectGds, "Select GDS File", kCmdSelectGdsFile, true},
      {kPanelStructure, "Structure", kCmdStructure, false},
      {kPanelConfiguration, "Configuration", kCmdConfiguration, false},
      {kPanelLayers, "Layers", kCmdLayers, false},
      {kPanelTranslate, "Translate", kCmdTranslate, false},
      {kPanelViewPg, "View PG Files", kCmdViewPg, false},
      {kPanelViewGds, "View GDS File", kCmdViewGds, false},
      {kPanelQuit, "Quit", kCmdExit, true},
  };
  auto* layout = new QVBoxLayout(this);
  for (const Button& b : kButtons) {
    auto* button = new QPushButton(QString::fromUtf8(b.text), this);
    button->setObjectName(ControlObjectName(b.id));
    button->setAccessibleName(QString::fromUtf8(b.text));
    button->setEnabled(b.enabled);
    button->setAutoDefault(false);
    const int command = b.command;
    connect(button, &QPushButton::clicked, this, [this, command] { send_(command); });
    layout->addWidget(button);
  }
}

void CControlDlg::EnableButton(int button_id, bool enabled) {
  if (auto* button = FindControl<QPushButton>(this, button_id)) button->setEnabled(enabled);
}

bool CControlDlg::ButtonEnabled(int button_id) const {
  const auto* button = FindControl<QPushButton>(this, button_id);
  return button != nullptr && button->isEnabled();
}

void CControlDlg::closeEvent(QCloseEvent* event) {
  // The panel's own close box hides it through the menu command, which unticks the item.
  event->ignore();
  send_(kCmdToggleControlDialog);
}

void CControlDlg::reject() { send_(kCmdToggleControlDialog); }

}  // namespace kavrinth
