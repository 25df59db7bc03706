// The help window over the README and the programs' context help.
#include "support/qt/help_window.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFrame>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "support/notifier.h"
#include "support/paths.h"
#include "support/qt/dialogs.h"

namespace kavrinth {
namespace {

// The commands of the tool bar and the status bar, whose help covers the bars themselves.
constexpr int kToolbarCommand = 59392;
constexpr int kStatusBarCommand = 59393;
// The point of the view whose block is taken as the one at the top, a little inside the
// first line.
constexpr QPoint kTopProbe(4, 4);

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// How a section path reads in a message: "Vexil > Plotting".
std::string ReadablePath(std::string_view path) {
  std::string text;
  for (char c : path) {
    if (c == '/') {
      text += " > ";
    } else {
      text += c;
    }
  }
  return text;
}

void ClosePopups() {
  // A popup that refuses to close must not hold us here.
  for (int i = 0; i < 16; ++i) {
    QWidget* popup = QApplication::activePopupWidget();
    if (popup == nullptr) return;
    popup->close();
  }
}

// The menu item an event on a menu is about: a command item (not a separator, nor an
// item that opens a submenu), or null.
QAction* CommandItem(QAction* action) {
  return action != nullptr && !action->isSeparator() && action->menu() == nullptr ? action
                                                                                  : nullptr;
}

std::vector<ContextHelp*>& Instances() {
  static std::vector<ContextHelp*> instances;
  return instances;
}

}  // namespace

// ---- The help window ----

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
  setObjectName("help_window");
  setAccessibleName("Help");
  setModal(false);
  browser_ = new QTextBrowser(this);
  browser_->setObjectName("help_text");
  browser_->setAccessibleName("Help text");
  browser_->setOpenExternalLinks(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* close = buttons->button(QDialogButtonBox::Close);
  close->setObjectName("help_close");
  close->setAccessibleName("Close");
  close->setAutoDefault(false);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser_);
  layout->addWidget(buttons);
  resize(760, 560);
  // The heading asked for stays at the top through changes of size until the user moves
  // the text.
  for (QObject* watched : std::initializer_list<QObject*>{
           browser_, browser_->viewport(), browser_->verticalScrollBar()}) {
    watched->installEventFilter(this);
  }
}

bool HelpWindow::Load(const std::string& path) {
  if (path == loaded_path_) return true;
  QFile file(Q(path));
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QString text = QString::fromUtf8(file.readAll());
  browser_->document()->setMarkdown(text, QTextDocument::MarkdownDialectGitHub);
  loaded_path_ = path;
  target_block_ = -1;
  UpdateBottomMargin();
  return true;
}

std::vector<MarkdownHeading> HelpWindow::Headings(std::vector<int>* block_numbers) const {
  std::vector<MarkdownHeading> headings;
  for (QTextBlock block = browser_->document()->begin(); block.isValid(); block = block.next()) {
    const int level = block.blockFormat().headingLevel();
    if (level <= 0) continue;
    headings.push_back({level, block.text().trimmed().toStdString()});
    block_numbers->push_back(block.blockNumber());
  }
  return headings;
}

QString HelpWindow::ShowSection(std::string_view path) {
  std::vector<int> blocks;
  const std::vector<MarkdownHeading> headings = Headings(&blocks);
  std::string wanted(path);
  std::optional<size_t> found = FindHelpSection(headings, wanted);
  while (!found && !wanted.empty()) {
    const size_t slash = wanted.rfind('/');
    wanted = slash == std::string::npos ? std::string() : wanted.substr(0, slash);
    found = FindHelpSection(headings, wanted);
  }
  target_block_ = found ? blocks[*found] : 0;
  ScrollToTarget();
  return found ? Q(HelpSectionPath(headings, *found)) : QString();
}

void HelpWindow::ScrollToTarget() {
  if (target_block_ < 0) return;
  QTextDocument* document = browser_->document();
  // Lay the whole text out first, so that the scroll range reaches the heading.
  document->documentLayout()->blockBoundingRect(document->lastBlock());
  const QTextBlock block = document->findBlockByNumber(target_block_);
  const QRectF rect = document->documentLayout()->blockBoundingRect(block);
  scrolling_ = true;
  browser_->verticalScrollBar()->setValue(static_cast<int>(rect.top()));
  scrolling_ = false;
}

void HelpWindow::UpdateBottomMargin() {
  // Room below the text, so that the last sections' headings can stand at the top too.
  QTextFrame* root = browser_->document()->rootFrame();
  QTextFrameFormat format = root->frameFormat();
  const int height = browser_->viewport()->height();
  if (format.bottomMargin() == height) return;
  format.setBottomMargin(height);
  root->setFrameFormat(format);
}

QString HelpWindow::VisibleSection() const {
  const int top = browser_->cursorForPosition(kTopProbe).block().blockNumber();
  std::vector<int> blocks;
  const std::vector<MarkdownHeading> headings = Headings(&blocks);
  std::optional<size_t> shown;
  for (size_t i = 0; i < blocks.size() && blocks[i] <= top; ++i) shown = i;
  return shown ? Q(HelpSectionPath(headings, *shown)) : QString();
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
      target_block_ = -1;  // the user moves the text now
      break;
    case QEvent::Resize:
      if (watched == browser_->viewport()) {
        // After the view has laid the text out for its new size.
        QMetaObject::invokeMethod(
            this,
            [this] {
              UpdateBottomMargin();
              ScrollToTarget();
            },
            Qt::QueuedConnection);
      }
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

// ---- Context help ----

ContextHelp::ContextHelp(HelpSetup setup, QWidget* main_window)
    : QObject(main_window), setup_(std::move(setup)), main_window_(main_window) {
  if (!setup_.command_of_action) {
    setup_.command_of_action = [](const QAction* action) {
      bool number = false;
      const int id = action->data().toInt(&number);
      return number ? id : 0;
    };
  }
  Instances().push_back(this);
  qApp->installEventFilter(this);
}

ContextHelp::~ContextHelp() {
  EndContextMode();
  std::vector<ContextHelp*>& instances = Instances();
  instances.erase(std::remove(instances.begin(), instances.end(), this), instances.end());
}

void ContextHelp::ShowContext(uint32_t context) {
  ShowSection(HelpSectionOf(setup_.table, context));
}

void ContextHelp::ShowSection(std::string_view section) {
  const std::string& name = setup_.program_name;
  const std::string directory = setup_.program_directory ? setup_.program_directory() : "";
  const std::optional<std::string> readme = FindReadme(directory);
  if (!readme) {
    ShowMessage("Help is not installed. The README of Kavrinth describes this in its section \"" +
                    ReadablePath(section) + "\".",
                name, MessageIcon::kInformation);
    return;
  }
  if (!DialogsInteractive()) {
    ShowMessage("Help for " + name + " is the section \"" + ReadablePath(section) + "\" of " +
                    *readme + ".",
                name, MessageIcon::kInformation);
    return;
  }
  // A modal dialog blocks every other window: the help then stands over it, as its own.
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr || owner == window_) owner = main_window_;
  if (window_ == nullptr) {
    window_ = new HelpWindow(owner);
  } else if (window_->parentWidget() != owner) {
    window_->setParent(owner, window_->windowFlags());
  }
  if (!window_->Load(*readme)) {
    ShowMessage("Cannot read the help file " + *readme + ".", name, MessageIcon::kWarning);
    return;
  }
  window_->setWindowTitle(Q(name + " Help"));
  window_->show();
  window_->raise();
  window_->activateWindow();
  window_->ShowSection(section);
}

void ContextHelp::ShowWindowHelp(QWidget* window) {
  if (window != nullptr && window_ != nullptr && window->window() == window_) {
    // F1 in the help window: how help works.
    ShowUsingHelp();
    return;
  }
  QWidget* shown = window;
  if (shown == nullptr) shown = QApplication::activeModalWidget();
  if (shown == nullptr) shown = QApplication::activeWindow();
  // The help window, active since it was shown, is not what the user asks about.
  if (shown != nullptr && window_ != nullptr && shown->window() == window_) shown = nullptr;
  if (shown == nullptr || !Owns(shown)) shown = main_window_;
  ShowContext(ContextOfWidget(shown));
}

void ContextHelp::BeginContextMode() {
  if (context_mode_) return;
  context_mode_ = true;
  QApplication::setOverrideCursor(Qt::WhatsThisCursor);
}

void ContextHelp::EndContextMode() {
  if (!context_mode_) return;
  context_mode_ = false;
  QApplication::restoreOverrideCursor();
}

uint32_t ContextHelp::ContextOfAction(const QAction* action) const {
  const int command = action != nullptr ? setup_.command_of_action(action) : 0;
  return command != 0 ? CommandHelpContext(command) : setup_.main_window_context;
}

uint32_t ContextHelp::ContextOfWidget(const QWidget* widget) const {
  for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    if (auto* tool = qobject_cast<const QToolButton*>(w); tool && tool->defaultAction()) {
      if (const int command = setup_.command_of_action(tool->defaultAction())) {
        return CommandHelpContext(command);
      }
    }
    if (qobject_cast<const QStatusBar*>(w)) return CommandHelpContext(kStatusBarCommand);
    if (qobject_cast<const QToolBar*>(w)) return CommandHelpContext(kToolbarCommand);
    for (const HelpSetup::WindowContext& row : setup_.windows) {
      if (w->metaObject()->inherits(row.window_class)) return row.context;
    }
  }
  return setup_.main_window_context;
}

bool ContextHelp::Owns(const QObject* object) const {
  const std::vector<ContextHelp*>& instances = Instances();
  for (const QObject* o = object; o != nullptr; o = o->parent()) {
    if (o == main_window_ || (window_ != nullptr && o == window_)) return true;
    for (const ContextHelp* other : instances) {
      if (other != this && o == other->main_window_) return false;
    }
  }
  // A window of nobody's (a message box, a dialog made without an owner): the newest
  // program window's help takes it.
  return !instances.empty() && instances.back() == this;
}

bool ContextHelp::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
      break;
    default:
      return false;
  }
  if (!watched->isWidgetType() && qobject_cast<QAction*>(watched) == nullptr) return false;
  if (!Owns(watched)) return false;
  if ((context_mode_ || swallow_release_) && ContextModeEvent(watched, event)) return true;
  return HelpKeyEvent(watched, event);
}

bool ContextHelp::ContextModeEvent(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (swallow_release_ && watched->isWidgetType() &&
      (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick)) {
    // The rest of the click that chose the help.
    if (type == QEvent::MouseButtonRelease) swallow_release_ = false;
    event->accept();
    return true;
  }
  if (!context_mode_) return false;
  auto show = [this, event](uint32_t context) {
    EndContextMode();
    ClosePopups();
    event->accept();
    ShowContext(context);
    return true;
  };
  if (type == QEvent::Shortcut) {
    // A command's key chooses the command.
    if (auto* action = qobject_cast<QAction*>(watched)) return show(ContextOfAction(action));
    return false;
  }
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr) return false;
  auto* menu = qobject_cast<QMenu*>(widget);
  if (type == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape) {
      EndContextMode();
      event->accept();
      return true;
    }
    if (menu != nullptr && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      if (QAction* item = CommandItem(menu->activeAction())) return show(ContextOfAction(item));
    }
    return false;
  }
  if (type == QEvent::ShortcutOverride) return false;
  if (qobject_cast<QMenuBar*>(widget) != nullptr) return false;  // the menus open as usual
  const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
  if (menu != nullptr) {
    // A menu item is chosen by its release; pressing it, and submenus, work as usual.
    QAction* item = CommandItem(menu->actionAt(position));
    if (item == nullptr) return false;
    if (type == QEvent::MouseButtonRelease) return show(ContextOfAction(item));
    event->accept();
    return true;
  }
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) return false;
  swallow_release_ = true;
  if (window_ != nullptr && widget->window() == window_) {
    EndContextMode();
    event->accept();
    ShowUsingHelp();
    return true;
  }
  return show(ContextOfWidget(widget));
}

bool ContextHelp::HelpKeyEvent(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_F1) return false;
  const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
  auto* menu = qobject_cast<QMenu*>(widget);
  QAction* item = menu != nullptr ? CommandItem(menu->activeAction()) : nullptr;
  if (type == QEvent::ShortcutOverride) {
    // F1 on a menu item asks for the item's help rather than for the window's key.
    if (item == nullptr || modifiers != Qt::NoModifier) return false;
    event->accept();
    return true;
  }
  // The keys no command of the window took.
  if (modifiers == Qt::ShiftModifier) {
    BeginContextMode();
    event->accept();
    return true;
  }
  if (modifiers != Qt::NoModifier) return false;
  event->accept();
  if (item != nullptr) {
    ClosePopups();
    ShowContext(ContextOfAction(item));
  } else {
    ShowWindowHelp(widget->window());
  }
  return true;
}

}  // namespace kavrinth
