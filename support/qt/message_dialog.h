// The library's message dialog ("MsgDlgBox1"): a title or heading, four text lines, an
// optional icon and an OK button, run modally or left open (optionally closing itself on
// a timer).
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string_view>

class QTimer;

namespace kavrinth {

enum MsgDlgControlId : int {
  kMsgDlgHeading = 5020,  // the title when an icon is shown
  kMsgDlgText1 = 5021,
  kMsgDlgText2 = 5022,
  kMsgDlgText3 = 5023,
  kMsgDlgText4 = 5025,
  kMsgDlgIcon = 5027,
  kMsgDlgOk = 1,
};

enum MsgDlgFlag : uint32_t {
  kMsgDlgTimer = 0x2,      // the dialog closes itself (with 0) when its timer fires
  kMsgDlgModeless = 0x200  // closing destroys it instead of ending a modal run
};

// The texts: lines 5021, 5022, 5023 and 5025, then the name of an icon ("info",
// "question", "warning" or "stop"; anything else shows none). Null entries stay empty.
using MsgDlgTexts = std::array<const char*, 5>;

class MsgDlgBox : public QDialog {
  Q_OBJECT

 public:
  MsgDlgBox(QWidget* owner, std::string_view title, const MsgDlgTexts& texts);

  // Commands 1 to 7 close the dialog with their id.
  void Command(int command);
  // kMsgDlgTimer with an interval starts the timer; kMsgDlgModeless makes closing destroy.
  void SetFlags(uint32_t flags, int interval_ms);
  // Escape closes with 2, as the cancel command.
  void reject() override;

 private:
  void CloseWith(int result);

  uint32_t flags_ = 0;
  QTimer* timer_ = nullptr;
};

// Runs the dialog modally: the id of the button that closed it (1 for OK, 2 for Escape);
// without interactive dialogs 1 at once.
int MsgDlgBoxModal(QWidget* owner, std::string_view title, const MsgDlgTexts& texts);
// Shows the dialog modeless; with kMsgDlgTimer in the flags a timer is started whose id
// is the value's high word and interval in ms its low word, and the dialog then closes
// itself when it fires.
QPointer<MsgDlgBox> MsgDlgBoxModeless(QWidget* owner, std::string_view title,
                                      const MsgDlgTexts& texts, uint32_t flags,
                                      uint32_t timer_value);
// Destroys the modeless dialog (when it still exists) and clears the variable.
void MsgDlgBoxClose(QPointer<MsgDlgBox>& window);

}  // namespace kavrinth
