// The engines' progress dialog ("ProgressDlg") as the shells show it while an engine runs:
// the layer list, three progress lines, seven status fields and Cancel. It reads the
// engine's progress lines from a pipe handed to the engine in KAVRINTH_PROGRESS_FD, and
// its Cancel sends the engine SIGTERM, after which the engine ends with the cancelled
// result.
#pragma once

#include <sys/types.h>

#include <QDialog>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/progress_sink.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace kavrinth {

enum EngineProgressControlId : int {
  kEngineCancel = 101,
  kEngineText3 = 102,  // third progress line
  kEngineText2 = 103,  // second progress line (percentage)
  kEngineText1 = 104,  // first progress line (what is being done)
  kEngineSpare = 105,  // not written by the engines
  kEngineLayers = 106,
  kEngineStatus2 = 111,
  kEngineStatus3 = 112,
  kEngineStatus4 = 113,
  kEngineStatus5 = 114,
  kEngineStatus6 = 115,
  kEngineStatus7 = 116,
  kEngineStatus1 = 117,  // structure or file being worked on
};

class EngineProgressDialog : public QDialog, public ProgressSink {
  Q_OBJECT

 public:
  explicit EngineProgressDialog(QWidget* owner = nullptr);
  ~EngineProgressDialog() override;

  // Runs the engine through RunProgram, waiting, with this dialog shown (application
  // modal, so the shell's own commands cannot re-enter) and fed from the engine's
  // progress pipe while it runs. RunProgram's result (1 with the engine's 32-bit result in
  // *exit_code, CancelledExitCode after Cancel; -1, -2 or -3 as RunProgram gives them).
  // The dialog is hidden again at the end.
  int Run(std::string_view program, const char* working_directory, std::string_view arguments,
          int32_t* exit_code);
  // The same with the arguments one word each (RunProgram's list form).
  int Run(std::string_view program, const char* working_directory,
          const std::vector<std::string>& arguments, int32_t* exit_code);

  // Applies one protocol line: TITLE, BUTTON, TEXT 1-3 (104, 103, 102), STATUS 1-7 (117,
  // 111-116), the list, and MESSAGE (shown through ShowMessage, captioned with the title).
  void Send(const ProgressLine& line) override;
  // Applies the complete lines among the bytes; a partial line waits for its end. Lines
  // that are not protocol commands are ignored, and one that grows beyond any sensible
  // length is dropped.
  void Feed(std::string_view bytes);

  // The user's Cancel (the button, Escape, closing the window): SIGTERM to the running
  // engine.
  void CancelEngine();
  bool cancel_requested() const { return cancel_requested_; }
  bool running() const { return running_; }

  std::string ControlText(int id) const;
  QListWidget* layers() const { return layers_; }
  // The MESSAGE lines received, in order.
  const std::vector<ProgressLine>& messages() const { return messages_; }

  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* Field(int id) const;
  void SetField(int id, const std::string& text);
  void SignalEngine();
  void ReadPipe(int fd);

  QListWidget* layers_ = nullptr;
  QPushButton* cancel_ = nullptr;
  std::string pending_;    // bytes of a line not yet ended
  bool dropping_ = false;  // inside a line too long to keep
  std::vector<ProgressLine> messages_;
  pid_t engine_pid_ = 0;
  bool running_ = false;
  bool cancel_requested_ = false;
};

}  // namespace kavrinth
