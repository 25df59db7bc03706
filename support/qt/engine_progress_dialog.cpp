// The engines' progress dialog: its fields, the progress pipe and Cancel.
#include "support/qt/engine_progress_dialog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/process.h"
#include "support/args.h"
#include "support/messages.h"
#include "support/notifier.h"
#include "support/qt/dialogs.h"
#include "support/run_program.h"

namespace kavrinth {
namespace {

constexpr std::array<int, kProgressTextLines> kTextFields = {kEngineText1, kEngineText2,
                                                             kEngineText3};
constexpr std::array<int, kProgressStatusLines> kStatusFields = {
    kEngineStatus1, kEngineStatus2, kEngineStatus3, kEngineStatus4,
    kEngineStatus5, kEngineStatus6, kEngineStatus7};

// The centred lines from top to bottom; then two rows of two status fields side by side,
// then the last status line.
constexpr std::array<int, 6> kCentredFields = {kEngineSpare, kEngineText1,   kEngineText2,
                                               kEngineText3, kEngineStatus1, kEngineStatus2};

constexpr size_t kLineLimit = 64 * 1024;      // no protocol line is anywhere near this long
constexpr size_t kReadPerPump = 1024 * 1024;  // keeps the window responsive under a flood

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string_view name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name_.c_str())) previous_ = old;
    setenv(name_.c_str(), value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (previous_) {
      setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// The progress pipe: the read end stays here (non-blocking, close-on-exec); the write
// end, above the standard descriptors, is inherited by the engine and closed here as
// soon as the engine has it.
class ProgressPipe {
 public:
  ProgressPipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    read_fd_ = fds[0];
    write_fd_ = fds[1];
    if (write_fd_ <= STDERR_FILENO) {
      // The engines take only a descriptor above the standard ones.
      const int moved = fcntl(write_fd_, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
      close(write_fd_);
      write_fd_ = moved;
    }
    fcntl(read_fd_, F_SETFL, fcntl(read_fd_, F_GETFL) | O_NONBLOCK);
    if (write_fd_ >= 0) fcntl(write_fd_, F_SETFD, 0);
  }
  ~ProgressPipe() {
    CloseWriteEnd();
    if (read_fd_ >= 0) close(read_fd_);
  }
  ProgressPipe(const ProgressPipe&) = delete;
  ProgressPipe& operator=(const ProgressPipe&) = delete;

  bool ok() const { return read_fd_ >= 0 && write_fd_ >= 0; }
  int read_fd() const { return read_fd_; }
  int write_fd() const { return write_fd_; }
  void CloseWriteEnd() {
    if (write_fd_ >= 0) close(write_fd_);
    write_fd_ = -1;
  }

 private:
  int read_fd_ = -1;
  int write_fd_ = -1;
};

// True while the process is our child and not yet reaped (running or ended): only then
// may it be signalled, since a reaped id may already belong to somebody else.
bool IsUnreapedChild(pid_t pid) {
  siginfo_t info{};
  return pid > 0 && waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

}  // namespace

EngineProgressDialog::EngineProgressDialog(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("ProgressDlg"));
  setWindowTitle(QStringLiteral("Progress"));
  auto* column = new QVBoxLayout(this);
  auto* label = new QLabel(QStringLiteral("Layers:"), this);
  label->setAlignment(Qt::AlignCenter);
  column->addWidget(label);
  layers_ = new QListWidget(this);
  layers_->setObjectName(ControlObjectName(kEngineLayers));
  column->addWidget(layers_);
  auto add_field = [this](int id, Qt::Alignment alignment) {
    auto* field = new QLabel(this);
    field->setObjectName(ControlObjectName(id));
    field->setAlignment(alignment);
    return field;
  };
  for (int id : kCentredFields) column->addWidget(add_field(id, Qt::AlignCenter));
  auto* pairs = new QGridLayout();
  const std::array<int, 4> side_by_side = {kEngineStatus3, kEngineStatus4, kEngineStatus5,
                                           kEngineStatus6};
  for (size_t i = 0; i < side_by_side.size(); ++i) {
    pairs->addWidget(add_field(side_by_side[i], Qt::AlignLeft), static_cast<int>(i / 2),
                     static_cast<int>(i % 2));
  }
  column->addLayout(pairs);
  column->addWidget(add_field(kEngineStatus7, Qt::AlignCenter));
  cancel_ = new QPushButton(QString::fromUtf8(LoadMessageText(kMessageButtonCancel)), this);
  cancel_->setObjectName(ControlObjectName(kEngineCancel));
  cancel_->setDefault(true);
  connect(cancel_, &QPushButton::clicked, this, &EngineProgressDialog::CancelEngine);
  column->addWidget(cancel_, 0, Qt::AlignHCenter);
}

EngineProgressDialog::~EngineProgressDialog() = default;

int EngineProgressDialog::Run(std::string_view program, const char* working_directory,
                              std::string_view arguments, int32_t* exit_code) {
  return Run(program, working_directory, SplitArgs(arguments, kRunProgramArgumentSlots), exit_code);
}

int EngineProgressDialog::Run(std::string_view program, const char* working_directory,
                              const std::vector<std::string>& arguments, int32_t* exit_code) {
  ProgressPipe pipe;
  std::optional<ScopedEnvironment> progress_variable;
  if (pipe.ok()) progress_variable.emplace(kProgressFdVariable, std::to_string(pipe.write_fd()));
  engine_pid_ = 0;
  running_ = true;
  cancel_requested_ = false;
  pending_.clear();
  dropping_ = false;
  setWindowModality(Qt::ApplicationModal);
  show();
  const PumpCallback pump = [this, &pipe] {
    // RunProgram has started the engine before it first pumps: it holds its copy now.
    pipe.CloseWriteEnd();
    ReadPipe(pipe.read_fd());
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  };
  const int result =
      RunProgram(pump, program, working_directory, arguments, exit_code, true, &engine_pid_);
  running_ = false;
  progress_variable.reset();
  pipe.CloseWriteEnd();
  ReadPipe(pipe.read_fd());  // what the engine wrote last
  hide();
  return result;
}

void EngineProgressDialog::ReadPipe(int fd) {
  if (fd < 0) return;
  std::array<char, 16384> buffer;
  for (size_t total = 0; total < kReadPerPump;) {
    const ssize_t count = read(fd, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;  // nothing more for now, or the engine's end closed it
    Feed(std::string_view(buffer.data(), static_cast<size_t>(count)));
    total += static_cast<size_t>(count);
  }
}

void EngineProgressDialog::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!dropping_) pending_.append(piece);
    if (pending_.size() > kLineLimit) {
      pending_.clear();
      dropping_ = true;
    }
    if (end == std::string_view::npos) return;
    if (!dropping_) {
      if (std::optional<ProgressLine> line = ParseProgressLine(pending_)) Send(*line);
    }
    pending_.clear();
    dropping_ = false;
    bytes.remove_prefix(end + 1);
  }
}

QLabel* EngineProgressDialog::Field(int id) const { return FindControl<QLabel>(this, id); }

void EngineProgressDialog::SetField(int id, const std::string& text) {
  if (QLabel* field = Field(id)) field->setText(QString::fromStdString(text));
}

void EngineProgressDialog::Send(const ProgressLine& line) {
  switch (line.command) {
    case ProgressCommand::kTitle:
      SetWindowTextLiteral(this, line.text);
      break;
    case ProgressCommand::kButton:
      cancel_->setText(QString::fromStdString(line.text));
      break;
    case ProgressCommand::kText:
      SetField(kTextFields[line.index - 1], line.text);
      break;
    case ProgressCommand::kStatus:
      SetField(kStatusFields[line.index - 1], line.text);
      break;
    case ProgressCommand::kListClear:
      layers_->clear();
      break;
    case ProgressCommand::kListAdd:
      layers_->addItem(QString::fromStdString(line.text));
      break;
    case ProgressCommand::kListSelect: {
      const auto found = layers_->findItems(QString::fromStdString(line.text), Qt::MatchExactly);
      if (!found.isEmpty()) layers_->setCurrentItem(found.front());
      break;
    }
    case ProgressCommand::kMessage:
      messages_.push_back(line);
      ShowMessage(line.text, windowTitle().toStdString(), line.icon);
      break;
  }
}

void EngineProgressDialog::CancelEngine() {
  cancel_requested_ = true;
  if (running_) SignalEngine();
}

void EngineProgressDialog::SignalEngine() {
  if (IsUnreapedChild(engine_pid_)) kill(engine_pid_, SIGTERM);
}

std::string EngineProgressDialog::ControlText(int id) const {
  if (id == kEngineCancel) return cancel_->text().toStdString();
  const QLabel* field = Field(id);
  return field ? field->text().toStdString() : std::string();
}

void EngineProgressDialog::reject() {
  if (running_) {
    CancelEngine();
  } else {
    QDialog::reject();
  }
}

void EngineProgressDialog::closeEvent(QCloseEvent* event) {
  if (!running_) {
    QDialog::closeEvent(event);
    return;
  }
  event->ignore();
  CancelEngine();
}

}  // namespace kavrinth
