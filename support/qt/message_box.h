// Message boxes on Qt (the Notifier of the GUI programs), the low-memory warnings with the
// machine's real memory figures, and the main window's title.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// The machine's memory in bytes (from /proc/meminfo): physical memory, and virtual memory
// as physical plus swap.
struct MemoryFigures {
  int64_t available_physical = 0;
  int64_t total_physical = 0;
  int64_t available_virtual = 0;
  int64_t total_virtual = 0;
};

// The figures of a /proc/meminfo text: nothing when MemTotal or MemAvailable is missing.
std::optional<MemoryFigures> ParseMemInfo(std::string_view meminfo);
// The figures of this machine (all 0 when /proc/meminfo cannot be read).
MemoryFigures ReadMemoryFigures();

// The caption of both warnings.
inline constexpr std::string_view kLowMemoryCaption = "WARNING";

// The texts of the two warnings: "System is low in memory.\n", the text (null: "Selected
// operation cannot be completed."), a rule, then the figures.
std::string LowMemoryText(const char* text, const MemoryFigures& figures);
std::string MemoryStatusText(const char* text, const MemoryFigures& figures);

// Show the warnings through the current notifier in a stop box captioned "WARNING";
// return the box's answer.
int ShowLowMemory(const char* text);
int ShowMemoryStatus(const char* text);

// Sets the main window's title from ComposeFrameTitle (support/messages.h).
void UpdateFrameTitle(QWidget* main_window, std::string_view app_title, bool document_flag,
                      std::string_view first_file, const char* second_file, const char* extra_text,
                      bool prefix_title_style);

}  // namespace kavrinth
