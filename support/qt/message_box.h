// Message boxes on Qt (the Notifier of the GUI programs), the low-memory warnings with the
// machine's real memory figures, and the main window's title.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/memory_status.h"
#include "support/notifier.h"

namespace kavrinth {

// Shows each message in a modal QMessageBox owned by the owner window (when set and still
// there). Without interactive dialogs it writes the message to stderr and takes the
// default answer, as the headless notifier does. Escape gives Cancel where the box has
// one, else OK for a lone OK button; a Yes/No box cannot be escaped.
class QtNotifier : public Notifier {
 public:
  explicit QtNotifier(QWidget* owner = nullptr) : owner_(owner) {}
  int Show(const Message& message) override;
  void set_owner(QWidget* owner) { owner_ = owner; }

 private:
  QPointer<QWidget> owner_;
};

// Sets the main window's title from ComposeFrameTitle (support/messages.h).
void UpdateFrameTitle(QWidget* main_window, std::string_view app_title, bool document_flag,
                      std::string_view first_file, const char* second_file, const char* extra_text,
                      bool prefix_title_style);

}  // namespace kavrinth
