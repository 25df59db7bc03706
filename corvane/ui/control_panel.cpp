// The control panel's buttons and what they send.
#include "corvane/ui/control_panel.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "corvane/ui/commands.h"
#include "support/qt/dialogs.h"

namespace kavrinth {

namespace {

struct PanelRow {
  int id;
  const char* text;
  int command;  // 0: close the program
  bool enabled_at_start;
};

constexpr PanelRow kPanelRows[] = {
    {kPanelSelectFiles, "Select EM/Mann Files", kCmdSelectFiles, true},
    {kPanelConfiguration, "Configuration", kCmdConfiguration, false},
    {kPanelLayers, "Layers", kCmdLayers, false},
    {kPanelTranslate, "Translate", kCmdTranslate, false},
    {kPanelViewGds, "View GDS File", kCmdViewGds, false},
    {kPanelViewEmMann, "View EM/Mann Files", kCmdViewEmMann, false},
    {kPanelQuit, "Quit", 0, true},
};

}  // namespace

ControlPanel::ControlPanel(QWidget* owner, std::function<void(int)> send,
                           std::function<void()> quit)
    : QDialog(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      send_(std::move(send)) {
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  for (const PanelRow& row : kPanelRows) {
    auto* button = new QPushButton(row.text, this);
    button->setObjectName(ControlObjectName(row.id));
    button->setAccessibleName(row.text);
    button->setAutoDefault(false);
    button->setEnabled(row.enabled_at_start);
    button->setMinimumWidth(170);
    layout->addWidget(button);
    if (row.command != 0) {
      connect(button, &QPushButton::clicked, this,
              [this, command = row.command] { send_(command); });
    } else {
      connect(button, &QPushButton::clicked, this, [quit] { quit(); });
    }
  }
}

QPushButton* ControlPanel::button(int id) const { return FindControl<QPushButton>(this, id); }

void ControlPanel::EnableButton(int id, bool enable) {
  if (QPushButton* found = button(id)) found->setEnabled(enable);
}

// Qt keeps each button's own state under a disabled parent, so the road's enabling
// comes back as it was.
void ControlPanel::SetBusy(bool busy) { setEnabled(!busy); }

// Closing the panel hides it through the main window's panel toggle.
void ControlPanel::closeEvent(QCloseEvent* event) {
  event->ignore();
  send_(kCmdControlDialog);
}

void ControlPanel::reject() { send_(kCmdControlDialog); }

}  // namespace kavrinth
