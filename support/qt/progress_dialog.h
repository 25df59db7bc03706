// The library's progress box for long operations in the GUI programs: text lines, a
// percentage bar over a total, an optional list, and a Cancel button the operation polls
// through its state record. Driven by command numbers, as the operations send them, and
// also a ProgressSink.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "support/progress_sink.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;
class QVBoxLayout;

namespace kavrinth {

// The caller's state record: the dialog writes it, the operation reads it after each pump.
struct ProgressState {
  int32_t cancel = 0;     // 1 once the user cancelled (or the dialog was destroyed)
  int32_t attention = 0;  // set by the timer's ticks and, with the flags for it, bar clicks
};

enum ProgressFlag : uint32_t {
  kPrgrsTimer = 0x2,             // a timer runs; each tick sets the attention flag
  kPrgrsLines1 = 0x10,           // a short box: lines 5020-5021
  kPrgrsLines2 = 0x20,           // a short box: lines 5020-5022
  kPrgrsLines3 = 0x40,           // a short box: lines 5020-5023
  kPrgrsBarAboveButtons = 0x80,  // the bar just above the button row
  kPrgrsClearAttention = 0x100,  // cleared at creation; bar clicks set it
  kPrgrsRetitle = 0x400,         // the stored title is applied again after each command
  kPrgrsBusyCursor = 0x800,      // the busy cursor is shown after each command
};

enum ProgressControlId : int {
  kPrgrsText0 = 5020,
  kPrgrsText1 = 5021,
  kPrgrsText2 = 5022,
  kPrgrsText3 = 5023,  // when it holds text, also the format of the bar's caption
  kPrgrsBar = 5024,    // its text is the count done
  kPrgrsText5 = 5025,
  kPrgrsList = 5026,
  kPrgrsCancel = 5030,
};

// The commands of the dialog's procedure; the value's meaning is given with each.
enum ProgressCommandId : int {
  kPrgrsCmdDestroy = 1,      // the dialog destroys itself
  kPrgrsCmdCancel = 2,       // the user's cancel (as 5030): the cancel flag becomes 1
  kPrgrsCmdBarClick = 5024,  // attention flag 1 when the flags hold 0x100 or 0x2
  kPrgrsCmdLayout = 5040,    // value: the flags; lays the box out by them
  kPrgrsCmdSetState = 5041,  // value: the address of the new ProgressState
  kPrgrsCmdGetState = 5042,  // value: the address of a ProgressState* that receives it
  kPrgrsCmdSetTotal = 5043,  // value: the total; the bar shows when it is 1 or more
  kPrgrsCmdSetFlags = 5044,  // value: the flags
  kPrgrsCmdFallback = 5045,  // value: the address of a ProgressFallback, copied
};

// Receives every command the dialog does not handle; its result is the command's.
using ProgressFallback = std::function<intptr_t(int command, intptr_t value)>;

// The default caption of the bar, and the percentage of a count against a total: count *
// 100 / total rounded half up in 64 bits, 0 below 0 and capped at 100.
inline constexpr std::string_view kPercentCaptionFormat = "%4ld%%";
int PercentOf(int64_t count, int64_t total);
// The caption for a percentage printed with the format, which may hold "%%" and at most
// one integer directive (flags, width, precision, length; d, i or u) and nothing else of
// printf's: any other format gives the default caption.
std::string FormatPercentCaption(std::string_view format, int percent);

class PrgrsDlgBox : public QDialog, public ProgressSink {
  Q_OBJECT

 public:
  // A box without a list ("PrgrsDlgBox2") or with one ("PrgrsDlgListBox1"); the state
  // record must outlive it.
  PrgrsDlgBox(QWidget* owner, ProgressState* state, bool with_list);
  ~PrgrsDlgBox() override;

  // The dialog's procedure: 1 for a command it handled, the fallback's result for any
  // other, 0 without a fallback.
  intptr_t Command(int command, intptr_t value = 0);

  void SetItemText(int id, std::string_view text);
  std::string ItemText(int id) const;
  // The count done: the bar's text.
  void SetCount(int64_t count) { SetItemText(kPrgrsBar, std::to_string(count)); }
  // Sets and stores the title (kPrgrsRetitle applies it again).
  void SetTitle(std::string_view title);

  ProgressState* state() const { return state_; }
  uint32_t flags() const { return flags_; }
  int64_t total() const { return total_; }
  bool BarShown() const;
  // The bar's percentage and caption as drawn (the percentage is -1 without a total).
  int Percentage() const;
  std::string BarCaption() const;
  QListWidget* list() const { return list_; }

  // Ticks set the attention flag while kPrgrsTimer is in the flags.
  void StartTimer(int interval_ms);
  void StopTimer();

  // TITLE, BUTTON, TEXT 1-3 (lines 5020-5022), STATUS 1 (line 5025) and the list; a
  // MESSAGE goes to ShowMessage. Text and status lines deliver the waiting events, as
  // the operations' updates do.
  void Send(const ProgressLine& line) override;

  // Escape and the close button cancel without closing.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* Line(int id) const;
  void Layout();
  void ApplyAfterCommand();
  intptr_t Dispatch(int command, intptr_t value);

  ProgressState* state_;
  uint32_t flags_ = 0;
  int64_t total_ = 0;
  std::string title_ = "Progress";
  ProgressFallback fallback_;
  QVBoxLayout* column_ = nullptr;
  QWidget* bar_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QTimer* timer_ = nullptr;
};

// The operation's control record, usually a static of the operation.
struct ProgressControl {
  QPointer<PrgrsDlgBox> window;
  ProgressState* state = nullptr;
  uint32_t flags = 0;
};

inline constexpr std::string_view kPrgrsTemplate = "PrgrsDlgBox2";
inline constexpr std::string_view kPrgrsListTemplate = "PrgrsDlgListBox1";

// Clear the cancel flag (and the attention flag with 0x100), create the box modeless,
// lay it out by the record's flags and show it; the window goes into the record too.
PrgrsDlgBox* PrgrsDlgCreate(QWidget* owner, ProgressControl* control);
// With a template name (null: "PrgrsDlgBox2"; "PrgrsDlgListBox1" has the list) and a
// fallback for the commands the box does not handle (may be empty).
PrgrsDlgBox* PrgrsDlgCreateEx(QWidget* owner, ProgressControl* control, const char* template_name,
                              ProgressFallback fallback);
// Sets the record's flags to 0 first.
PrgrsDlgBox* PrgrsDlgCreateClear(QWidget* owner, ProgressControl* control);
// The box with the list, emptied, titled, with the busy cursor and the title kept.
PrgrsDlgBox* PrgrsDlgListCreate(QWidget* owner, ProgressControl* control, std::string_view title);
// Destroys the box when it exists, clears the record's window and sets the cancel flag.
void PrgrsDlgDestroy(ProgressControl* control);
// Clears the attention flag, adds kPrgrsTimer, creates the box and ticks every second.
PrgrsDlgBox* PrgrsDlgStartTimer(QWidget* owner, int timer_id, ProgressControl* control);
void PrgrsDlgStopTimer(int timer_id, ProgressControl* control);

// Destroys a modeless dialog if it still exists and clears the variable. The window is
// hidden at once and freed when control returns to the event loop, so a dialog may
// destroy itself from its own handlers.
void DestroyDlgWindow(QPointer<QDialog>& window);
template <class Dialog>
void DestroyDlgWindow(QPointer<Dialog>& window) {
  QPointer<QDialog> plain(window.data());
  DestroyDlgWindow(plain);
  window = nullptr;
}

}  // namespace kavrinth
